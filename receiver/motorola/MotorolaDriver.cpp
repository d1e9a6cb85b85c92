#include "receiver/motorola/MotorolaDriver.h"

#include "core/MotorolaModels.h"
#include "core/ReceiverMode.h"
#include "core/ReceiverState.h"
#include "receiver/ProtocolTable.h"

#include <algorithm>

MotorolaDriver::MotorolaDriver(const DecoderContext &context)
    : m_decoder(context)
{
}

DecodeResult MotorolaDriver::decode(const QByteArray &message)
{
    DecodeResult r;
    r.recognised = true;
    r.lines << QStringLiteral("-> ") + m_decoder.decodeMotorolaFrame(message);
    r.changes = m_decoder.lastChanges();
    return r;
}

bool MotorolaDriver::usesGjPoll(int model)
{
    switch (model) {
    case ReceiverModelCode::M12:
    case ReceiverModelCode::M12Plus:
    case ReceiverModelCode::M12M:
    case ReceiverModelCode::Signav:
    case ReceiverModelCode::TxOncore:
    case ReceiverModelCode::Ssr6Tf:
    case ReceiverModelCode::Ssr6Tr:
    case ReceiverModelCode::SsrM8F:
    case ReceiverModelCode::SsrM8T:
        return true;
    default:
        return false;
    }
}

void MotorolaDriver::tick(int second, qint64 nowMs)
{
    const DecoderContext &ctx = m_decoder.context();
    ReceiverState &s = *ctx.state;
    if (s.receiverMode != ReceiverMode::MotorolaBinary || !ctx.commands)
        return;
    if (s.haCountdown > 0 && s.lastBbTime > 0 && nowMs - s.lastBbTime >= BbRepollIntervalMs
        && nowMs - s.lastBbPollMs >= BbRepollIntervalMs) {
        s.lastBbPollMs = nowMs;
        ctx.commands->sendGpsRxCommand(QByteArrayLiteral("@@Bb\x01"));
    }
    if (second == 20)
        ctx.commands->sendGpsRxCommand(usesGjPoll(s.receiverModel) ? QByteArrayLiteral("@@Gj") : QByteArrayLiteral("@@Bj"));
    else if (second == 21)
        ctx.commands->sendGpsRxCommand(QByteArrayLiteral("@@Bo\x00"));   // one answer, no continuous output
}

std::unique_ptr<ProtocolDriver> makeMotorolaDriver(const DecoderContext &context)
{
    return std::make_unique<MotorolaDriver>(context);
}

// --- LORAN -----------------------------------------------------------------------------------

namespace {

bool isAsciiLetterOrDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

DecodeResult LoranDriver::decode(const QByteArray &message)
{
    DecodeResult r;
    r.toLog = false;
    r.recognised = !message.isEmpty() && std::all_of(message.begin(), message.end(), isAsciiLetterOrDigit);
    if (!r.recognised) {
        r.lines << unrecognisedLine(message);
        return r;
    }
    m_ctx.state->loranSeen = true;
    m_ctx.state->noteAnswer(AnswerFamily::Loran, message);
    r.lines << QStringLiteral("->  ") + QString::fromLatin1(message);
    return r;
}

std::unique_ptr<ProtocolDriver> makeLoranDriver(const DecoderContext &context)
{
    return std::make_unique<LoranDriver>(context);
}
