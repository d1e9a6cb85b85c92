#include "receiver/link/LinkRecovery.h"

#include "receiver/link/GpsSerialPortThread.h"
#include "transport/GpsTransport.h"

#include <QDateTime>

namespace {
constexpr int ConnectPollMs = 100;
}

LinkRecovery::LinkRecovery(GpsSerialPortThread &link, QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);   // a coarse timer may fire a little early
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_state == State::Waiting)
            reopenNow();
        else if (m_state == State::Connecting)
            verifyConnection();
    });
    m_lastDataMs = m_clock();
    m_staleTimer.setInterval(1000);
    connect(&m_staleTimer, &QTimer::timeout, this, &LinkRecovery::checkStale);
    m_staleTimer.start();
}

void LinkRecovery::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock([] { return QDateTime::currentMSecsSinceEpoch(); });
    m_lastDataMs = m_clock();
}

void LinkRecovery::setDelays(int firstMs, int maxMs)
{
    m_firstDelayMs = std::max(1, firstMs);
    m_maxDelayMs = std::max(m_firstDelayMs, maxMs);
    m_delayMs = m_firstDelayMs;
}

void LinkRecovery::linkError(const QString &message)
{
    switch (m_state) {
    case State::Up:
        // The first report of a loss (or an error that left the port open) is told once.
        Q_EMIT notice(message);
        if (m_link.isPortOpen())
            return;
        m_delayMs = m_firstDelayMs;
        m_attempts = 0;
        scheduleReopen();
        return;
    case State::Connecting:
        // The reopen failed: wait twice as long.
        m_delayMs = std::min(m_delayMs * 2, m_maxDelayMs);
        scheduleReopen();
        return;
    case State::Waiting:
    case State::Given:
        return;   // the device is already known to be gone
    }
}

void LinkRecovery::scheduleReopen()
{
    if (m_autoRestart && !m_autoRestart()) {
        m_state = State::Given;
        m_timer.stop();
        return;
    }
    m_state = State::Waiting;
    m_timer.start(m_delayMs);
}

void LinkRecovery::reopenNow()
{
    m_state = State::Connecting;
    ++m_attempts;
    m_connectStartMs = m_clock();
    if (m_reopen)
        m_reopen();
    // A failure inside the reopen has already rescheduled.
    if (m_state == State::Connecting)
        verifyConnection();
}

void LinkRecovery::verifyConnection()
{
    GpsTransport *t = m_link.transport();
    if (!t || !t->isOpen()) {
        // Failed without a report (no port made at all): count it as a failed attempt.
        m_delayMs = std::min(m_delayMs * 2, m_maxDelayMs);
        scheduleReopen();
        return;
    }
    if (t->isConnected()) {
        m_state = State::Up;
        m_delayMs = m_firstDelayMs;
        m_lastDataMs = std::max(m_lastDataMs, m_clock() - StaleAfterMs);
        Q_EMIT restored();
        return;
    }
    if (m_clock() - m_connectStartMs >= ConnectLimitMs) {
        t->close();
        m_delayMs = std::min(m_delayMs * 2, m_maxDelayMs);
        scheduleReopen();
        return;
    }
    m_timer.start(ConnectPollMs);
}

void LinkRecovery::restart()
{
    m_timer.stop();
    m_state = State::Up;
    m_delayMs = m_firstDelayMs;
    m_attempts = 0;
    m_lastDataMs = m_clock();
    if (m_stale) {
        m_stale = false;
        Q_EMIT staleChanged(false, m_lastDataMs);
    }
}

void LinkRecovery::dataArrived()
{
    m_lastDataMs = m_clock();
    if (m_stale) {
        m_stale = false;
        Q_EMIT staleChanged(false, m_lastDataMs);
    }
}

void LinkRecovery::checkStale()
{
    if (m_stale || m_link.portName() == GpsPortSettings::offPortName() || m_link.portName().isEmpty())
        return;
    if (m_clock() - m_lastDataMs >= StaleAfterMs) {
        m_stale = true;
        Q_EMIT staleChanged(true, m_lastDataMs);
    }
}
