#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QtGlobal>
#include <cmath>

// The UTC time a simulated (or replayed) receiver lives in: the computer clock, a start time
// running at some multiple of real time, or a hand-moved clock for tests.
class SimulationClock
{
public:
    // The computer clock.
    SimulationClock() = default;
    // Starts at `start` now and runs `speed` times faster than real time (speed > 0).
    static SimulationClock startingAt(const QDateTime &start, double speed = 1.0)
    {
        SimulationClock c;
        c.m_kind = Scaled;
        c.m_baseMs = start.toMSecsSinceEpoch();
        c.m_speed = speed > 0 ? speed : 1.0;
        c.m_elapsed.start();
        return c;
    }
    // Stands still until moved with setNowMs() / advanceMs().
    static SimulationClock manual(qint64 utcMs)
    {
        SimulationClock c;
        c.m_kind = Manual;
        c.m_baseMs = utcMs;
        return c;
    }

    qint64 nowMs() const
    {
        switch (m_kind) {
        case Scaled:
            return m_baseMs + qint64(double(m_elapsed.nsecsElapsed()) * m_speed / 1e6);
        case Manual:
            return m_baseMs;
        case System:
            break;
        }
        return QDateTime::currentMSecsSinceEpoch();
    }
    bool isManual() const { return m_kind == Manual; }
    double speed() const { return m_speed; }
    void setNowMs(qint64 utcMs)
    {
        if (m_kind == Manual)
            m_baseMs = utcMs;
    }
    void advanceMs(qint64 ms) { setNowMs(m_baseMs + ms); }

    // Real milliseconds until the clock shows `utcMs`: 0 when it already does, -1 for a manual
    // clock (nothing but the test moves it).
    qint64 realMsUntil(qint64 utcMs) const
    {
        if (m_kind == Manual)
            return -1;
        const qint64 d = utcMs - nowMs();
        if (d <= 0)
            return 0;
        return qint64(std::ceil(double(d) / m_speed));
    }

private:
    enum Kind { System, Scaled, Manual };
    Kind m_kind = System;
    qint64 m_baseMs = 0;
    double m_speed = 1.0;
    QElapsedTimer m_elapsed;
};
