#pragma once

#include "transport/GpsTransport.h"
#include "transport/SimulationClock.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

class GpsTransportFactory;
class QTcpServer;
class QTcpSocket;
class SimulatedReceiver;

// A time interval counter measuring the simulated receiver's 1PPS against a local reference:
// a steady offset, a slow drift, white phase noise and the receiver's own sawtooth (the value
// the receiver reports for that pulse) folded in, so that sawtooth correction visibly helps.
struct SimulatedCounterConfig
{
    // How the counter writes a reading (all in seconds unless the format says otherwise).
    enum class Format {
        ScpiNr3,    // "+1.234567890123E-07"
        TiccChA,    // "0.000000123456 chA" after "#" header lines
        TiccTi,     // "-0.000000012345 TI(A->B)"
        Nanoseconds // "123.456 ns"
    };

    int port = 1;
    Format format = Format::TiccChA;
    double offsetNs = 150.0;          // reference ahead of the receiver's pulse
    double driftNsPerHour = 2.0;
    double noiseNs = 0.3;             // one sigma, white phase noise
    double sawtoothSign = -1.0;       // the reading holds sign × the receiver's sawtooth
    bool foldSawtooth = true;
    quint64 seed = 1;
    QString receiverModel;            // simulated receiver whose sawtooth is folded in; empty:
                                      // the model stored for the simulated receiver
    quint64 receiverSeed = 1;         // and its seed
    // Port n of a station: formats and offsets differ from port to port.
    static SimulatedCounterConfig forPort(int n);
    static QString formatName(Format f);
    static std::optional<Format> formatFromName(const QString &name);
};

// The counter's readings, one per pulse; everything is a function of the UTC second, so the
// same calls give the same lines.
class SimulatedCounter
{
public:
    explicit SimulatedCounter(const SimulatedCounterConfig &config = SimulatedCounterConfig());
    ~SimulatedCounter();

    const SimulatedCounterConfig &config() const { return m_config; }
    // The receiver's reported sawtooth of the pulse at that second (ns).
    int sawtoothNs(qint64 utcSecond) const;
    // The interval measured at the pulse of that second, in seconds.
    double intervalSeconds(qint64 utcSecond) const;
    // That reading as the counter writes it, with CR LF.
    QByteArray line(qint64 utcSecond) const;
    // What the counter writes when it starts (TICC "#" lines; empty for the others).
    QByteArray header() const;
    // A reading in SCPI NR3 form, as LAN counters answer "READ?".
    static QByteArray nr3(double seconds);

private:
    SimulatedCounterConfig m_config;
    std::unique_ptr<SimulatedReceiver> m_receiver;
};

// The simulated counter behind the transport seam: the port name "SIMULATOR" of a counter
// link. It writes one reading just after each pulse of its clock and keeps what it is sent.
class SimulatedCounterTransport : public GpsTransport
{
    Q_OBJECT
public:
    static constexpr int ReadingDelayMs = 60;   // after the pulse, plus a little per port

    explicit SimulatedCounterTransport(const SimulatedCounterConfig &config = SimulatedCounterConfig(),
                                       const SimulationClock &clock = SimulationClock(),
                                       QObject *parent = nullptr);

    // Puts the simulated counter of port n behind "SIMULATOR" in a counter link's factory.
    static void registerIn(GpsTransportFactory &factory, int port);

    bool open(const GpsPortSettings &settings) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    QByteArray readAll() override;
    qint64 write(const QByteArray &bytes) override;
    void clear() override { m_received.clear(); }
    QString name() const override;

    SimulatedCounter &counter() { return m_counter; }
    SimulationClock &clock() { return m_clock; }
    const QByteArray &written() const { return m_written; }
    // Delivers what is due by the clock's present time (the timer calls it; tests with a
    // manual clock call it after moving the clock).
    void pump();

private:
    void schedule();

    SimulatedCounter m_counter;
    SimulationClock m_clock;
    QTimer m_timer;
    bool m_open = false;
    qint64 m_nextSecond = 0;
    QByteArray m_received;
    QByteArray m_written;
};

// A LAN counter on 127.0.0.1 that speaks SCPI the way the counter link expects: it greets
// naming its model and prompts with "> ", acknowledges set-up commands with a prompt, answers
// "*IDN?", "SYST:COMM:LAN:CONT?" and "READ?" (one reading per interval). Variants misbehave.
class SimulatedScpiCounter : public QObject
{
    Q_OBJECT
public:
    enum class Variant {
        Normal,       // greeting and prompts
        RawPort,      // never greets and never prompts (a raw SCPI socket); answers "*IDN?"
        DropPrompts,  // leaves out every third prompt after a reading
        Closes,       // closes the connection after `closeAfterReadings` readings
        Anonymous,    // names no known model, neither in its greeting nor to "*IDN?"
    };
    struct Config
    {
        QString model = QStringLiteral("53230A");   // "53220A", "53230A" or "BNC1105"
        Variant variant = Variant::Normal;
        int readingIntervalMs = 1000;    // "READ?" is answered at the next multiple of this
        int closeAfterReadings = 3;
        bool byteByByte = false;         // every byte in a segment of its own
        SimulatedCounterConfig counter;
    };

    explicit SimulatedScpiCounter(const Config &config, QObject *parent = nullptr);
    ~SimulatedScpiCounter() override;

    // Listens on 127.0.0.1 (port 0: any free port). False when it cannot.
    bool listen(quint16 port = 0);
    quint16 port() const;

    // Command lines received (without line ends; the empty line included as ""), over all
    // connections, in order.
    const QList<QByteArray> &commands() const { return m_commands; }
    int connections() const { return m_connections; }
    int promptsSent() const { return m_promptsSent; }
    int readingsSent() const { return m_readingsSent; }
    // Commands that arrived while the counter had not prompted for one.
    int commandsWithoutPrompt() const { return m_unprompted; }
    // Readings sent, as sent.
    const QList<QByteArray> &readings() const { return m_readingTexts; }

private:
    void onConnection();
    void onReadyRead();
    void handleCommand(const QByteArray &command);
    void send(const QByteArray &bytes);
    void prompt();
    void flushSlowly();
    void answerRead();
    QByteArray identity() const;

    Config m_config;
    QTcpServer *m_server = nullptr;
    QTcpSocket *m_socket = nullptr;
    SimulatedCounter m_counter;
    QByteArray m_input;
    QByteArray m_slowOut;
    QTimer m_slowTimer;
    QTimer m_readTimer;
    bool m_awaitingCommand = false;
    bool m_readPending = false;
    qint64 m_second = 1767225600;   // reading counter, as UTC seconds
    QList<QByteArray> m_commands;
    QList<QByteArray> m_readingTexts;
    int m_connections = 0;
    int m_promptsSent = 0;
    int m_readingsSent = 0;
    int m_readingsThisConnection = 0;
    int m_unprompted = 0;
};
