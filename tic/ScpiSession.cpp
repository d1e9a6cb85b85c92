#include "tic/ScpiSession.h"

#include <algorithm>

namespace {

const QByteArray kRead = QByteArrayLiteral("READ?");
const QByteArray kIdentity = QByteArrayLiteral("*IDN?");

bool isQuery(const QByteArray &command)
{
    return command.contains('?');
}

} // namespace

QString ScpiSession::tag(const char *text) const
{
    return QStringLiteral("Port %1, TicSerialPortThread::InitializeTcpIpTIC() %2\r\n")
        .arg(m_port)
        .arg(QLatin1String(text));
}

ScpiSession::Model ScpiSession::identify(QByteArrayView text)
{
    if (text.contains(QByteArrayView("53220A")) || text.contains(QByteArrayView("53230A")))
        return Model::Keysight5322x;
    if (text.contains(QByteArrayView("BNC1105")))
        return Model::Bnc1105;
    return Model::Unknown;
}

QList<QByteArray> ScpiSession::setupCommands(Model model)
{
    switch (model) {
    case Model::Keysight5322x:
        return { "CONFigure:TINTerval (@1),(@2)", "INP1:PROB 1", "INP2:PROB 1", "INP1:IMP 50", "INP2:IMP 50",
                 "INP1:COUP DC", "INP2:COUP DC", "INP1:FILT OFF", "INP2:FILT OFF", "INP1:SLOP POS",
                 "INP2:SLOP POS", "INP1:NREJ OFF", "INP2:NREJ OFF", "INP1:LEV 1.0", "INP2:LEV 1.0",
                 "INP1:RANG 5.0", "INP2:RANG 5.0", "SYST:COMM:LAN:CONT?", "DISP ON" };
    case Model::Bnc1105:
        return { "CONF:TINT (@1),(@2)", "INP1:IMP 50", "INP2:IMP 50", "INP1:COUP DC", "INP2:COUP DC",
                 "INP1:ATT 1", "INP2:ATT 1", "INP1:FILT OFF", "INP2:FILT OFF", "EVEN1:SLOP POS",
                 "EVEN2:SLOP POS", "EVEN1:LEV:ABS:AUTO OFF", "EVEN1:LEV 1.0", "EVEN2:LEV 1.0" };
    case Model::Unknown:
        break;
    }
    return {};
}

bool ScpiSession::isNumber(QByteArrayView text)
{
    const QByteArray t = text.trimmed().toByteArray();
    if (t.isEmpty())
        return false;
    bool ok = false;
    t.toDouble(&ok);
    return ok;
}

void ScpiSession::reset()
{
    m_state = State::Idle;
    m_model = Model::Unknown;
    m_lines.clear();
    m_queue.clear();
    m_sent.clear();
    m_prompts = false;
    m_askedIdentity = false;
    m_askedForPrompt = false;
    m_deadline = -1;
    m_backoffMs = FirstBackoffMs;
}

void ScpiSession::connected(qint64 nowMs, Actions &a)
{
    const int backoff = m_backoffMs;
    reset();
    m_backoffMs = backoff;   // earned back only by a reading
    a.debug << QStringLiteral("connected...");
    a.debug << tag("Find the counter type.");
    m_state = State::AwaitGreeting;
    m_deadline = nowMs + GreetingMs;
}

void ScpiSession::disconnected(qint64 nowMs, Actions &a)
{
    if (m_state == State::Reconnecting)
        return;
    m_lines.clear();
    m_queue.clear();
    m_sent.clear();
    m_state = State::Reconnecting;
    m_deadline = nowMs + m_backoffMs;
    a.debug << QStringLiteral("Port %1, counter connection lost, reconnecting in %2 s")
                   .arg(m_port)
                   .arg(m_backoffMs / 1000);
    m_backoffMs = std::min(m_backoffMs * 2, MaxBackoffMs);
}

void ScpiSession::timerExpired(qint64 nowMs, Actions &a)
{
    if (m_deadline < 0 || nowMs < m_deadline)
        return;
    switch (m_state) {
    case State::AwaitGreeting:
        // No greeting naming a model: ask.
        m_state = State::AwaitIdentity;
        m_askedIdentity = true;
        send(kIdentity, nowMs, a);
        break;
    case State::AwaitIdentity:
        a.debug << tag("No response.");
        m_state = State::Silent;
        m_deadline = -1;
        break;
    case State::SettingUp:
    case State::Polling:
        if (m_prompts) {
            if (!m_sent.isEmpty())
                send(m_sent, nowMs, a);   // the answer or its prompt was lost
            else
                sendNext(nowMs, a);
        } else if (m_state == State::SettingUp && m_sent.isEmpty() && !m_askedIdentity && !m_askedForPrompt) {
            m_askedForPrompt = true;
            a.writes << QByteArrayLiteral("\r\n");
            m_deadline = nowMs + SilenceMs;
        } else {
            sendNext(nowMs, a);   // no prompts: the next command (or the last query) goes now
        }
        break;
    case State::Reconnecting:
        m_state = State::Idle;
        m_deadline = -1;
        a.reconnect = true;
        break;
    case State::Idle:
    case State::Silent:
        m_deadline = -1;
        break;
    }
}

void ScpiSession::received(QByteArrayView bytes, qint64 nowMs, Actions &a)
{
    if (m_state == State::Idle || m_state == State::Reconnecting)
        return;
    QList<QByteArray> lines;
    m_lines.feed(bytes, lines);
    m_identifiedNow = false;
    if (m_state == State::SettingUp || m_state == State::Polling)
        m_deadline = nowMs + SilenceMs;
    for (const QByteArray &line : std::as_const(lines))
        handleLine(line.trimmed(), nowMs, a);
    // A prompt counts only at the end of what has arrived.
    const QByteArray rest = m_lines.pending();
    qsizetype end = rest.size();
    while (end > 0 && rest.at(end - 1) == ' ')
        --end;
    if (end > 0 && rest.at(end - 1) == '>') {
        m_lines.clear();
        handlePrompt(rest, nowMs, a);
    } else if (m_identifiedNow && !m_prompts) {
        // Identified with no prompt seen yet: a raw port that answered "*IDN?" gets its
        // commands at once; after a greeting the prompt is given a moment to follow, and then
        // asked for with an empty line.
        if (m_askedIdentity)
            sendWithoutPrompts(nowMs, a);
        else
            m_deadline = nowMs + PromptWaitMs;   // the greeting's prompt may be on its way
    }
}

bool ScpiSession::tryIdentify(QByteArrayView text, qint64 nowMs, Actions &a)
{
    const Model model = identify(text);
    if (model == Model::Unknown)
        return false;
    m_model = model;
    a.debug << (model == Model::Bnc1105 ? tag("Found BNC1105 TIC.") : tag("Found 53220A or 53230A TIC."));
    m_queue = setupCommands(model);
    m_state = State::SettingUp;
    m_identifiedNow = true;
    m_sent.clear();
    m_deadline = nowMs + SilenceMs;
    return true;
}

void ScpiSession::handleLine(const QByteArray &line, qint64 nowMs, Actions &a)
{
    if (line.isEmpty())
        return;
    switch (m_state) {
    case State::AwaitGreeting:
    case State::AwaitIdentity:
        if (!tryIdentify(line, nowMs, a))
            a.debug << QStringLiteral("Port %1 <- %2").arg(m_port).arg(QString::fromLatin1(line));
        return;
    case State::SettingUp:
    case State::Polling:
        if (line == m_sent)
            return;   // an echo of the command
        if (m_sent == kRead && isNumber(line)) {
            a.readings << line;
            m_backoffMs = FirstBackoffMs;
        } else {
            a.debug << QStringLiteral("Port %1 answer to %2: %3")
                           .arg(m_port)
                           .arg(QString::fromLatin1(m_sent), QString::fromLatin1(line));
        }
        if (!m_prompts && isQuery(m_sent)) {
            m_sent.clear();
            sendWithoutPrompts(nowMs, a);
        }
        return;
    case State::Idle:
    case State::Silent:
    case State::Reconnecting:
        a.debug << QStringLiteral("Port %1 <- %2").arg(m_port).arg(QString::fromLatin1(line));
        return;
    }
}

void ScpiSession::handlePrompt(const QByteArray &text, qint64 nowMs, Actions &a)
{
    m_prompts = true;
    switch (m_state) {
    case State::AwaitGreeting:
    case State::AwaitIdentity:
        if (tryIdentify(text, nowMs, a))
            sendNext(nowMs, a);
        return;
    case State::SettingUp:
    case State::Polling:
        sendNext(nowMs, a);
        return;
    case State::Idle:
    case State::Silent:
    case State::Reconnecting:
        return;
    }
}

void ScpiSession::send(const QByteArray &command, qint64 nowMs, Actions &a)
{
    m_sent = command;
    a.writes << command + QByteArrayLiteral("\r\n");
    m_deadline = nowMs + SilenceMs;
}

void ScpiSession::sendNext(qint64 nowMs, Actions &a)
{
    if (!m_prompts) {
        sendWithoutPrompts(nowMs, a);
        return;
    }
    if (!m_queue.isEmpty()) {
        send(m_queue.takeFirst(), nowMs, a);
        return;
    }
    m_state = State::Polling;
    send(kRead, nowMs, a);
}

void ScpiSession::sendWithoutPrompts(qint64 nowMs, Actions &a)
{
    while (!m_queue.isEmpty()) {
        const QByteArray command = m_queue.takeFirst();
        send(command, nowMs, a);
        if (isQuery(command))
            return;
    }
    m_state = State::Polling;
    send(kRead, nowMs, a);
}
