#include "sim/SimulatedCounter.h"

#include "sim/SimulatedReceiver.h"
#include "transport/GpsPortSettings.h"
#include "transport/GpsTransportFactory.h"

#include <QDateTime>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <cmath>

namespace {

uint64_t mix(uint64_t x)
{
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

// Uniform in (0, 1) for a seed, a stream and an index.
double uniform(uint64_t seed, uint64_t stream, uint64_t index)
{
    const uint64_t h = mix(mix(mix(seed) ^ stream) ^ index);
    return (double(h >> 11) + 0.5) / 9007199254740992.0;
}

double gaussian(uint64_t seed, uint64_t stream, uint64_t index)
{
    const double u1 = uniform(seed, stream, 2 * index);
    const double u2 = uniform(seed, stream, 2 * index + 1);
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * M_PI * u2);
}

QByteArray format(const char *pattern, double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return QByteArray(buffer);
}

} // namespace

// --- SimulatedCounterConfig ---------------------------------------------------------------

SimulatedCounterConfig SimulatedCounterConfig::forPort(int n)
{
    static const Format formats[] = { Format::TiccChA, Format::ScpiNr3, Format::TiccTi, Format::Nanoseconds };
    SimulatedCounterConfig c;
    c.port = n;
    c.format = formats[std::size_t(std::max(0, n - 1)) % std::size(formats)];
    c.offsetNs = 150.0 + 37.0 * (n - 1);
    c.seed = quint64(n);
    return c;
}

QString SimulatedCounterConfig::formatName(Format f)
{
    switch (f) {
    case Format::ScpiNr3: return QStringLiteral("scpi");
    case Format::TiccChA: return QStringLiteral("ticc");
    case Format::TiccTi: return QStringLiteral("ticc-ti");
    case Format::Nanoseconds: return QStringLiteral("ns");
    }
    return {};
}

std::optional<SimulatedCounterConfig::Format> SimulatedCounterConfig::formatFromName(const QString &name)
{
    for (Format f : { Format::ScpiNr3, Format::TiccChA, Format::TiccTi, Format::Nanoseconds })
        if (formatName(f) == name)
            return f;
    return std::nullopt;
}

// --- SimulatedCounter ---------------------------------------------------------------------

SimulatedCounter::SimulatedCounter(const SimulatedCounterConfig &config)
    : m_config(config)
{
    if (m_config.foldSawtooth) {
        QString model = m_config.receiverModel;
        if (model.isEmpty()) {
            QSettings settings;
            model = SimulatedReceiverConfig::loadModelName(settings);
        }
        SimulatedReceiverConfig rx = SimulatedReceiverConfig::forModel(model);
        rx.seed = m_config.receiverSeed;
        m_receiver = std::make_unique<SimulatedReceiver>(rx);
    }
}

SimulatedCounter::~SimulatedCounter() = default;

int SimulatedCounter::sawtoothNs(qint64 utcSecond) const
{
    return m_receiver ? m_receiver->epochAt(utcSecond).sawtoothNs : 0;
}

double SimulatedCounter::intervalSeconds(qint64 utcSecond) const
{
    // The drift wanders once a day: a slope of up to driftNsPerHour, never a runaway value.
    const double amplitude = m_config.driftNsPerHour * 86400.0 / 3600.0 / (2.0 * M_PI);
    const double phase = 2.0 * M_PI * double(utcSecond % 86400) / 86400.0;
    double ns = m_config.offsetNs + amplitude * std::sin(phase)
        + m_config.noiseNs * gaussian(m_config.seed, 0x7c, uint64_t(utcSecond));
    if (m_config.foldSawtooth)
        ns += m_config.sawtoothSign * sawtoothNs(utcSecond);
    return ns * 1e-9;
}

QByteArray SimulatedCounter::nr3(double seconds)
{
    return format("%+.12E", seconds);
}

QByteArray SimulatedCounter::line(qint64 utcSecond) const
{
    const double s = intervalSeconds(utcSecond);
    switch (m_config.format) {
    case SimulatedCounterConfig::Format::ScpiNr3:
        return nr3(s) + "\r\n";
    case SimulatedCounterConfig::Format::TiccChA:
        return format("%.12f chA\r\n", s);
    case SimulatedCounterConfig::Format::TiccTi:
        return format("%.12f TI(A->B)\r\n", s);
    case SimulatedCounterConfig::Format::Nanoseconds:
        return format("%.3f ns\r\n", s * 1e9);
    }
    return {};
}

QByteArray SimulatedCounter::header() const
{
    if (m_config.format != SimulatedCounterConfig::Format::TiccChA
        && m_config.format != SimulatedCounterConfig::Format::TiccTi)
        return {};
    return QByteArrayLiteral("# Simulated time interval counter, port ") + QByteArray::number(m_config.port)
        + QByteArrayLiteral("\r\n# Interval from the receiver's 1PPS to the reference, in seconds\r\n");
}

// --- SimulatedCounterTransport ------------------------------------------------------------

SimulatedCounterTransport::SimulatedCounterTransport(const SimulatedCounterConfig &config,
                                                     const SimulationClock &clock, QObject *parent)
    : GpsTransport(parent)
    , m_counter(config)
    , m_clock(clock)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SimulatedCounterTransport::pump);
}

void SimulatedCounterTransport::registerIn(GpsTransportFactory &factory, int port)
{
    factory.registerTransport(GpsPortSettings::simulatorPortName(), [port] {
        return std::make_unique<SimulatedCounterTransport>(SimulatedCounterConfig::forPort(port));
    });
}

QString SimulatedCounterTransport::name() const
{
    return GpsPortSettings::simulatorPortName();
}

bool SimulatedCounterTransport::open(const GpsPortSettings &)
{
    if (!m_open) {
        m_open = true;
        m_received = m_counter.header();
        m_nextSecond = m_clock.nowMs() / 1000 + 1;
    }
    schedule();
    if (!m_received.isEmpty())
        QTimer::singleShot(0, this, [this] {
            if (m_open && !m_received.isEmpty())
                Q_EMIT readyRead();
        });
    return true;
}

void SimulatedCounterTransport::close()
{
    m_open = false;
    m_timer.stop();
    m_received.clear();
}

QByteArray SimulatedCounterTransport::readAll()
{
    QByteArray out;
    out.swap(m_received);
    return out;
}

qint64 SimulatedCounterTransport::write(const QByteArray &bytes)
{
    if (!m_open)
        return -1;
    m_written += bytes;
    return bytes.size();
}

void SimulatedCounterTransport::pump()
{
    if (!m_open)
        return;
    const qint64 now = m_clock.nowMs();
    const qint64 delay = ReadingDelayMs + 3 * m_counter.config().port;
    if (now / 1000 - m_nextSecond > 5)
        m_nextSecond = now / 1000;   // after a stall, start again from now
    bool delivered = false;
    while (m_nextSecond * 1000 + delay <= now) {
        m_received += m_counter.line(m_nextSecond++);
        delivered = true;
    }
    schedule();
    if (delivered)
        Q_EMIT readyRead();
}

void SimulatedCounterTransport::schedule()
{
    if (!m_open || m_clock.isManual())
        return;
    const qint64 due = m_nextSecond * 1000 + ReadingDelayMs + 3 * m_counter.config().port;
    m_timer.start(int(std::clamp<qint64>(m_clock.realMsUntil(due), 0, 60000)));
}

// --- SimulatedScpiCounter -----------------------------------------------------------------

SimulatedScpiCounter::SimulatedScpiCounter(const Config &config, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_server(new QTcpServer(this))
    , m_counter(config.counter)
{
    connect(m_server, &QTcpServer::newConnection, this, &SimulatedScpiCounter::onConnection);
    m_slowTimer.setInterval(1);
    connect(&m_slowTimer, &QTimer::timeout, this, &SimulatedScpiCounter::flushSlowly);
    m_readTimer.setSingleShot(true);
    connect(&m_readTimer, &QTimer::timeout, this, &SimulatedScpiCounter::answerRead);
}

SimulatedScpiCounter::~SimulatedScpiCounter() = default;

bool SimulatedScpiCounter::listen(quint16 port)
{
    return m_server->listen(QHostAddress::LocalHost, port);
}

quint16 SimulatedScpiCounter::port() const
{
    return m_server->serverPort();
}

QByteArray SimulatedScpiCounter::identity() const
{
    if (m_config.variant == Variant::Anonymous)
        return QByteArrayLiteral("Simulated Instruments,TI-1,0,1.0");
    if (m_config.model == QLatin1String("BNC1105"))
        return QByteArrayLiteral("Berkeley Nucleonics,BNC1105,0,1.0");
    return QByteArrayLiteral("Keysight Technologies,") + m_config.model.toLatin1()
        + QByteArrayLiteral(",MY00000000,A.02.14");
}

void SimulatedScpiCounter::onConnection()
{
    while (QTcpSocket *next = m_server->nextPendingConnection()) {
        if (m_socket) {
            m_socket->disconnect(this);
            m_socket->abort();
            m_socket->deleteLater();
        }
        m_socket = next;
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        ++m_connections;
        m_input.clear();
        m_slowOut.clear();
        m_readPending = false;
        m_readTimer.stop();
        m_readingsThisConnection = 0;
        m_awaitingCommand = false;
        connect(m_socket, &QTcpSocket::readyRead, this, &SimulatedScpiCounter::onReadyRead);
        switch (m_config.variant) {
        case Variant::RawPort:
            m_awaitingCommand = true;
            break;
        case Variant::Anonymous:
            send("Welcome to a time interval counter\r\n");
            prompt();
            break;
        default:
            send("Welcome to the simulated " + m_config.model.toLatin1() + " Universal Counter\r\n");
            prompt();
            break;
        }
    }
}

void SimulatedScpiCounter::send(const QByteArray &bytes)
{
    if (!m_socket)
        return;
    if (m_config.byteByByte) {
        m_slowOut += bytes;
        if (!m_slowTimer.isActive())
            m_slowTimer.start();
        return;
    }
    m_socket->write(bytes);
    m_socket->flush();
}

void SimulatedScpiCounter::flushSlowly()
{
    if (!m_socket || m_slowOut.isEmpty()) {
        m_slowTimer.stop();
        return;
    }
    m_socket->write(m_slowOut.left(1));
    m_socket->flush();
    m_slowOut.remove(0, 1);
}

void SimulatedScpiCounter::prompt()
{
    m_awaitingCommand = true;
    if (m_config.variant == Variant::RawPort)
        return;
    ++m_promptsSent;
    send(m_config.variant == Variant::Anonymous ? QByteArrayLiteral("> ") : m_config.model.toLatin1() + "> ");
}

void SimulatedScpiCounter::onReadyRead()
{
    if (!m_socket)
        return;
    m_input += m_socket->readAll();
    qsizetype nl;
    while ((nl = m_input.indexOf('\n')) >= 0) {
        QByteArray command = m_input.left(nl);
        m_input.remove(0, nl + 1);
        while (command.endsWith('\r'))
            command.chop(1);
        handleCommand(command);
    }
}

void SimulatedScpiCounter::handleCommand(const QByteArray &command)
{
    m_commands << command;
    if (!m_awaitingCommand)
        ++m_unprompted;
    m_awaitingCommand = false;
    if (command == "*IDN?") {
        send(identity() + "\r\n");
        prompt();
    } else if (command == "SYST:COMM:LAN:CONT?") {
        send("5000\r\n");
        prompt();
    } else if (command == "READ?") {
        m_readPending = true;
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const qint64 interval = std::max(1, m_config.readingIntervalMs);
        m_readTimer.start(int(interval - now % interval));
    } else {
        prompt();
    }
}

void SimulatedScpiCounter::answerRead()
{
    if (!m_socket || !m_readPending)
        return;
    m_readPending = false;
    const QByteArray reading = SimulatedCounter::nr3(m_counter.intervalSeconds(m_second++));
    m_readingTexts << reading;
    ++m_readingsSent;
    ++m_readingsThisConnection;
    send(reading + "\r\n");
    if (m_config.variant == Variant::Closes && m_readingsThisConnection >= m_config.closeAfterReadings) {
        m_socket->disconnectFromHost();
        return;
    }
    if (m_config.variant == Variant::DropPrompts && m_readingsThisConnection % 3 == 0) {
        m_awaitingCommand = true;   // ready, but says nothing
        return;
    }
    prompt();
}
