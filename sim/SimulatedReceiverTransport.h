#pragma once

#include "transport/GpsTransport.h"
#include "sim/SimulatedReceiver.h"
#include "transport/PacedPpsSource.h"
#include "transport/SimulationClock.h"

#include <QTimer>
#include <deque>
#include <memory>

class GpsTransportFactory;

// The simulated receiver behind the transport seam: port name "SIMULATOR". It answers what the
// link writes, delivers one second of continuous output after each simulated 1PPS edge (the
// messages of the next pulse, as the receiver announces each pulse in the second before it)
// and shows the pulse on the DCD line (modemSignals()).
class SimulatedReceiverTransport : public GpsTransport
{
    Q_OBJECT
public:
    explicit SimulatedReceiverTransport(const SimulatedReceiverConfig &config = SimulatedReceiverConfig(),
                                        const SimulationClock &clock = SimulationClock(),
                                        QObject *parent = nullptr);
    ~SimulatedReceiverTransport() override;

    // The transport for the model stored under SimulatedReceiverConfig::keyModel() (or the one
    // named, when not empty), at the rate stored under keyDataRate(), on the computer clock.
    // `speed` above 1 runs the simulated receiver that many times faster than real time.
    static std::unique_ptr<GpsTransport> create(const QString &modelName = QString(), double speed = 1.0);
    // Puts the simulated receiver behind the port name "SIMULATOR" of a link's factory; an
    // empty model name means the one stored in the settings when the port opens.
    static void registerIn(GpsTransportFactory &factory, const QString &modelName = QString(), double speed = 1.0);

    bool open(const GpsPortSettings &settings) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    QByteArray readAll() override;
    qint64 write(const QByteArray &bytes) override;
    void clear() override;
    int modemSignals() override;
    QString name() const override;

    SimulatedReceiver &receiver() { return m_rx; }
    SimulationClock &clock() { return m_clock; }

    // Delivers whatever is due at the clock's present time. The internal timer calls it; with a
    // manual clock the test calls it after moving the clock.
    void pump();

    // Real time a receiver at this data rate needs for the bytes (10 bits a byte).
    static qint64 transmitMs(qsizetype bytes, int rate);

Q_SIGNALS:
    // A simulated 1PPS edge at the start of this UTC second.
    void ppsEdge(qint64 utcSecond);

private:
    void queue(qint64 dueMs, const QByteArray &bytes);
    void scheduleTimer();

    SimulatedReceiver m_rx;
    SimulationClock m_clock;
    QTimer m_timer;
    bool m_open = false;
    QByteArray m_received;
    qint64 m_nextSecond = 0;
    PacedPpsSource m_pps;
    struct Pending
    {
        qint64 dueMs;
        QByteArray bytes;
    };
    std::deque<Pending> m_pending;
};
