#include "receiver/ubx/UbxDriver.h"

#include "core/ReceiverMode.h"
#include "core/ReceiverState.h"
#include "receiver/ProtocolTable.h"
#include "receiver/nmea/NmeaDriver.h"

DecodeResult UbxDriver::decode(const QByteArray &message)
{
    const QString prefix = QStringLiteral("->  ");
    DecodeResult r = NmeaDriver::decodeSentence(m_nmea, message, prefix);
    r.toLog = false;
    if (r.recognised)
        return r;
    const QString text = m_ubx.decodeUbxFrame(message);
    r.recognised = !text.isEmpty();
    r.lines << (r.recognised ? prefix + text : unrecognisedLine(message));
    r.changes = m_ubx.lastChanges();
    return r;
}

void UbxDriver::tick(int second, qint64 nowMs)
{
    Q_UNUSED(nowMs);
    if (second == 11 && m_ctx.state->receiverMode == ReceiverMode::UbloxUbx && m_ctx.commands)
        m_ctx.commands->sendGpsRxCommand(QByteArray("\xB5\x62\x0B\x02\x00\x00", 6));
}

std::unique_ptr<ProtocolDriver> makeUbloxDriver(const DecoderContext &context)
{
    return std::make_unique<UbxDriver>(context);
}
