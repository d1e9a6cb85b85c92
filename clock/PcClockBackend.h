#pragma once

#include <QList>
#include <QString>
#include <cstdint>

// One correction for the computer clock: at the moment the computer clock read pcUs, UTC by
// the receiver was targetUs (both microseconds since 1970). leap is the receiver's announced
// leap second at the end of the UTC day: 0 none, 1 inserted, 2 deleted.
struct ClockSample
{
    int64_t pcUs = 0;
    int64_t targetUs = 0;
    int leap = 0;

    int64_t offsetUs() const { return targetUs - pcUs; }
};

// Where the clock step's corrections go. A setter changes the clock when the schedule or the
// error threshold asks for it; a feed gets one sample every second and leaves the filtering,
// slewing and stepping to a time daemon.
class PcClockBackend
{
public:
    enum class Kind { Setter, Feed };

    virtual ~PcClockBackend() = default;
    virtual Kind kind() const = 0;
    // The computer's clock, microseconds since 1970 (UTC).
    virtual int64_t nowUs() const = 0;
    // Sets (or slews) the clock to the sample's target, or hands the sample on. False on
    // failure, with the reason in lastError().
    virtual bool apply(const ClockSample &sample) = 0;
    virtual QString lastError() const { return m_lastError; }
    // False when the last successful apply only started a slew: the clock reaches the target
    // over many seconds, so the next second's error says nothing about the set's latency.
    virtual bool lastApplyStepped() const { return true; }

protected:
    QString m_lastError;
};

// A computer clock that exists only in memory: true time is advanced by hand, the clock
// shows true time plus its error, and a set lands `setDelayUs` late, as a real set call does.
class FakePcClock : public PcClockBackend
{
public:
    explicit FakePcClock(Kind kind = Kind::Setter) : m_kind(kind) {}

    Kind kind() const override { return m_kind; }
    int64_t nowUs() const override { return m_trueUs + m_errorUs; }
    bool apply(const ClockSample &sample) override
    {
        applied.append(sample);
        if (failSets) {
            m_lastError = QStringLiteral("set refused");
            return false;
        }
        if (m_kind == Kind::Setter)
            m_errorUs += sample.offsetUs() - setDelayUs;
        return true;
    }

    void setTrueUs(int64_t us) { m_trueUs = us; }
    void advanceUs(int64_t us) { m_trueUs += us; }
    int64_t trueUs() const { return m_trueUs; }
    void setErrorUs(int64_t us) { m_errorUs = us; }
    int64_t errorUs() const { return m_errorUs; }

    int64_t setDelayUs = 0;
    bool failSets = false;
    QList<ClockSample> applied;

private:
    Kind m_kind;
    int64_t m_trueUs = 0;
    int64_t m_errorUs = 0;
};
