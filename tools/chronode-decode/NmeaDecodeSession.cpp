// The NMEA modes of chronode-decode ("motorola-nmea", "generic-nmea"): every framed sentence
// goes to the NMEA decoder; each printed object carries the sentence and what it changed.

#include "DecodeModes.h"

#include "app/ReceiverState.h"
#include "averaging/AveragingInput.h"
#include "receiver/NmeaDecoder.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

// Keeps what the decoder hands to the averaging engine, so it can be printed.
struct NmeaEngineInputs : AveragingInput
{
    bool positionChanged = false;
    bool dopsChanged = false;
    double lat = 0, lon = 0, altGps = 0, altMsl = 0;
    double pdop = -1, hdop = -1, vdop = -1;
    int fixType = -1;
    int used = -1;
    double speed = -1, heading = -1;

    void updatePosition(double la, double lo, double ag, double am) override
    {
        lat = la;
        lon = lo;
        altGps = ag;
        altMsl = am;
        positionChanged = true;
    }
    void setDops(double, double p, double h, double v, double) override
    {
        pdop = p;
        hdop = h;
        vdop = v;
        dopsChanged = true;
    }
    void setFixType(int f) override { fixType = f; }
    void setTimingSatellites(int n) override { used = n; }
    void setSpeedKnots(double k) override { speed = k; }
    void setHeadingDegrees(double d) override { heading = d; }
    void setFixQuality(int) override {}
    QString dopText() const override { return {}; }
};

class NmeaSession : public DecodeSession
{
public:
    explicit NmeaSession(ReceiverState &state)
        : m_state(state)
        , m_nmea(context(state, &m_engine))
    {
    }

    QJsonObject decode(const QByteArray &sentence) override
    {
        const ReceiverState before = m_state;
        m_engine.positionChanged = m_engine.dopsChanged = false;

        QJsonObject o;
        if (!m_nmea.decodeNmeaSentence(sentence))
            return o;
        o.insert(QStringLiteral("sentence"), QString::fromLatin1(sentence));
        if (!m_nmea.displayText().isEmpty())
            o.insert(QStringLiteral("text"), m_nmea.displayText());
        if (!m_nmea.lastWarning().isEmpty())
            o.insert(QStringLiteral("warning"), m_nmea.lastWarning());
        if (!(m_state.receiverUtcDateTime == before.receiverUtcDateTime))
            o.insert(QStringLiteral("utc"), DecodeJson::utc(m_state));
        if (m_state.satellites != before.satellites
            || m_state.visibleCount.value != before.visibleCount.value) {
            o.insert(QStringLiteral("visible"), m_state.visibleCount.value);
            o.insert(QStringLiteral("sats"), DecodeJson::satellites(m_state));
        }
        if (m_state.antennaState != before.antennaState)
            o.insert(QStringLiteral("antenna"), m_state.antennaState);
        if (m_engine.positionChanged) {
            o.insert(QStringLiteral("lat"), m_engine.lat);
            o.insert(QStringLiteral("lon"), m_engine.lon);
            o.insert(QStringLiteral("altEllipsoid"), m_engine.altGps);
            o.insert(QStringLiteral("altMsl"), m_engine.altMsl);
        }
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
    static DecoderContext context(ReceiverState &state, AveragingInput *engine)
    {
        DecoderContext c;
        c.state = &state;
        c.averaging = engine;
        c.options.alwaysBuildTexts = true;
        return c;
    }

    ReceiverState &m_state;
    NmeaEngineInputs m_engine;
    NmeaDecoder m_nmea;
};

} // namespace

std::unique_ptr<DecodeSession> makeNmeaDecodeSession(ReceiverState &state)
{
    return std::make_unique<NmeaSession>(state);
}
