// The NMEA modes of chronode-decode ("motorola-nmea", "generic-nmea"): every framed sentence
// goes to the NMEA decoder; each printed object carries the sentence and what it changed.

#include "DecodeModes.h"
#include "RecordedEngineInputs.h"

#include "core/ReceiverState.h"
#include "receiver/nmea/NmeaDecoder.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

class NmeaSession : public DecodeSession
{
public:
    explicit NmeaSession(ReceiverState &state)
        : m_state(state)
        , m_nmea(decodeContext(state, &m_engine))
    {
    }

    QJsonObject decode(const QByteArray &sentence) override
    {
        const ReceiverState before = m_state;
        m_engine.clearChanges();

        QJsonObject o;
        if (!m_nmea.decodeNmeaSentence(sentence))
            return o;
        DecodeJson::insertSentence(o, sentence, m_nmea);
        if (!(m_state.receiverUtcDateTime == before.receiverUtcDateTime))
            o.insert(QStringLiteral("utc"), DecodeJson::utc(m_state));
        if (m_state.satellites != before.satellites
            || m_state.visibleCount.value != before.visibleCount.value) {
            o.insert(QStringLiteral("visible"), m_state.visibleCount.value);
            o.insert(QStringLiteral("sats"), DecodeJson::satellites(m_state));
        }
        if (m_state.antennaState != before.antennaState)
            o.insert(QStringLiteral("antenna"), m_state.antennaState);
        if (m_engine.positionChanged)
            DecodeJson::insertPosition(o, m_engine.lat, m_engine.lon, m_engine.altGps, m_engine.altMsl);
        if (sentence.size() > 6 && sentence.mid(3, 3) == "GGA") {
            o.insert(QStringLiteral("used"), m_engine.used);
            o.insert(QStringLiteral("logLine"), m_nmea.commonLogLine());
            if (!m_nmea.dgpsText().isEmpty())
                o.insert(QStringLiteral("dgps"), m_nmea.dgpsText());
        }
        if (m_engine.dopsChanged) {
            o.insert(QStringLiteral("status"), m_nmea.fixStatusText());
            o.insert(QStringLiteral("fix"), m_engine.fixType);
            o.insert(QStringLiteral("dops"), QJsonObject { { QStringLiteral("p"), m_engine.pdop },
                                                           { QStringLiteral("h"), m_engine.hdop },
                                                           { QStringLiteral("v"), m_engine.vdop } });
        }
        return o;
    }

private:
    ReceiverState &m_state;
    RecordedEngineInputs m_engine;
    NmeaDecoder m_nmea;
};

} // namespace

std::unique_ptr<DecodeSession> makeNmeaDecodeSession(ReceiverState &state)
{
    return std::make_unique<NmeaSession>(state);
}
