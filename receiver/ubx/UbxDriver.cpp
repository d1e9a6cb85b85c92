#include "receiver/ubx/UbxDriver.h"

#include "core/ReceiverMode.h"
#include "core/ReceiverState.h"
#include "receiver/ProtocolTable.h"
#include "receiver/ubx/UbxConfiguration.h"
#include "receiver/nmea/NmeaDriver.h"

DecodeResult UbxDriver::decode(const QByteArray &message)
{
    const QString prefix = QStringLiteral("->  ");
    DecodeResult r = NmeaDriver::decodeSentence(m_nmea, message, prefix);
    r.toLog = false;
    if (r.recognised)
        return r;
    if (message.size() > 4 && quint8(message[2]) == Ubx::Rxm && quint8(message[3]) == 0x10)
        m_rawSinceTick = true;
    const QString text = m_ubx.decodeUbxFrame(message);
    r.recognised = !text.isEmpty();
    r.lines << (r.recognised ? prefix + text : unrecognisedLine(message));
    r.changes = m_ubx.lastChanges();
    return r;
}

void UbxDriver::tick(int second, qint64 nowMs)
{
    if (second == 11 && m_ctx.state->receiverMode == ReceiverMode::UbloxUbx && m_ctx.commands)
        m_ctx.commands->sendGpsRxCommand(QByteArray("\xB5\x62\x0B\x02\x00\x00", 6));
    requestRawOutput(nowMs);
}

void UbxDriver::requestRawOutput(qint64 nowMs)
{
    if (m_rawSinceTick)
        m_lastRawMs = nowMs;
    m_rawSinceTick = false;
    if (m_ctx.state->receiverMode != ReceiverMode::UbloxUbx || !m_ctx.commands || !m_ctx.gpsLog)
        return;
    const bool want = m_ctx.gpsLog->wantsRawEpochs();
    const bool flowing = m_lastRawMs >= 0 && nowMs - m_lastRawMs < 3000;
    if (want == flowing || (!want && !m_rawSwitchedOn))
        return;
    if (m_lastRequestMs >= 0 && nowMs - m_lastRequestMs < 30000 && nowMs >= m_lastRequestMs)
        return;
    m_lastRequestMs = nowMs;
    m_rawSwitchedOn = want;
    m_ctx.commands->sendGpsRxCommand(Ubx::cfgMsg(Ubx::Rxm, 0x10, want ? 1 : 0));
}

std::unique_ptr<ProtocolDriver> makeUbloxDriver(const DecoderContext &context)
{
    return std::make_unique<UbxDriver>(context);
}
