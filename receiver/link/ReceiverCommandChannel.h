#pragma once

#include "core/ReceiverState.h"
#include "receiver/DecoderContext.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

// The station's send path: completes a command's checksum, hands it to the link
// (sendGpsMessage, connected to GpsSerialPortThread::OnSendGpsMessage), reports the echo text
// for the raw-data window and GPS log, and pauses so the receiver can digest it. Also the one
// wait of the program: every "send and await the answer" (detection, receiver settings, the
// u-blox set-up) and every pause of a set-up runs through waitUntil().
class ReceiverCommandChannel : public QObject, public ReceiverCommandSink
{
    Q_OBJECT
public:
    explicit ReceiverCommandChannel(ReceiverState &state, QObject *parent = nullptr);

    // Completes, emits sendGpsMessage and echo, then pauses.
    void sendGpsRxCommand(const QByteArray &command) override;

    // The bytes that go to the link for a command, and (when `echo` is given) the echo text:
    //  "$..."      NMEA checksum completed (a stale "*hh" replaced), echoed as text;
    //  B5 62 ...   UBX CK_A CK_B appended, echoed as "<%2.2X>" per byte;
    //  "@@..."     Motorola checksum appended (over the bytes before a trailing "*" when the
    //              second-last byte is "*"), echoed as four characters then "<%2.2X>" bytes
    //              ("@@Tk": the first 59 bytes as characters);
    //  55 55 ...   unchanged, echoed as "<%2.2X>" bytes;
    //  other       unchanged, no echo.
    static QByteArray completeCommand(const QByteArray &command, QString *echo);

    // Sets the awaited heads, clears the family's answer flag, sends, then waits until a
    // decoder sets the flag, the program is closing or `timeoutMs` has passed. The heads that
    // were awaited before are restored afterwards. False on timeout or closing; a timeout is
    // written to the debug log.
    bool sendAndAwait(const QByteArray &command, AnswerFamily family, const QList<QByteArray> &heads,
                      int timeoutMs) override;
    bool sendAndAwaitAnswer(const QByteArray &command, AnswerFamily family, int timeoutMs = 3000)
    {
        return sendAndAwait(command, family, {}, timeoutMs);
    }
    // Runs the event loop with receiverBusy lowered (so the dispatcher decodes) until `done`,
    // shutdown or `ms`, checking every PollMs. Returns done().
    bool waitUntil(const std::function<bool()> &done, int ms);
    // Lets `ms` pass while incoming messages go on being decoded.
    void pause(int ms) { waitUntil([] { return false; }, ms); }

    static constexpr int PollMs = 10;

    void setPauseMs(int ms) { m_pauseMs = ms; }
    int pauseMs() const { return m_pauseMs; }

    // The debug text written when an awaited answer does not come.
    static QString timeoutText(AnswerFamily family, const QByteArray &command);

Q_SIGNALS:
    void sendGpsMessage(QByteArray message);
    // "<- ..." for the raw-data window and the GPS log.
    void echo(QString text);

private:
    ReceiverState &m_state;
    int m_pauseMs = 100;
};
