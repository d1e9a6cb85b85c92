#include "sim/SimulatedLine.h"

namespace {

QByteArray garbageBytes(qsizetype n, uint64_t seed, uint64_t salt)
{
    QByteArray g(n, '\0');
    for (qsizetype i = 0; i < n; ++i) {
        uint8_t b = uint8_t(SimulatedSky::hash(seed, 600, salt, uint64_t(i)));
        // Nothing that could start a message of any family.
        if (b == '@' || b == '$' || b == 0xB5)
            b ^= 0x01;
        g[i] = char(b);
    }
    return g;
}

} // namespace

SimulatedLine::SimulatedLine(const SimulatedReceiverConfig &config)
    : m_seed(config.seed)
    , m_linkRate(config.dataRate)
    , m_dataRate(config.dataRate)
    , m_mismatch(config.rateMismatch)
{
}

QByteArray SimulatedLine::onTheLine(const QByteArray &bytes, uint64_t salt) const
{
    if (rateMatches())
        return bytes;
    if (m_mismatch == RateMismatch::Silent || bytes.isEmpty())
        return {};
    return garbageBytes(bytes.size(), m_seed, salt);
}

QByteArray SimulatedLine::mismatchedSecond(qint64 utcSecond) const
{
    return m_mismatch == RateMismatch::Garbage ? garbageBytes(240, m_seed, uint64_t(utcSecond)) : QByteArray();
}

void SimulatedLine::answer(const QByteArray &frame, QByteArray &out)
{
    if (m_dropAnswers > 0) {
        --m_dropAnswers;
        ++m_answersDropped;
        return;
    }
    ++m_answersSent;
    out += onTheLine(frame, uint64_t(m_answersSent));
}
