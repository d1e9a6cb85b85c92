#include "DecodeModes.h"

#include "receiver/ProtocolTable.h"

#include "core/ReceiverState.h"
#include "receiver/motorola/MotorolaDecoder.h"
#include "receiver/motorola/MotorolaFrame.h"
#include "core/MotorolaModels.h"
#include "receiver/nmea/NmeaDecoder.h"
#include "core/ReceiverMode.h"

#include <QDateTime>
#include <QJsonArray>
#include <QTimeZone>

namespace DecodeJson {

QString utc(const ReceiverState &state)
{
    return state.receiverUtcDateTime.dateTime().toUTC().toString(Qt::ISODateWithMs);
}

QJsonArray satellites(const ReceiverState &state)
{
    QJsonArray list;
    for (const SatelliteRecord &r : state.satellites) {
        if (r.svId == 0)
            continue;
        list.append(QJsonObject { { QStringLiteral("id"), r.svId },
                                  { QStringLiteral("el"), r.elevation },
                                  { QStringLiteral("az"), r.azimuth },
                                  { QStringLiteral("cno"), r.cNo } });
    }
    return list;
}

void insertSentence(QJsonObject &o, const QByteArray &sentence, const NmeaDecoder &nmea)
{
    o.insert(QStringLiteral("sentence"), QString::fromLatin1(sentence));
    if (!nmea.displayText().isEmpty())
        o.insert(QStringLiteral("text"), nmea.displayText());
    if (!nmea.lastWarning().isEmpty())
        o.insert(QStringLiteral("warning"), nmea.lastWarning());
}

void insertPosition(QJsonObject &o, double lat, double lon, double altEllipsoid, double altMsl)
{
    o.insert(QStringLiteral("lat"), lat);
    o.insert(QStringLiteral("lon"), lon);
    o.insert(QStringLiteral("altEllipsoid"), altEllipsoid);
    o.insert(QStringLiteral("altMsl"), altMsl);
}

} // namespace DecodeJson

DecoderContext decodeContext(ReceiverState &state, AveragingInput *engine)
{
    DecoderContext c;
    c.state = &state;
    c.averaging = engine;
    c.options.alwaysBuildTexts = true;
    return c;
}

namespace {

// Motorola binary: the decoder on a headless receiver state. With no 1PPS in a capture, the
// one-second precedence countdown follows the time of the position messages.
class MotorolaSession : public DecodeSession
{
public:
    explicit MotorolaSession(ReceiverState &state)
        : m_state(state)
        , m_decoder(decodeContext(state))
    {
    }

    QJsonObject decode(const QByteArray &frame) override
    {
        advanceSeconds(frame);
        const QString text = m_decoder.decodeMotorolaFrame(frame);
        const int changes = m_decoder.lastChanges();
        QJsonObject o;
        if (frame.size() < 4 || (text.isEmpty() && changes == 0))
            return o;
        o.insert(QStringLiteral("frame"), QString::fromLatin1(frame.left(4)));
        if (!text.isEmpty())
            o.insert(QStringLiteral("text"), text);
        if (changes & MotorolaDecoder::ChangedTime)
            o.insert(QStringLiteral("utc"), DecodeJson::utc(m_state));
        if (changes & MotorolaDecoder::ChangedPosition) {
            const MotorolaDecoder::Position &p = m_decoder.lastPosition();
            DecodeJson::insertPosition(o, p.latitude, p.longitude, p.altEllipsoid, p.altMsl);
        }
        if (changes & MotorolaDecoder::ChangedCounts) {
            o.insert(QStringLiteral("visible"), m_state.visibleCount.value);
            o.insert(QStringLiteral("tracked"), m_state.trackedCount.value);
        }
        if (changes & MotorolaDecoder::ChangedSatellites)
            o.insert(QStringLiteral("sats"), DecodeJson::satellites(m_state));
        if (changes & MotorolaDecoder::ChangedSawtooth)
            o.insert(QStringLiteral("sawtoothNs"), m_state.ppsQuantizationError);
        if (changes & MotorolaDecoder::ChangedModel) {
            o.insert(QStringLiteral("model"), MotorolaModels::name(m_state.receiverModel));
            o.insert(QStringLiteral("firmware"), m_state.firmwareVersionText);
        }
        return o;
    }

private:
    // Counts the precedence down by the seconds between position messages (at most 10).
    void advanceSeconds(const QByteArray &frame)
    {
        if (frame.size() < 15 || !frame.startsWith("@@"))
            return;
        const QByteArray id = frame.mid(2, 2);
        if (id != "Ea" && id != "Ba" && id != "Ha" && id != "Hb")
            return;
        using namespace MotorolaFrame;
        const QDate d(u16(frame, 6), u8(frame, 4), u8(frame, 5));
        const QTime t(u8(frame, 8) % 24, u8(frame, 9) % 60, qMin<int>(u8(frame, 10), 59));
        if (!d.isValid())
            return;
        const QDateTime now(d, t, QTimeZone::utc());
        if (m_lastSecond.isValid()) {
            const qint64 delta = qBound<qint64>(qint64(0), m_lastSecond.secsTo(now), qint64(10));
            for (qint64 i = 0; i < delta; ++i)
                MotorolaDecoder::countDownPrecedence(m_state);
        }
        m_lastSecond = now;
    }

    ReceiverState &m_state;
    MotorolaDecoder m_decoder;
    QDateTime m_lastSecond;
};

std::unique_ptr<DecodeSession> makeMotorola(ReceiverState &state)
{
    return std::make_unique<MotorolaSession>(state);
}

} // namespace

const QList<DecodeMode> &decodeModes()
{
    // The tool's modes are the protocol table's rows that have a tool name; each family has
    // its own JSON session.
    static const QList<DecodeMode> modes = [] {
        QList<DecodeMode> out;
        for (const ProtocolRow &row : protocolTable()) {
            if (!row.toolName)
                continue;
            DecodeMode m { QString::fromLatin1(row.toolName), row.mode, nullptr };
            switch (row.family) {
            case ProtocolFamily::Motorola: m.makeSession = makeMotorola; break;
            case ProtocolFamily::Nmea: m.makeSession = makeNmeaDecodeSession; break;
            case ProtocolFamily::Ublox: m.makeSession = makeUbxDecodeSession; break;
            case ProtocolFamily::Loran:
            case ProtocolFamily::None: break;
            }
            out.append(m);
        }
        return out;
    }();
    return modes;
}

const DecodeMode *findDecodeMode(const QString &name)
{
    for (const DecodeMode &m : decodeModes()) {
        if (m.name == name)
            return &m;
    }
    return nullptr;
}
