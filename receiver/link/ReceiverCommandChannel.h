#pragma once

#include "core/ReceiverState.h"
#include "receiver/DecoderContext.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// The main-window side of the send path: completes a command's checksum, hands it to the link
// (sendGpsMessage, connected to GpsSerialPortThread::OnSendGpsMessage), reports the echo text
// for the raw-data window and GPS log, and pauses so the receiver can digest it. Also the
// waiting primitives receiver detection is built on.
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

    // Clears the family's answer flag, sends, then waits in slices until a decoder sets the
    // flag, the program is closing or `timeoutMs` has passed. False on timeout or closing.
    bool sendAndAwaitAnswer(const QByteArray &command, AnswerFamily family, int timeoutMs = 3000);
    // One wait slice: lowers receiverBusy, runs the event loop for the slice length, restores
    // the flag. False at once while closing.
    bool waitSlice();

    void setPauseMs(int ms) { m_pauseMs = ms; }
    int pauseMs() const { return m_pauseMs; }
    void setSliceMs(int ms) { m_sliceMs = ms; }
    int sliceMs() const { return m_sliceMs; }

    // The debug text written when an awaited answer does not come.
    static QString timeoutText(AnswerFamily family, const QByteArray &command);

Q_SIGNALS:
    void sendGpsMessage(QByteArray message);
    // "<- ..." for the raw-data window and the GPS log.
    void echo(QString text);

private:
    ReceiverState &m_state;
    int m_pauseMs = 100;
    int m_sliceMs = 2500;
};
