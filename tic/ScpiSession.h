#pragma once

#include "tic/TicLineAssembler.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QStringList>

// The conversation with a LAN counter over its SCPI socket, as a state machine without any
// waiting: the link feeds it the connection events, the received bytes and the expiry of
// its deadline, and carries out the actions it returns.
//
//   connected -> greeting (1 s) -> identified by the greeting, or "*IDN?" and its answer
//             -> set-up commands, one per prompt -> "READ?" per reading, for ever.
//
// With prompts ("53230A> " at the end of what arrived), each prompt lets the next command go.
// Without prompts (a raw SCPI port), commands are sent up to and including the next query and
// the answer line lets the next ones go. After 3 s without a byte the last command is sent
// again; after a closed connection or a socket error the link reconnects with a back-off from
// 5 s doubling to 60 s. A counter that names neither model stays connected and silent.
class ScpiSession
{
public:
    enum class Model { Unknown, Keysight5322x, Bnc1105 };
    enum class State { Idle, AwaitGreeting, AwaitIdentity, SettingUp, Polling, Silent, Reconnecting };

    static constexpr int GreetingMs = 1000;
    static constexpr int SilenceMs = 3000;
    static constexpr int PromptWaitMs = 250;
    static constexpr int FirstBackoffMs = 5000;
    static constexpr int MaxBackoffMs = 60000;

    struct Actions
    {
        QList<QByteArray> writes;     // bytes for the socket, in order
        QList<QByteArray> readings;   // answers to "READ?" that are numbers
        QStringList debug;            // for the debug log
        bool reconnect = false;       // open the socket again now
    };

    explicit ScpiSession(int portNumber = 0) : m_port(portNumber) {}
    void setPortNumber(int portNumber) { m_port = portNumber; }

    void connected(qint64 nowMs, Actions &a);
    void received(QByteArrayView bytes, qint64 nowMs, Actions &a);
    // The connection closed or failed: schedules the reconnection.
    void disconnected(qint64 nowMs, Actions &a);
    // Does whatever is due at nowMs (call when deadline() has passed).
    void timerExpired(qint64 nowMs, Actions &a);
    // When timerExpired() next has something to do; -1 for never.
    qint64 deadline() const { return m_deadline; }
    // Back to Idle, forgetting everything but the port number.
    void reset();

    State state() const { return m_state; }
    Model model() const { return m_model; }
    bool promptsSeen() const { return m_prompts; }
    int nextBackoffMs() const { return m_backoffMs; }
    int queuedCommands() const { return int(m_queue.size()); }

    // The first of "53220A", "53230A", "BNC1105" found in the text.
    static Model identify(QByteArrayView text);
    // The set-up commands of a model, without line ends.
    static QList<QByteArray> setupCommands(Model model);
    static bool isNumber(QByteArrayView text);

private:
    void handleLine(const QByteArray &line, qint64 nowMs, Actions &a);
    void handlePrompt(const QByteArray &text, qint64 nowMs, Actions &a);
    bool tryIdentify(QByteArrayView text, qint64 nowMs, Actions &a);
    void send(const QByteArray &command, qint64 nowMs, Actions &a);
    // Without prompts: sends up to and including the next query.
    void sendWithoutPrompts(qint64 nowMs, Actions &a);
    void sendNext(qint64 nowMs, Actions &a);
    QString tag(const char *text) const;

    int m_port = 0;
    State m_state = State::Idle;
    Model m_model = Model::Unknown;
    TicLineAssembler m_lines;
    QList<QByteArray> m_queue;
    QByteArray m_sent;             // the last command written, whose answer is awaited
    bool m_prompts = false;
    bool m_identifiedNow = false;
    bool m_askedIdentity = false;
    bool m_askedForPrompt = false;  // identified within the chunk being handled
    qint64 m_deadline = -1;
    int m_backoffMs = FirstBackoffMs;
};
