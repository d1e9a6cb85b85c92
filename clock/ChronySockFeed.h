#pragma once

#include "clock/PcClockBackend.h"

#include <QByteArray>
#include <QString>

// Hands one sample a second to chrony through its SOCK reference clock: a datagram to the
// Unix socket chronyd listens on ("refclock SOCK <path>" in chrony.conf). chronyd filters the
// samples, slews and steps the clock; this program needs no privilege for it.
class ChronySockFeed : public PcClockBackend
{
public:
    static constexpr int SampleSize = 40;
    static constexpr int Magic = 0x534f434b;   // "SOCK"

    explicit ChronySockFeed(const QString &socketPath);
    ~ChronySockFeed() override;
    ChronySockFeed(const ChronySockFeed &) = delete;
    ChronySockFeed &operator=(const ChronySockFeed &) = delete;

    Kind kind() const override { return Kind::Feed; }
    int64_t nowUs() const override;
    bool apply(const ClockSample &sample) override;

    QString socketPath() const { return m_path; }
    // Samples sent so far (each one a datagram chronyd took).
    quint64 sent() const { return m_sent; }

    // The datagram for one sample, in this machine's byte order: the computer time of the
    // sample (seconds and microseconds), the offset UTC - computer time in seconds, pulse 0,
    // the leap flag, padding and the magic number.
    static QByteArray encode(const ClockSample &sample);

private:
    QString m_path;
    int m_fd = -1;
    quint64 m_sent = 0;
};
