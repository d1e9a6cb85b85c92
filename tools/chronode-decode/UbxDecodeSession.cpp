// The u-blox modes of chronode-decode ("ubx" and "ublox-nmea"). Both frame UBX and NMEA; as in
// the program's dispatcher, a sentence the NMEA decoder accepts is NMEA, everything else goes
// to the UBX decoder. Each printed object carries the message's text and what it changed.

#include "DecodeModes.h"

#include "app/ReceiverState.h"
#include "averaging/AveragingInput.h"
#include "receiver/NmeaDecoder.h"
#include "receiver/UbxDecoder.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

// Keeps what the decoders hand to the averaging engine, so it can be printed.
struct EngineInputs : AveragingInput
{
    bool positionChanged = false;
    bool dopsChanged = false;
    bool fixChanged = false;
    double lat = 0, lon = 0, altGps = 0, altMsl = 0;
    double gdop = -1, pdop = -1, hdop = -1, vdop = -1, tdop = -1;
    int fixType = -1;

    void updatePosition(double la, double lo, double ag, double am) override
    {
        lat = la;
        lon = lo;
        altGps = ag;
        altMsl = am;
        positionChanged = true;
    }
    void setDops(double g, double p, double h, double v, double t) override
    {
        gdop = g;
        pdop = p;
        hdop = h;
        vdop = v;
        tdop = t;
        dopsChanged = true;
    }
    void setFixType(int f) override
    {
        fixType = f;
        fixChanged = true;
    }
    void setTimingSatellites(int) override {}
    void setSpeedKnots(double) override {}
    void setHeadingDegrees(double) override {}
    void setFixQuality(int) override {}
    QString dopText() const override { return {}; }
};

class UbxSession : public DecodeSession
{
public:
    explicit UbxSession(ReceiverState &state)
        : m_state(state)
        , m_ubx(context(state, &m_engine))
        , m_nmea(context(state, &m_engine))
    {
    }

    QJsonObject decode(const QByteArray &message) override
    {
        const ReceiverState before = m_state;
        m_engine.positionChanged = m_engine.dopsChanged = m_engine.fixChanged = false;

        QJsonObject o;
        if (message.startsWith('$') && m_nmea.decodeNmeaSentence(message)) {
            o.insert(QStringLiteral("sentence"), QString::fromLatin1(message));
            if (!m_nmea.displayText().isEmpty())
                o.insert(QStringLiteral("text"), m_nmea.displayText());
            if (!m_nmea.lastWarning().isEmpty())
                o.insert(QStringLiteral("warning"), m_nmea.lastWarning());
        } else {
            const QString text = m_ubx.decodeUbxFrame(message);
            if (text.isEmpty())
                return o;
            o.insert(QStringLiteral("ubx"), QString::asprintf("%2.2X %2.2X", uint(quint8(message[2])), uint(quint8(message[3]))));
            o.insert(QStringLiteral("text"), text);
            if (!m_ubx.lastWarning().isEmpty())
                o.insert(QStringLiteral("warning"), m_ubx.lastWarning());
        }

        if (!(m_state.receiverUtcDateTime == before.receiverUtcDateTime))
            o.insert(QStringLiteral("utc"), DecodeJson::utc(m_state));
        if (m_state.leapSeconds != before.leapSeconds)
            o.insert(QStringLiteral("leapSeconds"), m_state.leapSeconds);
        if (m_state.leapSecondPending != before.leapSecondPending)
            o.insert(QStringLiteral("leapSecondPending"), m_state.leapSecondPending);
        if (m_state.ppsQuantizationErrorValid
            && (!before.ppsQuantizationErrorValid || m_state.ppsQuantizationError != before.ppsQuantizationError || isTimTp(message)))
            o.insert(QStringLiteral("sawtoothNs"), m_state.ppsQuantizationError);
        if (m_state.satellites != before.satellites || m_state.visibleCount.value != before.visibleCount.value
            || m_state.trackedCount.value != before.trackedCount.value) {
            o.insert(QStringLiteral("visible"), m_state.visibleCount.value);
            o.insert(QStringLiteral("tracked"), m_state.trackedCount.value);
            o.insert(QStringLiteral("used"), m_state.usedCount.value);
            o.insert(QStringLiteral("sats"), DecodeJson::satellites(m_state));
        }
        if (m_state.firmwareVersionText != before.firmwareVersionText)
            o.insert(QStringLiteral("firmware"), m_state.firmwareVersionText);
        if (m_state.antennaState != before.antennaState)
            o.insert(QStringLiteral("antenna"), m_state.antennaState);
        if (m_state.navigationState != before.navigationState)
            o.insert(QStringLiteral("navigation"), m_state.navigationState);
        if (m_engine.positionChanged) {
            o.insert(QStringLiteral("lat"), m_engine.lat);
            o.insert(QStringLiteral("lon"), m_engine.lon);
            o.insert(QStringLiteral("altEllipsoid"), m_engine.altGps);
            o.insert(QStringLiteral("altMsl"), m_engine.altMsl);
        }
        if (m_engine.dopsChanged) {
            o.insert(QStringLiteral("dops"), QJsonObject { { QStringLiteral("g"), m_engine.gdop },
                                                           { QStringLiteral("p"), m_engine.pdop },
                                                           { QStringLiteral("h"), m_engine.hdop },
                                                           { QStringLiteral("v"), m_engine.vdop },
                                                           { QStringLiteral("t"), m_engine.tdop } });
        }
        if (m_engine.fixChanged)
            o.insert(QStringLiteral("fix"), m_engine.fixType);
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
    static bool isTimTp(const QByteArray &m) { return m.size() > 4 && quint8(m[2]) == 0x0D && quint8(m[3]) == 0x01; }

    ReceiverState &m_state;
    EngineInputs m_engine;
    UbxDecoder m_ubx;
    NmeaDecoder m_nmea;
};

} // namespace

std::unique_ptr<DecodeSession> makeUbxDecodeSession(ReceiverState &state)
{
    return std::make_unique<UbxSession>(state);
}
