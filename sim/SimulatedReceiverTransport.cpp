#include "sim/SimulatedReceiverTransport.h"

#include "transport/GpsPortSettings.h"
#include "transport/GpsTransportFactory.h"

#include <QSettings>
#include <algorithm>

SimulatedReceiverTransport::SimulatedReceiverTransport(const SimulatedReceiverConfig &config,
                                                       const SimulationClock &clock, QObject *parent)
    : GpsTransport(parent)
    , m_rx(config)
    , m_clock(clock)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SimulatedReceiverTransport::pump);
}

SimulatedReceiverTransport::~SimulatedReceiverTransport() = default;

std::unique_ptr<GpsTransport> SimulatedReceiverTransport::create(const QString &modelName, double speed)
{
    QSettings settings;
    const QString stored = SimulatedReceiverConfig::loadModelName(settings);
    SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel(modelName.isEmpty() ? stored : modelName);
    config.dataRate = SimulatedReceiverConfig::loadDataRate(settings);
    if (speed > 1.0)
        return std::make_unique<SimulatedReceiverTransport>(
            config, SimulationClock::startingAt(QDateTime::currentDateTimeUtc(), speed));
    return std::make_unique<SimulatedReceiverTransport>(config);
}

void SimulatedReceiverTransport::registerIn(GpsTransportFactory &factory, const QString &modelName, double speed)
{
    factory.registerTransport(GpsPortSettings::simulatorPortName(),
                              [modelName, speed] { return create(modelName, speed); });
}

QString SimulatedReceiverTransport::name() const
{
    return GpsPortSettings::simulatorPortName();
}

qint64 SimulatedReceiverTransport::transmitMs(qsizetype bytes, int rate)
{
    return rate > 0 ? qint64(bytes) * 10000 / rate : 0;
}

bool SimulatedReceiverTransport::open(const GpsPortSettings &settings)
{
    m_rx.setLinkRate(settings.dataRate);
    if (!m_open) {
        m_open = true;
        m_received.clear();
        m_pending.clear();
        m_pps.reset();
        const qint64 now = m_clock.nowMs();
        m_nextSecond = now / 1000 + 1;
    }
    scheduleTimer();
    return true;
}

void SimulatedReceiverTransport::close()
{
    m_open = false;
    m_timer.stop();
    m_received.clear();
    m_pending.clear();
    m_pps.reset();
}

QByteArray SimulatedReceiverTransport::readAll()
{
    QByteArray out;
    out.swap(m_received);
    return out;
}

void SimulatedReceiverTransport::clear()
{
    m_received.clear();
    m_pending.clear();
}

qint64 SimulatedReceiverTransport::write(const QByteArray &bytes)
{
    if (!m_open)
        return -1;
    const qint64 now = m_clock.nowMs();
    const QByteArray answer = m_rx.receive(bytes, now);
    if (!answer.isEmpty()) {
        // The command has to arrive, then the receiver answers at its own pace.
        const qint64 due = now + transmitMs(bytes.size(), m_rx.linkRate()) + 30
            + transmitMs(answer.size(), m_rx.dataRate());
        queue(due, answer);
        scheduleTimer();
    }
    return bytes.size();
}

int SimulatedReceiverTransport::modemSignals()
{
    if (!m_open)
        return 0;
    const qint64 now = m_clock.nowMs();
    // Edges are made by pump(); the bytes are never handed over from inside a line read.
    return m_pps.readLevel(now) ? Dcd : 0;
}

void SimulatedReceiverTransport::queue(qint64 dueMs, const QByteArray &bytes)
{
    // Kept in order of delivery; a message never overtakes one queued before it.
    if (!m_pending.empty())
        dueMs = std::max(dueMs, m_pending.back().dueMs);
    m_pending.push_back({ dueMs, bytes });
}

void SimulatedReceiverTransport::pump()
{
    if (!m_open)
        return;
    const qint64 now = m_clock.nowMs();
    // After a long stall (a suspended computer, a jump of the clock) start again from now
    // rather than replaying every missed second.
    if (now / 1000 - m_nextSecond > 5)
        m_nextSecond = now / 1000;
    while (m_nextSecond * 1000 <= now) {
        const qint64 second = m_nextSecond++;
        m_pps.edge(second * 1000);
        // What follows a pulse announces the next one: its time, position and sawtooth. At
        // that next edge the station shows (and may set the clock to) the time just decoded.
        const QByteArray bytes = m_rx.secondOutput(second + 1);
        if (!bytes.isEmpty())
            queue(second * 1000 + PacedPpsSource::MessageDelayMs + transmitMs(bytes.size(), m_rx.dataRate()),
                  bytes);
        Q_EMIT ppsEdge(second);
    }
    bool delivered = false;
    while (!m_pending.empty() && m_pending.front().dueMs <= now) {
        m_received += m_pending.front().bytes;
        m_pending.pop_front();
        delivered = true;
    }
    // A receiver buffer that nobody reads does not grow without bound.
    constexpr qsizetype MaxUnread = 1 << 20;
    if (m_received.size() > MaxUnread)
        m_received.remove(0, m_received.size() - MaxUnread);
    scheduleTimer();
    if (delivered)
        Q_EMIT readyRead();
}

void SimulatedReceiverTransport::scheduleTimer()
{
    if (!m_open || m_clock.isManual())
        return;
    qint64 next = m_nextSecond * 1000;
    if (!m_pending.empty())
        next = std::min(next, m_pending.front().dueMs);
    const qint64 wait = m_clock.realMsUntil(next);
    m_timer.start(int(std::clamp<qint64>(wait, 0, 60000)));
}
