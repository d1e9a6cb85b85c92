#pragma once

#include "receiver/motorola/MotorolaEncoder.h"
#include "sim/SimulatedLine.h"
#include "sim/SimulatedSky.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <cstdint>
#include <memory>

class SimulatedUblox;

// A headless simulated timing receiver: the sky of its seed, the line to the link and the
// personality of its model on top. The Motorola Oncore personality is this class: it speaks the
// binary protocol (answers polls and identification, echoes the settings it accepts, ignores
// messages of another channel family) and its NMEA output. A u-blox model hands everything to
// its SimulatedUblox instead. The line can be told to misbehave: sit at another data rate, drop
// answers. Time is always handed in by the caller, so the same calls give the same bytes.
class SimulatedReceiver
{
public:
    explicit SimulatedReceiver(const SimulatedReceiverConfig &config = SimulatedReceiverConfig());
    ~SimulatedReceiver();

    // The configuration it was built with; the line's rates and the sky's hold and mask change
    // apart from it.
    const SimulatedReceiverConfig &config() const { return m_sky.config(); }

    // --- the line ------------------------------------------------------------------------
    // Rate the link has opened the port at (the receiver hears it only at its own rate).
    void setLinkRate(int rate) { m_line.setLinkRate(rate); }
    int linkRate() const { return m_line.linkRate(); }
    int dataRate() const { return m_line.dataRate(); }
    void setDataRate(int rate) { m_line.setDataRate(rate); }
    bool rateMatches() const { return m_line.rateMatches(); }
    void setRateMismatch(RateMismatch m) { m_line.setRateMismatch(m); }

    // Bytes the link wrote at nowMs (ms since the epoch, UTC). Returns the receiver's answers,
    // as they arrive on the link's side of the line. Polled messages describe the coming 1PPS
    // (the epoch of the next whole second), as the continuous output does.
    QByteArray receive(QByteArrayView bytes, qint64 nowMs);
    // The continuous output that describes the 1PPS at `utcSecond`, as the link sees it. The
    // receiver sends it in the second before that pulse, just after the previous one.
    QByteArray secondOutput(qint64 utcSecond);
    // What a continuous-mode recording starts with: the identification and the UTC offset, as
    // the receiver answers them when asked.
    QByteArray streamHeader() const;
    // Messages the receiver sends each second without being asked, e.g. {"Ha", "Hn", "Bb"}.
    QStringList continuousMessages() const;
    void setContinuousRate(const QByteArray &id, int rate);

    // NMEA output ("@@Ci" 01 switches to it, "$PMOTG,FOR,0" back to binary).
    bool nmeaMode() const { return m_nmeaMode; }
    // The sentence of one type ("GGA", "RMC", "GSA", "GSV", "GLL", "VTG", "ZDA") for an epoch,
    // with checksum and CR LF; GSV gives all its sentences.
    QByteArray nmeaSentence(const SimulatedEpoch &e, const QByteArray &type) const
    {
        return SimulatedSky::nmeaSentence(e, type);
    }

    // --- misbehaviour --------------------------------------------------------------------
    // The next `count` answers are not sent (continuous output is unaffected).
    void dropNextAnswers(int count) { m_line.dropNextAnswers(count); }
    // Commands with these identifiers ("Cj", "Ha", ...) are never answered.
    void setIgnoredCommands(const QSet<QByteArray> &ids) { m_line.setIgnoredCommands(ids); }

    // --- truth ---------------------------------------------------------------------------
    SimulatedEpoch epochAt(qint64 utcSecond) const { return m_sky.epochAt(utcSecond); }
    // The identification text it answers "@@Cj" with (wire bytes).
    QByteArray identificationFrame() const;
    // Identifiers of the commands it understood, in arrival order (wrong family included).
    const QList<QByteArray> &receivedCommands() const { return m_received; }
    int receivedCount(const QByteArray &id) const { return m_received.count(id); }
    int answersSent() const { return m_line.answersSent(); }
    int answersDropped() const { return m_line.answersDropped(); }
    bool positionHold() const { return m_sky.positionHold(); }
    // The parameter bytes of the last command with this identifier ("Am", "As", ...).
    QByteArray lastParameters(const QByteArray &id) const { return m_lastParams.value(id); }
    // Elevation mask, ignored satellites and held position as the commands left them.
    const SimulatedSky &sky() const { return m_sky; }
    QByteArray idTag() const { return m_idTag; }
    void setPositionHold(bool on) { m_sky.setPositionHold(on); }
    // The u-blox personality when the model is a u-blox one (it then speaks UBX instead).
    SimulatedUblox *ublox() const { return m_ublox.get(); }

    // --- message builders (the wire bytes for one epoch) -------------------------------
    QByteArray positionFrame(const SimulatedEpoch &e, char family) const;   // 'H', 'E', 'B'
    QByteArray shortPositionFrame(const SimulatedEpoch &e) const;            // "@@Hb"
    QByteArray visibleFrame(const SimulatedEpoch &e) const;                  // "@@Bb"
    QByteArray traimFrame(const SimulatedEpoch &e) const;                    // family's T-RAIM
    QByteArray dopFrame(const SimulatedEpoch &e) const;                      // "@@Ek"/"@@Bk"

    // AMU value whose C/No, by the receiver's conversion trunc(20 log10(amu) + 4.6 + 0.5),
    // is `cNo` (clamped to what one byte can carry).
    static int amuForCNo(int cNo) { return SimulatedSky::amuForCNo(cNo); }

private:
    struct Command
    {
        QByteArray id;       // two letters
        QByteArray params;   // bytes between the identifier and the checksum
    };
    void handleCommand(const Command &c, qint64 nowMs, QByteArray &out);
    void handleNmea(const QByteArray &line, qint64 nowMs, QByteArray &out);
    void echo(const Command &c, QByteArray &out);
    bool familyAccepts(const QByteArray &id) const;
    uint8_t positionStatus(const SimulatedEpoch &e, char family) const;

    SimulatedSky m_sky;
    SimulatedLine m_line;
    QByteArray m_input;
    QHash<QByteArray, int> m_rates;   // continuous messages and their interval (s)
    QList<QByteArray> m_received;
    QHash<QByteArray, QByteArray> m_lastParams;
    QByteArray m_idTag = QByteArray(6, ' ');
    MotorolaEncoder::TraimMessage m_traimSettings;
    bool m_nmeaMode = false;
    QHash<QByteArray, int> m_nmeaRates;   // sentence type -> interval (s)
    std::unique_ptr<SimulatedUblox> m_ublox;
};
