#include "DecodeModes.h"
#include "JsonLineWriter.h"

#include "receiver/ProtocolTable.h"

#include "core/ReceiverState.h"
#include "receiver/motorola/MotorolaDecoder.h"
#include "receiver/motorola/MotorolaFrame.h"
#include "core/MotorolaModels.h"
#include "receiver/nmea/NmeaDecoder.h"
#include "core/ReceiverMode.h"

#include <QDateTime>
#include <QTimeZone>
#include <cstring>

namespace DecodeJson {

void utc(JsonLineWriter &out, const ReceiverState &state)
{
    out.key("utc");
    const QDateTime &t = state.receiverUtcDateTime.dateTime();
    if (!t.isValid()) {
        out.string(QStringView());
        return;
    }
    // Days and milliseconds since 1970 to the civil date (proleptic Gregorian).
    const qint64 ms = t.toMSecsSinceEpoch();
    const qint64 days = (ms >= 0 ? ms : ms - 86399999) / 86400000;
    const qint64 msOfDay = ms - days * 86400000;
    const qint64 z = days + 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const qint64 year = yoe + era * 400 + (month <= 2);
    if (year < 0 || year > 9999) {
        out.string(t.toUTC().toString(Qt::ISODateWithMs));
        return;
    }
    char text[24];
    auto put = [&text](int at, qint64 value, int width) {
        for (int i = width - 1; i >= 0; --i, value /= 10)
            text[at + i] = char('0' + value % 10);
    };
    put(0, year, 4);
    text[4] = '-';
    put(5, month, 2);
    text[7] = '-';
    put(8, day, 2);
    text[10] = 'T';
    put(11, msOfDay / 3600000, 2);
    text[13] = ':';
    put(14, msOfDay / 60000 % 60, 2);
    text[16] = ':';
    put(17, msOfDay / 1000 % 60, 2);
    text[19] = '.';
    put(20, msOfDay % 1000, 3);
    text[23] = 'Z';
    out.latin1(QByteArrayView(text, 24));
}

void satellites(JsonLineWriter &out, const ReceiverState &state)
{
    out.key("sats");
    out.beginArray();
    for (const SatelliteRecord &r : state.satellites) {
        if (r.svId == 0)
            continue;
        out.beginObject();
        out.key("id").integer(r.svId);
        out.key("el").integer(r.elevation);
        out.key("az").integer(r.azimuth);
        out.key("cno").integer(r.cNo);
        out.endObject();
    }
    out.endArray();
}

void position(JsonLineWriter &out, double lat, double lon, double altEllipsoid, double altMsl)
{
    out.key("lat").number(lat);
    out.key("lon").number(lon);
    out.key("altEllipsoid").number(altEllipsoid);
    out.key("altMsl").number(altMsl);
}

} // namespace DecodeJson

bool sameSatellites(const ReceiverState &state, const decltype(ReceiverState::satellites) &before)
{
    return std::memcmp(state.satellites.data(), before.data(), sizeof before) == 0 || state.satellites == before;
}

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

    void decode(const QByteArray &frame, JsonLineWriter &out) override
    {
        advanceSeconds(frame);
        const QString text = m_decoder.decodeMotorolaFrame(frame);
        const int changes = m_decoder.lastChanges();
        if (frame.size() < 4 || (text.isEmpty() && changes == 0))
            return;
        out.beginObject();
        out.key("frame").latin1(QByteArrayView(frame).first(4));
        if (!text.isEmpty())
            out.key("text").string(text);
        if (changes & MotorolaDecoder::ChangedTime)
            DecodeJson::utc(out, m_state);
        if (changes & MotorolaDecoder::ChangedPosition) {
            const MotorolaDecoder::Position &p = m_decoder.lastPosition();
            DecodeJson::position(out, p.latitude, p.longitude, p.altEllipsoid, p.altMsl);
        }
        if (changes & MotorolaDecoder::ChangedCounts) {
            out.key("visible").integer(m_state.visibleCount.value);
            out.key("tracked").integer(m_state.trackedCount.value);
        }
        if (changes & MotorolaDecoder::ChangedSatellites)
            DecodeJson::satellites(out, m_state);
        if (changes & MotorolaDecoder::ChangedSawtooth)
            out.key("sawtoothNs").number(m_state.ppsQuantizationError);
        if (changes & MotorolaDecoder::ChangedModel) {
            out.key("model").string(MotorolaModels::name(m_state.receiverModel));
            out.key("firmware").string(m_state.firmwareVersionText);
        }
        out.endObject();
        out.endLine();
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
