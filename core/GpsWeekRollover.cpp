#include "core/GpsWeekRollover.h"

#include <QLocale>

QDate GpsWeekRollover::buildDate()
{
    // __DATE__ is "Mmm dd yyyy" with a space before a one-digit day.
    static const QDate date = [] {
        const QString text = QString::fromLatin1(__DATE__).simplified();
        const QDate d = QLocale::c().toDate(text, QStringLiteral("MMM d yyyy"));
        return d.isValid() ? d : QDate(2026, 1, 1);
    }();
    return date;
}

int GpsWeekRollover::epochsFor(const QDate &received) const
{
    if (!received.isValid())
        return 0;
    switch (mode) {
    case Fixed:
        return qBound(0, fixedEpochs, MaxFixedEpochs);
    case Automatic: {
        const QDate reference = referenceDate.isValid() ? referenceDate : buildDate();
        const qint64 behind = received.daysTo(reference.addDays(-AutomaticMarginDays));
        if (behind <= 0)
            return 0;
        // Enough whole epochs that the date is no longer before the limit.
        return int((behind + DaysPerEpoch - 1) / DaysPerEpoch);
    }
    default:
        return 0;
    }
}

QDateTime GpsWeekRollover::corrected(const QDateTime &received) const
{
    const int epochs = epochsFor(received.toUTC().date());
    return epochs == 0 ? received : received.addDays(qint64(epochs) * DaysPerEpoch);
}
