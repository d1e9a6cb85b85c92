// The NMEA modes of chronode-decode ("motorola-nmea", "generic-nmea"): every framed sentence
// goes to the NMEA decoder; each printed object carries the sentence and what it changed.

#include "DecodeModes.h"
#include "JsonLineWriter.h"
#include "RecordedEngineInputs.h"

#include "core/ReceiverState.h"
#include "receiver/nmea/NmeaDecoder.h"

namespace {

// What a sentence may change that the printed line reports.
struct StateSnapshot
{
    explicit StateSnapshot(const ReceiverState &s)
        : utc(s.receiverUtcDateTime)
        , visibleCount(s.visibleCount.value)
        , antennaState(s.antennaState)
    {
    }
    ReceiverTime utc;
    int visibleCount;
    int antennaState;
};

class NmeaSession : public DecodeSession
{
public:
    explicit NmeaSession(ReceiverState &state)
        : m_state(state)
        , m_nmea(decodeContext(state, &m_engine))
    {
    }

    void decode(const QByteArray &sentence, JsonLineWriter &out) override
    {
        const StateSnapshot before(m_state);
        m_engine.clearChanges();
        const bool decoded = m_nmea.decodeNmeaSentence(sentence);
        const bool tableChanged = satellitesChanged();
        if (!decoded)
            return;

        const bool gga = sentence.size() > 6 && QByteArrayView(sentence).sliced(3, 3) == "GGA";
        const bool satsChanged = tableChanged
            || m_state.visibleCount.value != before.visibleCount;
        out.beginObject();
        if (!m_nmea.displayText().isEmpty())
            out.key("text").string(m_nmea.displayText());
        if (!(m_state.receiverUtcDateTime == before.utc))
            DecodeJson::utc(out, m_state);
        if (m_engine.positionChanged)
            DecodeJson::position(out, m_engine.lat, m_engine.lon, m_engine.altGps, m_engine.altMsl);
        if (satsChanged) {
            out.key("visible").integer(m_state.visibleCount.value);
            DecodeJson::satellites(out, m_state);
        }
        if (m_state.antennaState != before.antennaState)
            out.key("antenna").integer(m_state.antennaState);
        if (gga && !m_nmea.dgpsText().isEmpty())
            out.key("dgps").string(m_nmea.dgpsText());
        if (m_engine.dopsChanged) {
            out.key("dops");
            out.beginObject();
            out.key("h").number(m_engine.hdop);
            out.key("p").number(m_engine.pdop);
            out.key("v").number(m_engine.vdop);
            out.endObject();
            out.key("fix").integer(m_engine.fixType);
        }
        if (gga)
            out.key("logLine").string(m_nmea.commonLogLine());
        out.key("sentence").latin1(sentence);
        if (m_engine.dopsChanged)
            out.key("status").string(m_nmea.fixStatusText());
        if (gga)
            out.key("used").integer(m_engine.used);
        if (!m_nmea.lastWarning().isEmpty())
            out.key("warning").string(m_nmea.lastWarning());
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

    ReceiverState &m_state;
    decltype(ReceiverState::satellites) m_satellitesBefore = m_state.satellites;
    RecordedEngineInputs m_engine;
    NmeaDecoder m_nmea;
};

} // namespace

std::unique_ptr<DecodeSession> makeNmeaDecodeSession(ReceiverState &state)
{
    return std::make_unique<NmeaSession>(state);
}
