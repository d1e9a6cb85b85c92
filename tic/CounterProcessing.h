#pragma once

#include "core/TimingDelays.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <array>
#include <optional>

struct ReceiverState;

// What the station does with every counter line: the reading is brought to microseconds,
// corrected for the receiver's sawtooth of the same 1PPS and for the delays the receiver was
// not given, wrapped into ±0.5 s, written as a processed line and averaged per port.
class CounterProcessing : public QObject
{
    Q_OBJECT
public:
    static constexpr int Ports = 8;

    // The unit a bare number (no exponent, no suffix) is read in, per port.
    enum class BareUnit { Seconds = 0, Milliseconds, Microseconds, Nanoseconds, Picoseconds };
    static double bareUnitToUs(BareUnit unit);

    // A reading in microseconds, or a note (anything that is not a measurement).
    struct Normalised
    {
        bool reading = false;
        double us = 0.0;
        QString text;   // the reading as written in the processed line, or the note's text
    };
    static Normalised normalise(const QByteArray &reading, BareUnit bare = BareUnit::Seconds);

    // Corrected value: the epoch offset (auto-correct) and the extra delays taken off, then
    // wrapped by remainder into -500000 ... 500000 µs.
    static double wrap(double us);

    explicit CounterProcessing(QObject *parent = nullptr);

    // The receiver state read for the processed line (accuracy, leap seconds, PC clock offset);
    // not owned, may be null.
    void setReceiverState(const ReceiverState *state) { m_state = state; }
    void setDelays(const TimingDelays &delays);
    const TimingDelays &delays() const { return m_delays; }
    // Motorola binary receivers (mode 2) were given the antenna cable delay; every other mode
    // gets all three delays taken off the readings.
    void setReceiverMode(int mode) { m_receiverMode = mode; }
    // The delay (ns) taken off each reading in the current mode when auto-correct is on.
    double appliedDelayNs() const;
    // Seconds (of the UTC day) per average; below 1 no averages are made.
    void setAveragingPeriod(int seconds) { m_averagingPeriod = seconds; }
    // Seconds between time-log records; 0 for none.
    void setTimeLogInterval(int seconds) { m_timeLogInterval = seconds; }
    // 0 calendar (YYDDD.FFFFFF), 1 MJD, 2 spreadsheet day number.
    void setTimeTagFormat(int format) { m_timeTagFormat = format; }
    void setBareUnit(int port, BareUnit unit);
    // Remote subscriptions: while non-zero, lines also go out as remote lines; a positive count
    // is used up line by line, a negative one never.
    void setRemoteTimeLines(int count) { m_remoteTime = count; }
    void setRemoteAverageLines(int count) { m_remoteAverage = count; }

    // The receiver's sawtooth (ns) for the 1PPS at pulseSecond (UTC seconds since the epoch).
    void receiverSawtooth(qint64 pulseSecond, double ns);
    // One counter line "n reading" measured at the pulse of utcSecond.
    void processTicLine(const QByteArray &line, qint64 utcSecond);
    // The second has moved on: readings still waiting for their sawtooth are let go.
    void tick(qint64 utcSecond);

    // Per port 1..8.
    bool sawtoothDecided(int port) const { return st(port).decided; }
    bool sawtoothAdds(int port) const { return st(port).add; }
    int missingSawtooth(int port) const { return st(port).missing; }
    int pendingReadings(int port) const { return int(st(port).pending.size()); }
    const QString &lastTimeLine() const { return m_lastTimeLine; }
    const QString &lastAverageLine() const { return m_lastAverageLine; }

    QString timeTag(qint64 utcSecond) const;

Q_SIGNALS:
    // A line as it arrived (for the raw data window).
    void rawLine(QString text);
    // "n line" for the processed data window: processed lines, notes and averages.
    void processedText(QString text);
    // The processed line of a port (for its time log), at the time-log interval.
    void timeRecord(int port, QString line);
    // The average line of a port (for its average log).
    void averageRecord(int port, QString line);
    // "$PKTWL,TICDATA,TIME,n,..." and "$PKTWL,TICDATA,AVERAGE,n,..." for remote clients.
    void remoteLine(QByteArray line);
    // The corrected value of port 1 (µs), for the clock panel.
    void port1Value(double us);

private:
    struct Pending
    {
        qint64 second;
        Normalised value;
    };
    struct PortState
    {
        BareUnit bare = BareUnit::Seconds;
        bool restart = true;
        bool decided = false;
        bool add = true;
        int votes = 0;
        std::array<double, 5> readings {};
        std::array<double, 5> sawtooth {};
        int filled = 0;
        int write = 0;
        int missing = 0;
        QList<Pending> pending;
        // Running average (Welford).
        qint64 count = 0;
        double mean = 0.0;
        double m2 = 0.0;
        double max = 0.0;
        double min = 0.0;
        qint64 start = 0;
    };
    PortState &st(int port) { return m_ports[std::size_t(port - 1)]; }
    const PortState &st(int port) const { return m_ports[std::size_t(port - 1)]; }

    void handleReading(int port, qint64 second, const Normalised &n, std::optional<double> sawtoothNs);
    void handleNote(int port, qint64 second, const QString &text);
    double correctSawtooth(PortState &p, double reading, std::optional<double> sawtoothUs);
    void average(int port, qint64 second, double value);
    void releasePending(qint64 now, bool force);
    bool sawtoothFlowing(qint64 second) const;
    static QString collapse(const QString &line);

    const ReceiverState *m_state = nullptr;
    TimingDelays m_delays;
    TimingDelays::EpochOffsets m_epoch;
    int m_receiverMode = 2;
    int m_averagingPeriod = 60;
    int m_timeLogInterval = 0;
    int m_timeTagFormat = 0;
    int m_remoteTime = 0;
    int m_remoteAverage = 0;
    std::array<PortState, Ports> m_ports;
    QMap<qint64, double> m_sawtooth;   // pulse second -> ns, the last few seconds
    QString m_lastTimeLine;
    QString m_lastAverageLine;
    mutable qint64 m_tagSecond = -1;   // the time tag of the last second asked for
    mutable int m_tagFormat = -1;
    mutable QString m_tag;
};
