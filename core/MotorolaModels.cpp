#include "core/MotorolaModels.h"

#include "core/ReceiverState.h"

#include <QRegularExpression>
#include <cmath>

namespace MotorolaModels {

namespace M = ReceiverModelCode;

QString name(int code)
{
    switch (code) {
    case M::GT: return QStringLiteral("GT");
    case M::GTPlus: return QStringLiteral("GT+");
    case M::M12: return QStringLiteral("M12");
    case M::M12Plus: return QStringLiteral("M12+");
    case M::M12M: return QStringLiteral("M12M");
    case M::PVT6: return QStringLiteral("PVT6");
    case M::SL: return QStringLiteral("SL");
    case M::UT: return QStringLiteral("UT");
    case M::UTPlus: return QStringLiteral("UT+");
    case M::VP: return QStringLiteral("VP");
    case M::XT: return QStringLiteral("XT");
    case M::VP6: return QStringLiteral("VP6");
    case M::CnxtNavman: return QStringLiteral("CNXT/NVMN");
    case M::Signav: return QStringLiteral("SIGNAV");
    case M::TxOncore: return QStringLiteral("TX Oncore");
    case M::Ssr6Tf: return QStringLiteral("SSR-6Tf");
    case M::Ssr6Tr: return QStringLiteral("SSR-6Tr");
    case M::SsrM8F: return QStringLiteral("SSR-M8F");
    case M::SsrM8T: return QStringLiteral("SSR-M8T");
    default: return QStringLiteral("UNKNOWN");
    }
}

int codeOfName(const QString &text)
{
    for (int code = 0; code <= M::SsrM8T; ++code) {
        if (name(code).compare(text.trimmed(), Qt::CaseInsensitive) == 0
            && (code == 0 || name(code) != QLatin1String("UNKNOWN")))
            return code;
    }
    return -1;
}

bool isAmuModel(int c) { return c == M::PVT6 || c == M::VP || c == M::XT || c == M::VP6; }

bool fillsGeoidEa(int c)
{
    return c == M::GT || c == M::GTPlus || c == M::SL || c == M::UT || c == M::UTPlus
        || c == M::CnxtNavman;
}

bool fillsGeoidBa(int c)
{
    return (c >= M::GT && c <= M::M12M) || (c >= M::SL && c <= M::UTPlus) || c == M::CnxtNavman
        || c == M::Signav;
}

bool fillsGeoidHa(int c) { return (c >= M::M12 && c <= M::M12M) || c == M::Signav; }

bool isSsr(int c) { return c >= M::Ssr6Tf && c <= M::SsrM8T; }

bool usesTwelveChannelCommands(int c)
{
    return (c >= M::M12 && c <= M::M12M) || c == M::TxOncore || isSsr(c);
}

bool usesNanosecondOffset(int c)
{
    return usesTwelveChannelCommands(c) || c == M::CnxtNavman || c == M::Signav;
}

bool usesAmuSelfTestLabels(int c) { return isAmuModel(c) || isSsr(c); }

int amuToCNo(int signal)
{
    if (signal <= 0)
        return 0;
    return static_cast<int>(std::trunc(20.0 * std::log10(double(signal)) + 4.6 + 0.5));
}

double lastNumber(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("[-+]?[0-9]+\\.?[0-9]*"));
    double value = 0.0;
    auto it = re.globalMatch(text);
    while (it.hasNext())
        value = it.next().captured(0).toDouble();
    return value;
}

namespace {

QString field(QByteArrayView frame, qsizetype off, qsizetype len)
{
    if (off >= frame.size())
        return {};
    return QString::fromLatin1(frame.sliced(off, qMin(len, frame.size() - off))).trimmed();
}

bool hasAt(QByteArrayView frame, qsizetype off, QByteArrayView what)
{
    return off + what.size() <= frame.size() && frame.sliced(off, what.size()) == what;
}

// The model by its number, in the order the tests must be made. -1 when nothing matches.
int modelOfNumber(const QByteArray &n)
{
    auto starts = [&](const char *p) { return n.startsWith(p); };
    auto sixth = [&](char c) { return n.size() >= 6 && n.at(5) == c; };
    if (starts("A1")) return M::XT;
    if (starts("B1") || starts("B2")) return M::VP6;
    if (starts("B3") || starts("B4") || starts("B8") || starts("NS")) return M::VP;
    if (starts("PVT")) return M::PVT6;
    if (starts("P") && sixth('T')) return M::M12;
    if (starts("P1")) return M::M12;
    if (starts("P2")) return M::M12Plus;
    if (starts("P3")) return M::M12M;
    if (starts("R1") && sixth('N')) return M::GT;
    if (starts("R1")) return M::UT;
    if (starts("R3") || starts("R4")) return M::GTPlus;
    if (starts("R5")) return M::UTPlus;
    if (starts("R6")) return M::SL;
    if (starts("T8")) return M::VP;
    if (starts("IL")) return M::M12M;
    return -1;
}

} // namespace

Identity identify(QByteArrayView frame)
{
    Identity id;
    if (frame.size() < 120)
        return id;

    const QByteArray text = frame.toByteArray();
    const qsizetype sd = text.indexOf("SOFTWARE DATE");
    if (sd >= 0) {
        qsizetype start = sd + 13;
        qsizetype end = start;
        while (end < text.size() && text.at(end) != '\r' && text.at(end) != '\n')
            ++end;
        id.softwareDateText = QString::fromLatin1(text.mid(start, end - start)).trimmed();
    }

    const qsizetype mp = text.indexOf("MODEL # ");
    const bool motorola = mp >= 0 && mp + 8 <= 180
        && (text.contains("MOTOROLA") || text.contains("Synergy") || text.contains("SYNERGY"));
    if (motorola) {
        id.recognised = true;
        const QByteArray number = text.mid(mp + 8, 18).trimmed();
        int model = modelOfNumber(number);
        if (model < 0) {
            const QByteArray tail = text.mid(161);
            if (tail.contains("SSR-6Tf")) {
                model = M::Ssr6Tf;
                if (tail.contains("SSR-6Tf++"))
                    id.ssrPlusPlus = true;
                else if (tail.contains("SSR-6Tf+"))
                    id.ssrPlus = true;
            } else if (tail.contains("SSR-6Tr")) {
                model = M::Ssr6Tr;
                if (tail.contains("SSR-6Tr++"))
                    id.ssrPlusPlus = true;
                else if (tail.contains("SSR-6Tr+"))
                    id.ssrPlus = true;
            } else if (tail.contains("SSR-M8F")) {
                model = M::SsrM8F;
                id.ssrPlusPlus = true;
            } else if (tail.contains("SSR-M8T")) {
                model = M::SsrM8T;
                id.ssrPlusPlus = true;
            } else {
                model = M::M12M;
            }
        }
        id.model = model;
        id.firmwareVersionText = field(frame, 84, 11) + QLatin1Char('.') + field(frame, 112, 11);
    } else if (hasAt(frame, 15, "SiRF") && frame.size() > 161 && frame[161] == 'P') {
        id.recognised = true;
        id.model = M::M12M;
        id.firmwareVersionText = field(frame, 84, 11) + QLatin1Char('.') + field(frame, 112, 11);
    } else if (hasAt(frame, 26, "i-LOTUS") && hasAt(frame, 164, "IL-GPS-0080-B")) {
        id.recognised = true;
        id.model = M::TxOncore;
        id.firmwareVersionText = field(frame, 83, 11) + QLatin1Char('.') + field(frame, 112, 11);
    } else if (hasAt(frame, 26, "CONEXANT")) {
        id.recognised = true;
        id.model = M::CnxtNavman;
        id.firmwareVersionText = field(frame, 84, 11) + QLatin1Char('.') + field(frame, 112, 11);
    } else if (hasAt(frame, 26, "SIGNAV  ")) {
        id.recognised = true;
        id.model = M::Signav;
        id.firmwareVersionText = field(frame, 84, 11) + QLatin1Char('.') + field(frame, 112, 11);
    }

    id.firmwareVersion = lastNumber(id.firmwareVersionText);
    id.nmeaCapable = id.firmwareVersion >= 4.21 || !isSsr(id.model);
    return id;
}

void apply(const Identity &id, ReceiverState &state)
{
    state.softwareDateText = id.softwareDateText;
    if (!id.recognised)
        return;
    state.receiverModel = id.model;
    state.ssrPlus = id.ssrPlus;
    state.ssrPlusPlus = id.ssrPlusPlus;
    state.firmwareVersionText = id.firmwareVersionText;
    state.firmwareVersion = id.firmwareVersion;
    state.nmeaCapable = id.nmeaCapable;
}

} // namespace MotorolaModels
