// The u-blox modes of chronode-decode ("ubx" and "ublox-nmea"). Both frame UBX and NMEA; as in
// the program's dispatcher, a sentence the NMEA decoder accepts is NMEA, everything else goes
// to the UBX decoder. Each printed object carries the message's text and what it changed.

#include "DecodeModes.h"
#include "RecordedEngineInputs.h"

#include "core/ReceiverState.h"
#include "receiver/nmea/NmeaDecoder.h"
#include "receiver/ubx/UbxDecoder.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

class UbxSession : public DecodeSession
{
public:
    explicit UbxSession(ReceiverState &state)
        : m_state(state)
        , m_ubx(decodeContext(state, &m_engine))
        , m_nmea(decodeContext(state, &m_engine))
    {
    }

    QJsonObject decode(const QByteArray &message) override
    {
        const ReceiverState before = m_state;
        m_engine.clearChanges();

        QJsonObject o;
        if (message.startsWith('$') && m_nmea.decodeNmeaSentence(message)) {
            DecodeJson::insertSentence(o, message, m_nmea);
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
        if (m_engine.positionChanged)
            DecodeJson::insertPosition(o, m_engine.lat, m_engine.lon, m_engine.altGps, m_engine.altMsl);
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
    static bool isTimTp(const QByteArray &m) { return m.size() > 4 && quint8(m[2]) == 0x0D && quint8(m[3]) == 0x01; }

    ReceiverState &m_state;
    RecordedEngineInputs m_engine;
    UbxDecoder m_ubx;
    NmeaDecoder m_nmea;
};

} // namespace

std::unique_ptr<DecodeSession> makeUbxDecodeSession(ReceiverState &state)
{
    return std::make_unique<UbxSession>(state);
}
