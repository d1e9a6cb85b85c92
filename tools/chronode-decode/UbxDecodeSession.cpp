// The u-blox modes of chronode-decode ("ubx" and "ublox-nmea"). Both frame UBX and NMEA; as in
// the program's dispatcher, a sentence the NMEA decoder accepts is NMEA, everything else goes
// to the UBX decoder. Each printed object carries the message's text and what it changed.

#include "DecodeModes.h"
#include "JsonLineWriter.h"
#include "RecordedEngineInputs.h"

#include "core/ReceiverState.h"
#include "receiver/nmea/NmeaDecoder.h"
#include "receiver/ubx/UbxDecoder.h"

namespace {

// What a message may change that the printed line reports.
struct StateSnapshot
{
    explicit StateSnapshot(const ReceiverState &s)
        : utc(s.receiverUtcDateTime)
        , firmware(s.firmwareVersionText)
        , sawtooth(s.ppsQuantizationError)
        , visibleCount(s.visibleCount.value)
        , trackedCount(s.trackedCount.value)
        , antennaState(s.antennaState)
        , navigationState(s.navigationState)
        , leapSeconds(s.leapSeconds)
        , leapSecondPending(s.leapSecondPending)
        , sawtoothValid(s.ppsQuantizationErrorValid)
    {
    }
    ReceiverTime utc;
    QString firmware;
    double sawtooth;
    int visibleCount, trackedCount, antennaState, navigationState, leapSeconds, leapSecondPending;
    bool sawtoothValid;
};

class UbxSession : public DecodeSession
{
public:
    explicit UbxSession(ReceiverState &state)
        : m_state(state)
        , m_ubx(decodeContext(state, &m_engine))
        , m_nmea(decodeContext(state, &m_engine))
    {
    }

    void decode(const QByteArray &message, JsonLineWriter &out) override
    {
        const StateSnapshot before(m_state);
        m_engine.clearChanges();

        const bool nmea = message.startsWith('$') && m_nmea.decodeNmeaSentence(message);
        QString ubxText;
        if (!nmea)
            ubxText = m_ubx.decodeUbxFrame(message);
        const bool tableChanged = satellitesChanged();
        if (!nmea && ubxText.isEmpty())
            return;
        const QString &text = nmea ? m_nmea.displayText() : ubxText;
        const QString &warning = nmea ? m_nmea.lastWarning() : m_ubx.lastWarning();
        const bool satsChanged = tableChanged
            || m_state.visibleCount.value != before.visibleCount || m_state.trackedCount.value != before.trackedCount;

        out.beginObject();
        if (!text.isEmpty())
            out.key("text").string(text);
        if (!(m_state.receiverUtcDateTime == before.utc))
            DecodeJson::utc(out, m_state);
        if (m_engine.positionChanged)
            DecodeJson::position(out, m_engine.lat, m_engine.lon, m_engine.altGps, m_engine.altMsl);
        if (satsChanged) {
            out.key("visible").integer(m_state.visibleCount.value);
            out.key("tracked").integer(m_state.trackedCount.value);
            DecodeJson::satellites(out, m_state);
        }
        if (m_state.ppsQuantizationErrorValid
            && (!before.sawtoothValid || m_state.ppsQuantizationError != before.sawtooth || isTimTp(message)))
            out.key("sawtoothNs").number(m_state.ppsQuantizationError);
        if (m_state.firmwareVersionText != before.firmware)
            out.key("firmware").string(m_state.firmwareVersionText);
        if (m_state.antennaState != before.antennaState)
            out.key("antenna").integer(m_state.antennaState);
        if (m_engine.dopsChanged) {
            out.key("dops");
            out.beginObject();
            out.key("g").number(m_engine.gdop);
            out.key("h").number(m_engine.hdop);
            out.key("p").number(m_engine.pdop);
            out.key("t").number(m_engine.tdop);
            out.key("v").number(m_engine.vdop);
            out.endObject();
        }
        if (m_engine.fixChanged)
            out.key("fix").integer(m_engine.fixType);
        if (m_state.leapSecondPending != before.leapSecondPending)
            out.key("leapSecondPending").integer(m_state.leapSecondPending);
        if (m_state.leapSeconds != before.leapSeconds)
            out.key("leapSeconds").integer(m_state.leapSeconds);
        if (m_state.navigationState != before.navigationState)
            out.key("navigation").integer(m_state.navigationState);
        if (nmea) {
            out.key("sentence").latin1(message);
        } else {
            static constexpr char hex[] = "0123456789ABCDEF";
            const auto cls = quint8(message[2]), id = quint8(message[3]);
            const char name[5] = { hex[cls >> 4], hex[cls & 0xF], ' ', hex[id >> 4], hex[id & 0xF] };
            out.key("ubx").latin1(QByteArrayView(name, 5));
        }
        if (satsChanged)
            out.key("used").integer(m_state.usedCount.value);
        if (!warning.isEmpty())
            out.key("warning").string(warning);
        out.endObject();
        out.endLine();
    }

private:
    // Whether the message changed the satellite table; the copy of the table before it is
    // kept up to date (copied only when it changed).
    bool satellitesChanged()
    {
        if (sameSatellites(m_state, m_satellitesBefore))
            return false;
        m_satellitesBefore = m_state.satellites;
        return true;
    }

    static bool isTimTp(const QByteArray &m) { return m.size() > 4 && quint8(m[2]) == 0x0D && quint8(m[3]) == 0x01; }

    ReceiverState &m_state;
    decltype(ReceiverState::satellites) m_satellitesBefore = m_state.satellites;
    RecordedEngineInputs m_engine;
    UbxDecoder m_ubx;
    NmeaDecoder m_nmea;
};

} // namespace

std::unique_ptr<DecodeSession> makeUbxDecodeSession(ReceiverState &state)
{
    return std::make_unique<UbxSession>(state);
}
