#pragma once

// A transport that stands between the link and one simulated receiver that outlives the port's
// re-openings (a real unit keeps its rate and settings while the port is closed). It can
// record what the link wrote, with the rate the receiver was at, and tell a callback.

#include "sim/SimulatedReceiverTransport.h"
#include "support/FakeTransport.h"

class SharedReceiverPort : public GpsTransport
{
public:
    explicit SharedReceiverPort(SimulatedReceiverTransport &rx, QList<Written> *log = nullptr,
                                std::function<void(const QByteArray &)> onWrite = {})
        : m_rx(rx), m_log(log), m_onWrite(std::move(onWrite))
    {
        connect(&m_rx, &GpsTransport::readyRead, this, &GpsTransport::readyRead);
    }
    bool open(const GpsPortSettings &settings) override { return m_rx.open(settings); }
    void close() override { m_rx.close(); }
    bool isOpen() const override { return m_rx.isOpen(); }
    QByteArray readAll() override { return m_rx.readAll(); }
    qint64 write(const QByteArray &bytes) override
    {
        if (m_log)
            m_log->append({ bytes, m_rx.receiver().linkRate() });
        if (m_onWrite)
            m_onWrite(bytes);
        return m_rx.write(bytes);
    }
    void clear() override { m_rx.clear(); }
    int modemSignals() override { return m_rx.modemSignals(); }
    QString name() const override { return GpsPortSettings::simulatorPortName(); }

private:
    SimulatedReceiverTransport &m_rx;
    QList<Written> *m_log;
    std::function<void(const QByteArray &)> m_onWrite;
};
