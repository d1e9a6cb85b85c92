#include "receiver/link/ReceiverCommandChannel.h"

#include "receiver/framing/Checksums.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace {

void appendHex(QString &out, QByteArrayView bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    for (char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        out += QLatin1Char('<');
        out += QLatin1Char(digits[b >> 4]);
        out += QLatin1Char(digits[b & 0x0F]);
        out += QLatin1Char('>');
    }
}

bool startsWithBytes(const QByteArray &m, uint8_t a, uint8_t b)
{
    return m.size() >= 2 && static_cast<uint8_t>(m[0]) == a && static_cast<uint8_t>(m[1]) == b;
}

} // namespace

ReceiverCommandChannel::ReceiverCommandChannel(ReceiverState &state, QObject *parent)
    : QObject(parent)
    , m_state(state)
{
}

QByteArray ReceiverCommandChannel::completeCommand(const QByteArray &command, QString *echo)
{
    QByteArray m = command;
    QString text;
    if (m.startsWith('$')) {
        if (m.size() >= 7) {
            if (m.at(m.size() - 3) == '*')
                m.chop(3);
            m.append('*');
            m.append(Checksums::hexByte(Checksums::nmeaXor(QByteArrayView(m).sliced(1, m.size() - 2))));
        }
        text = QStringLiteral("<- ") + QString::fromLatin1(m);
    } else if (startsWithBytes(m, 0xB5, 0x62)) {
        const Checksums::UbxChecksum ck = Checksums::ubxFletcher(QByteArrayView(m).sliced(2));
        m.append(static_cast<char>(ck.ckA));
        m.append(static_cast<char>(ck.ckB));
        text = QStringLiteral("<- ");
        appendHex(text, m);
    } else if (startsWithBytes(m, '@', '@')) {
        if (m.size() >= 4) {
            const qsizetype n = m.size();
            const QByteArrayView covered = m.at(n - 2) == '*' ? QByteArrayView(m).first(n - 2) : QByteArrayView(m);
            m.append(static_cast<char>(Checksums::motorolaXor(covered)));
        }
        // "@@Tk" carries a text field: its first 59 bytes are shown as characters.
        const qsizetype asText = std::min<qsizetype>(m.startsWith("@@Tk") ? 59 : 4, m.size());
        text = QStringLiteral("<- ") + QString::fromLatin1(m.constData(), asText);
        appendHex(text, QByteArrayView(m).sliced(asText));
    } else if (startsWithBytes(m, 0x55, 0x55)) {
        text = QStringLiteral("<- ");
        appendHex(text, m);
    }
    if (echo)
        *echo = text;
    return m;
}

void ReceiverCommandChannel::sendGpsRxCommand(const QByteArray &command)
{
    QString text;
    const QByteArray message = completeCommand(command, &text);
    Q_EMIT sendGpsMessage(message);
    if (startsWithBytes(message, 0x55, 0x55))
        QCoreApplication::processEvents();
    if (!text.isEmpty())
        Q_EMIT echo(text);
    // Give the receiver time to digest the command before the next one. During receiver set-up
    // (busy) the pause runs the event loop as the set-up's own waits do, so the 1PPS poll, the
    // timers and decoding go on instead of the window freezing for a tenth of a second per
    // command; elsewhere (a tick's poll, a decoder's reply) it stays a plain sleep, which
    // re-enters nothing.
    if (m_pauseMs > 0) {
        if (m_state.receiverBusy)
            pause(m_pauseMs);
        else
            QThread::msleep(static_cast<unsigned long>(m_pauseMs));
    }
}

QString ReceiverCommandChannel::timeoutText(AnswerFamily family, const QByteArray &command)
{
    QString prefix;
    switch (family) {
    case AnswerFamily::Garmin:
        prefix = QStringLiteral("Timeout: no response to Garmin Cmd ");
        break;
    case AnswerFamily::Loran:
        prefix = QStringLiteral("Timeout: no response to Motorola Loran Cmd ");
        break;
    case AnswerFamily::Ublox: {
        // UBX commands are binary: shown byte by byte.
        QString bytes;
        for (char c : command)
            bytes += QString::asprintf("<%2.2X>", uint(uint8_t(c)));
        return QStringLiteral("Timeout: no response to u-blox Cmd ") + bytes;
    }
    default:
        prefix = QStringLiteral("Timeout: no response to Motorola Cmd ");
        break;
    }
    return prefix + QString::fromLatin1(command);
}

bool ReceiverCommandChannel::sendAndAwait(const QByteArray &command, AnswerFamily family,
                                          const QList<QByteArray> &heads, int timeoutMs)
{
    if (m_state.closing)
        return false;
    const QList<QByteArray> keptHeads = m_state.awaitedAnswerHeads;
    m_state.awaitedAnswerHeads = heads;
    m_state.setAnswered(family, false);
    sendGpsRxCommand(command);
    const bool ok = waitUntil([this, family] { return m_state.answered(family); }, timeoutMs);
    m_state.awaitedAnswerHeads = keptHeads;
    if (!ok && !m_state.closing)
        qDebug().noquote() << timeoutText(family, command);
    return ok;
}

bool ReceiverCommandChannel::waitUntil(const std::function<bool()> &done, int ms)
{
    if (done())
        return true;
    if (m_state.closing || ms <= 0)
        return false;
    const bool busy = m_state.receiverBusy;
    m_state.receiverBusy = false;   // the dispatcher decodes while we wait
    QElapsedTimer elapsed;
    elapsed.start();
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(PollMs);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (m_state.closing || done() || elapsed.elapsed() >= ms)
            loop.quit();
    });
    poll.start();
    loop.exec();
    m_state.receiverBusy = busy;
    return done();
}
