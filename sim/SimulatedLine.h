#pragma once

#include "sim/SimulatedSky.h"

#include <QByteArray>
#include <QSet>
#include <cstdint>

// The serial line between a simulated receiver and the link: the rate each side sits at, what
// the link hears while they differ, and the receiver's answers on the way out (dropped on
// request, counted, never sent for commands it ignores). Every personality sends through one.
class SimulatedLine
{
public:
    explicit SimulatedLine(const SimulatedReceiverConfig &config);

    // Rate the link has opened the port at (the receiver hears it only at its own rate).
    void setLinkRate(int rate) { m_linkRate = rate; }
    int linkRate() const { return m_linkRate; }
    int dataRate() const { return m_dataRate; }
    void setDataRate(int rate) { m_dataRate = rate; }
    bool rateMatches() const { return m_linkRate == m_dataRate; }
    void setRateMismatch(RateMismatch m) { m_mismatch = m; }

    // The bytes as they arrive on the link's side; `salt` varies the noise of a mismatch.
    QByteArray onTheLine(const QByteArray &bytes, uint64_t salt) const;
    // What the link hears of one second of output while the rates differ: the receiver still
    // talks, nothing of it frames.
    QByteArray mismatchedSecond(qint64 utcSecond) const;

    // The next `count` answers are not sent (continuous output is unaffected).
    void dropNextAnswers(int count) { m_dropAnswers = count; }
    // Commands with these identifiers are never answered.
    void setIgnoredCommands(const QSet<QByteArray> &ids) { m_ignored = ids; }
    bool ignores(const QByteArray &id) const { return m_ignored.contains(id); }
    // Sends one answer onto `out`, unless it is to be dropped.
    void answer(const QByteArray &frame, QByteArray &out);
    int answersSent() const { return m_answersSent; }
    int answersDropped() const { return m_answersDropped; }

private:
    uint64_t m_seed;
    int m_linkRate;
    int m_dataRate;
    RateMismatch m_mismatch;
    QSet<QByteArray> m_ignored;
    int m_dropAnswers = 0;
    int m_answersSent = 0;
    int m_answersDropped = 0;
};
