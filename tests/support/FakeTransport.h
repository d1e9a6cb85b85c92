#pragma once

// A transport the receiver link tests drive by hand: bytes are injected, modem lines set,
// and whatever the link writes is recorded. With an `answer` script it plays a receiver that
// answers each write, at the port's rate, 20 ms later.

#include "transport/GpsPortSettings.h"
#include "transport/GpsTransport.h"

#include <QList>
#include <QTimer>
#include <functional>

struct Written
{
    QByteArray bytes;
    int rate;   // the port rate the bytes went out at
};

class FakeTransport : public GpsTransport
{
public:
    explicit FakeTransport(QString name = QStringLiteral("FAKE"), QObject *parent = nullptr)
        : GpsTransport(parent), m_name(std::move(name))
    {
    }

    bool open(const GpsPortSettings &settings) override
    {
        openedWith = settings;
        ++openCount;
        if (openError != 0) {
            Q_EMIT errorOccurred(openError);
            return false;
        }
        m_open = true;
        return true;
    }
    void close() override { m_open = false; ++closeCount; }
    bool isOpen() const override { return m_open; }
    QByteArray readAll() override { return std::exchange(m_buffer, {}); }
    qint64 write(const QByteArray &bytes) override
    {
        written.append(bytes);
        if (log)
            log->append({ bytes, openedWith.dataRate });
        const QByteArray reply = answer ? answer(bytes, openedWith.dataRate) : QByteArray();
        if (!reply.isEmpty())
            QTimer::singleShot(20, this, [this, reply] { inject(reply); });
        return bytes.size();
    }
    void clear() override { m_buffer.clear(); ++clearCount; }
    int modemSignals() override { return signalLines; }
    QString name() const override { return m_name; }

    // Delivers bytes as one read.
    void inject(const QByteArray &bytes)
    {
        m_buffer += bytes;
        Q_EMIT readyRead();
    }

    GpsPortSettings openedWith;
    int openError = 0;
    int openCount = 0;
    int closeCount = 0;
    int clearCount = 0;
    int signalLines = 0;
    QList<QByteArray> written;
    QList<Written> *log = nullptr;   // shared with the test when the transport is made elsewhere
    std::function<QByteArray(const QByteArray &written, int rate)> answer;

private:
    QString m_name;
    QByteArray m_buffer;
    bool m_open = false;
};
