#include "receiver/setup/ReceiverType.h"

#include "core/ReceiverState.h"
#include "core/Settings.h"

namespace {

struct Row
{
    int family;
    const char *range;
    int model;
    int channels;
    const char *firmware;   // the lowest version of the range
};

constexpr Row kRows[ReceiverType::Count] = {
    { 0, "up to 6.9", ReceiverModelCode::VP, 8, "6.0" },
    { 0, "7.0 - 7.9", ReceiverModelCode::VP, 8, "7.0" },
    { 0, "8.0 - 8.7", ReceiverModelCode::VP, 8, "8.0" },
    { 0, "8.8 and up", ReceiverModelCode::VP, 8, "8.8" },
    { 1, "up to 1.5", ReceiverModelCode::UT, 8, "1.0" },
    { 1, "1.6 - 1.9", ReceiverModelCode::UTPlus, 8, "1.6" },
    { 1, "2.0 and up", ReceiverModelCode::UTPlus, 8, "2.0" },
    { 2, "1.0 and up", ReceiverModelCode::GT, 8, "1.0" },
    { 3, "1.0 and up", ReceiverModelCode::M12Plus, 12, "1.0" },
};

} // namespace

QStringList ReceiverType::families()
{
    return { QStringLiteral("VP, XT, PVT6"), QStringLiteral("UT, UT+"), QStringLiteral("GT, GT+, SL"),
             QStringLiteral("M12, M12+, M12M") };
}

int ReceiverType::familyOf(int choice)
{
    return choice >= 0 && choice < Count ? kRows[choice].family : kRows[DefaultChoice].family;
}

QStringList ReceiverType::firmwareRanges(int family)
{
    QStringList out;
    for (const Row &r : kRows)
        if (r.family == family)
            out << QString::fromLatin1(r.range);
    return out;
}

int ReceiverType::choiceOf(int family, int range)
{
    int n = 0;
    for (int i = 0; i < Count; ++i)
        if (kRows[i].family == family && n++ == range)
            return i;
    return -1;
}

int ReceiverType::rangeOf(int choice)
{
    const int family = familyOf(choice);
    int n = 0;
    for (int i = 0; i < Count && i != choice; ++i)
        n += kRows[i].family == family;
    return n;
}

ReceiverType ReceiverType::load(QSettings &settings)
{
    ReceiverType t;
    t.choice = Settings::readInt(settings, keyChoice(), DefaultChoice, 0, Count - 1);
    return t;
}

void ReceiverType::save(QSettings &settings) const
{
    settings.setValue(keyChoice(), choice);
}

void ReceiverType::applyTo(ReceiverState &state) const
{
    const Row &r = kRows[choice >= 0 && choice < Count ? choice : DefaultChoice];
    state.receiverModel = r.model;
    state.channelCount = r.channels;
    state.channelCountUsed = r.channels;
    state.firmwareVersionText = QString::fromLatin1(r.firmware);
    state.firmwareVersion = state.firmwareVersionText.toDouble();
}
