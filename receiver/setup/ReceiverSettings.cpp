#include "receiver/setup/ReceiverSettings.h"

#include "receiver/ProtocolTable.h"

#include "core/ReceiverState.h"
#include "core/Settings.h"
#include "receiver/DecoderContext.h"
#include "receiver/motorola/MotorolaCommands.h"
#include "core/ReceiverMode.h"
#include "receiver/ubx/UbxConfiguration.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTimer>
#include <bit>
#include <cmath>

using Settings::readBool;
using Settings::readInt;

namespace {

// --- settings store --------------------------------------------------------------------------



QString maskText(uint32_t mask)
{
    return QStringLiteral("%1").arg(mask, 8, 16, QLatin1Char('0')).toUpper();
}

// --- command building ------------------------------------------------------------------------



bool isSsrM8(int model)
{
    return model == ReceiverModelCode::SsrM8F || model == ReceiverModelCode::SsrM8T;
}

// "@@As": the position the receiver holds in 0-D, milliarcseconds and centimetres above the
// ellipsoid (height type 0).
QByteArray positionHoldPosition(const ReceiverReferencePosition &ref)
{
    QByteArray b = MotorolaCommands::make("@@As");
    MotorolaCommands::appendBigEndian(b, quint64(qint64(std::llround(ref.latDeg * 3600000.0))), 4);
    MotorolaCommands::appendBigEndian(b, quint64(qint64(std::llround(ref.lonDeg * 3600000.0))), 4);
    MotorolaCommands::appendBigEndian(b, quint64(qint64(std::llround(ref.heightEllipsoidM * 100.0))), 4);
    b.append('\0');
    return b;
}

QList<ReceiverSettingsCommand> motorolaBinary(const ReceiverSettings &rs, const ReceiverState &state,
                                              const ReceiverReferencePosition &ref)
{
    QList<ReceiverSettingsCommand> out;
    auto add = [&out](const QByteArray &bytes, bool await = false) { out.append({ bytes, await }); };
    const int channels = ReceiverSettingsCommands::channelsUsed(rs, state);
    const int gpsMode = rs.effectiveGpsMode();

    add(MotorolaCommands::make("@@AP", { uint8_t(rs.effectivePpsRate() == 1 ? 1 : 0) }));
    add(MotorolaCommands::make("@@Gc", { uint8_t(rs.shortPulse() ? 5 : 1) }));
    add(MotorolaCommands::make("@@Ag", { uint8_t(rs.elevationMask) }));
    // The surveyed point goes in before position hold, so the receiver never holds another.
    if (gpsMode == ReceiverSettings::Nav0D && ref.valid)
        add(positionHoldPosition(ref));
    if (channels < 12) {
        add(MotorolaCommands::make("@@At", { uint8_t(gpsMode == ReceiverSettings::Nav0D ? 1 : 0) }));
        add(MotorolaCommands::make("@@Av", { uint8_t(gpsMode == ReceiverSettings::Nav2D ? 1 : 0) }));
    } else {
        const uint8_t control = gpsMode == ReceiverSettings::Nav2D ? 2 : gpsMode == ReceiverSettings::Nav0D ? 1 : 0;
        add(MotorolaCommands::make("@@Gd", { control }));
    }
    const uint8_t corrections = uint8_t((rs.effectiveTropospheric() == 0 ? 2 : 0) + (rs.effectiveIonospheric() == 0 ? 1 : 0));
    add(MotorolaCommands::make("@@Aq", { corrections }));
    if (channels < 12 || isSsrM8(state.receiverModel))
        add(MotorolaCommands::make("@@Ar", { uint8_t(rs.effectivePositionFixMode() == 0 ? 1 : 0) }));
    add(MotorolaCommands::make("@@Ah", { uint8_t(rs.effectiveSatelliteSelection() == 1 ? 2 : 0) }));
    add(MotorolaCommands::make("@@Aj", { uint8_t(rs.effectiveGeometryButton()) }));
    add(MotorolaCommands::make("@@AB", { uint8_t(rs.effectiveApplicationType()) }));
    add(MotorolaCommands::make("@@AE", { uint8_t(rs.alignMessages ? 1 : 0) }));
    add(MotorolaCommands::make("@@Bh", { uint8_t(rs.dgpsActivate ? rs.dgpsRate : 0) }));
    QByteArray am = MotorolaCommands::make("@@Am", { 0x00 });
    MotorolaCommands::appendBigEndian(am, ~rs.satelliteIgnoreMask, 4);
    add(am);

    add(MotorolaCommands::make("@@Hb", { 0x00 }));
    if (channels < 8) {
        add(MotorolaCommands::make("@@Ba", { 0x01 }));
        add(MotorolaCommands::make("@@Bk", { 0x01 }));
    } else if (channels == 8) {
        add(MotorolaCommands::make("@@Ea", { 0x01 }), true);
        add(MotorolaCommands::make("@@Ek", { 0x01 }));
    } else if (channels >= 12) {
        add(MotorolaCommands::make("@@Ha", { 0x01 }));
    }
    if (isSsrM8(state.receiverModel))
        add(MotorolaCommands::make("@@Sc", { ReceiverSettingsCommands::constellationCommandByte(rs.constellationMask()) }));
    if (channels == MotorolaCommands::channelsFor(state)) {
        add(MotorolaCommands::traimFamilyCommand(state));
    } else {
        ReceiverState sixChannel = state;   // PVT6 emulation: the six-channel T-RAIM message
        sixChannel.channelCount = channels;
        add(MotorolaCommands::traimFamilyCommand(sixChannel));
    }
    return out;
}

uint8_t dynamicModel(int applicationType)
{
    switch (applicationType) {
    case ReceiverSettings::Air: return 0x08;
    case ReceiverSettings::Handheld: return 0x03;
    case ReceiverSettings::Land: return 0x00;
    case ReceiverSettings::Marine: return 0x05;
    case ReceiverSettings::Static: return 0x02;
    default: return 0x00;
    }
}

QList<ReceiverSettingsCommand> ublox(const ReceiverSettings &rs, const ReceiverState &state,
                                     const ReceiverReferencePosition &ref)
{
    QList<ReceiverSettingsCommand> out;
    const uint8_t dynModel = dynamicModel(rs.effectiveApplicationType());
    const bool hold = rs.effectiveGpsMode() == ReceiverSettings::Nav0D;
    const double version = state.ubxProtocolVersion;
    if (Ubx::usesConfigurationKeys(version)) {
        // Generation 9: configuration keys into RAM and flash, each acknowledged.
        out.append({ Ubx::cfgValSet(Ubx::navigationValues(dynModel, rs.elevationMask)), true });
        if (hold && ref.valid)
            out.append({ Ubx::cfgValSet(Ubx::timeModeFixedValues(
                             Ubx::ecefCentimetres(ref.latDeg, ref.lonDeg, ref.heightEllipsoidM))), true });
        else if (!hold)
            out.append({ Ubx::cfgValSet(Ubx::timeModeDisabledValues()), true });
        return out;
    }
    out.append({ Ubx::cfgNav5(dynModel, rs.elevationMask), false });
    // CFG-TMODE is the time mode of the oldest timing receivers, CFG-TMODE2 from M8 on; a
    // receiver that did not name its protocol version gets both.
    const bool tmode = !Ubx::usesNavSat(version);
    if (hold) {
        if (ref.valid) {
            const Ubx::EcefCm p = Ubx::ecefCentimetres(ref.latDeg, ref.lonDeg, ref.heightEllipsoidM);
            if (tmode)
                out.append({ Ubx::cfgTmodeFixed(p.x, p.y, p.z), false });
            out.append({ Ubx::cfgTmode2Fixed(p.x, p.y, p.z), false });
        }
    } else {
        // Leaving 0-D: the receiver navigates again (time mode 0, every field 0).
        const QByteArray zero(28, '\0');
        if (tmode)
            out.append({ Ubx::frame(Ubx::Cfg, 0x1D, zero), false });
        out.append({ Ubx::frame(Ubx::Cfg, 0x3D, zero), false });
    }
    return out;
}

// Degrees and minutes to three decimals, the minutes carried into the degrees at 60.
struct DegMin
{
    unsigned degrees;
    double minutes;
};

DegMin degreesMinutes(double value)
{
    const qint64 thousandths = qRound64(std::fabs(value) * 60000.0);
    return { unsigned(thousandths / 60000), double(thousandths % 60000) / 1000.0 };
}

// Sends one settings command and waits for its answer: a UBX command's ACK-ACK or ACK-NAK, a
// Motorola command's echo. A refused UBX command is reported through `wait.refused`.
void sendAndAwaitAnswer(ReceiverState &s, ReceiverCommandSink &sink, const QByteArray &command,
                        const ReceiverSettingsWait &wait)
{
    const bool ubx = command.startsWith("\xB5\x62") && command.size() >= 4;
    if (!ubx) {
        sink.sendAndAwait(command, AnswerFamily::MotorolaBinary, { command.left(4) }, wait.timeoutMs);
        return;
    }
    s.lastUbxAck = {};
    const QList<QByteArray> acks { QByteArray::fromHex("b56205010200") + command.mid(2, 2),
                                   QByteArray::fromHex("b56205000200") + command.mid(2, 2) };
    const bool answered = sink.sendAndAwait(command, AnswerFamily::Ublox, acks, wait.timeoutMs);
    if (answered && s.lastUbxAck.seen && !s.lastUbxAck.accepted && wait.refused)
        wait.refused(Ubx::refusedText(command));
}

} // namespace

// --- ReceiverSettings ------------------------------------------------------------------------

uint8_t ReceiverSettings::constellationMask() const
{
    return uint8_t((satGps ? Gps : 0) | (satGlonass ? Glonass : 0) | (satGalileo ? Galileo : 0)
                   | (satBeidou ? Beidou : 0) | (satQzss ? Qzss : 0) | (satSbas ? Sbas : 0));
}

void ReceiverSettings::setConstellationMask(uint8_t mask)
{
    satGps = mask & Gps;
    satGlonass = mask & Glonass;
    satGalileo = mask & Galileo;
    satBeidou = mask & Beidou;
    satQzss = mask & Qzss;
    satSbas = mask & Sbas;
}

ReceiverSettings ReceiverSettings::load(QSettings &s)
{
    ReceiverSettings r;
    r.gpsMode = readInt(s, keyGpsMode(), -1, -1, 2);
    r.localTime = readBool(s, keyLocalTime(), false);
    r.emulatePvt6 = readBool(s, keyEmulatePvt6(), false);
    r.positionFixMode = readInt(s, keyPositionFixMode(), -1, -1, 1);
    r.satelliteSelection = readInt(s, keySatelliteSelection(), -1, -1, 1);
    r.ionospheric = readInt(s, keyIonospheric(), -1, -1, 1);
    r.tropospheric = readInt(s, keyTropospheric(), -1, -1, 1);
    r.geometryButton = readInt(s, keyGeometryButton(), -1, -1, 4);
    r.dgpsActivate = readBool(s, keyDgpsActivate(), false);
    r.dgpsRate = readInt(s, keyDgpsRate(), DefaultDgpsRate, 0, MaxDgpsRate);
    r.alignMessages = readBool(s, keyAlignMessages(), false);
    r.elevationMask = readInt(s, keyElevationMask(), DefaultElevationMask, 0, MaxElevationMask);
    r.applicationType = readInt(s, keyApplicationType(), -1, -1, 4);
    r.ppsRate = readInt(s, keyPpsRate(), -1, -1, 1);
    r.ppsDuration = readInt(s, keyPpsDuration(), -1, -1, 1);
    r.satGps = readBool(s, keySatGps(), false);
    r.satGlonass = readBool(s, keySatGlonass(), false);
    r.satGalileo = readBool(s, keySatGalileo(), false);
    r.satBeidou = readBool(s, keySatBeidou(), false);
    r.satQzss = readBool(s, keySatQzss(), false);
    r.satSbas = readBool(s, keySatSbas(), false);
    r.garmin = readBool(s, keyGarmin(), false);
    r.weekRollover = readInt(s, keyWeekRollover(), GpsWeekRollover::None, GpsWeekRollover::None, GpsWeekRollover::Fixed);
    r.weekRolloverEpochs = readInt(s, keyWeekRolloverEpochs(), 1, 1, GpsWeekRollover::MaxFixedEpochs);

    const QString mask = s.value(keySatelliteIgnoreMask()).toString().trimmed();
    bool ok = false;
    const qulonglong m = mask.toULongLong(&ok, 16);
    if (ok && mask.size() <= 8 && m <= 0xFFFFFFFFull) {
        r.satelliteIgnoreMask = uint32_t(m);
    } else {
        r.satelliteIgnoreMask = 0;
        s.setValue(keySatelliteIgnoreMask(), maskText(0));
    }
    return r;
}

void ReceiverSettings::save(QSettings &s) const
{
    s.setValue(keyGpsMode(), gpsMode);
    s.setValue(keyLocalTime(), localTime);
    s.setValue(keyEmulatePvt6(), emulatePvt6);
    s.setValue(keyPositionFixMode(), positionFixMode);
    s.setValue(keySatelliteSelection(), satelliteSelection);
    s.setValue(keyIonospheric(), ionospheric);
    s.setValue(keyTropospheric(), tropospheric);
    s.setValue(keyGeometryButton(), geometryButton);
    s.setValue(keyDgpsActivate(), dgpsActivate);
    s.setValue(keyDgpsRate(), dgpsRate);
    s.setValue(keyAlignMessages(), alignMessages);
    s.setValue(keyElevationMask(), elevationMask);
    s.setValue(keyApplicationType(), applicationType);
    s.setValue(keyPpsRate(), ppsRate);
    s.setValue(keyPpsDuration(), ppsDuration);
    s.setValue(keySatGps(), satGps);
    s.setValue(keySatGlonass(), satGlonass);
    s.setValue(keySatGalileo(), satGalileo);
    s.setValue(keySatBeidou(), satBeidou);
    s.setValue(keySatQzss(), satQzss);
    s.setValue(keySatSbas(), satSbas);
    s.setValue(keyGarmin(), garmin);
    s.setValue(keySatelliteIgnoreMask(), maskText(satelliteIgnoreMask));
    s.setValue(keyWeekRollover(), weekRollover);
    s.setValue(keyWeekRolloverEpochs(), weekRolloverEpochs);
}

// --- commands --------------------------------------------------------------------------------

namespace ReceiverSettingsCommands {

QList<ReceiverSettingsCommand> forReceiver(const ReceiverSettings &settings, const ReceiverState &state,
                                          const ReceiverReferencePosition &reference)
{
    const ProtocolRow *row = protocolRow(state.receiverMode);
    if (!row || row->receiveOnly)
        return {};
    switch (row->family) {
    case ProtocolFamily::Motorola:
        return motorolaBinary(settings, state, reference);
    case ProtocolFamily::Ublox:
        return ublox(settings, state, reference);
    default:
        return {};   // NMEA receivers take theirs by other ways (Motorola NMEA via binary mode, Garmin)
    }
}

QList<QByteArray> bytesOf(const QList<ReceiverSettingsCommand> &commands)
{
    QList<QByteArray> out;
    out.reserve(commands.size());
    for (const ReceiverSettingsCommand &c : commands)
        out.append(c.bytes);
    return out;
}

QList<QByteArray> garmin(const ReceiverSettings &settings, const ReceiverReferencePosition &reference)
{
    // 3-D is the receiver's automatic 2-D/3-D mode; the receiver has no position hold, so 0-D
    // holds the altitude like 2-D.
    const char fix = settings.effectiveGpsMode() == ReceiverSettings::Nav3D ? 'A' : '2';
    const int altitude = reference.valid ? qRound(reference.heightMslM) : 0;
    QList<QByteArray> out;
    out.append(QStringLiteral("$PGRMC,%1,%2,100,,,,,,A,,1,2,8,30").arg(QLatin1Char(fix)).arg(altitude).toLatin1());
    if (reference.valid) {
        const DegMin lat = degreesMinutes(reference.latDeg);
        const DegMin lon = degreesMinutes(reference.lonDeg);
        // Date and time left empty: the receiver keeps its own, and the echo reads the same fields.
        out.append(QString::asprintf("$PGRMI,%02u%06.3f,%c,%03u%06.3f,%c,,,A", lat.degrees, lat.minutes,
                                     reference.latDeg < 0 ? 'S' : 'N', lon.degrees, lon.minutes,
                                     reference.lonDeg < 0 ? 'W' : 'E')
                       .toLatin1());
    }
    return out;
}

bool pvt6Offered(const ReceiverState &state)
{
    return MotorolaCommands::channelsFor(state) == 8;
}

int channelsUsed(const ReceiverSettings &settings, const ReceiverState &state)
{
    return settings.emulatePvt6 && pvt6Offered(state) ? 6 : MotorolaCommands::channelsFor(state);
}

uint8_t constellationCommandByte(uint8_t mask)
{
    return std::popcount(unsigned(mask)) < 2 ? uint8_t(ReceiverSettings::Gps) : mask;
}

QString constellationProblem(uint8_t mask, bool galileoCapable)
{
    if ((mask & ReceiverSettings::Qzss) && !(mask & ReceiverSettings::Gps))
        return QStringLiteral("QZSS is only available together with GPS");
    if ((mask & ReceiverSettings::Glonass) && (mask & ReceiverSettings::Beidou))
        return QStringLiteral("This receiver cannot track GLONASS and Beidou at the same time");
    if ((mask & ReceiverSettings::Galileo) && !galileoCapable)
        return QStringLiteral("This receiver's GNSS module cannot track Galileo (pre-FW 3.01)");
    return {};
}

QString withPvt6Suffix(const QString &description, bool pvt6)
{
    static const QString suffix = QStringLiteral(", PVT6 Mode");
    QString d = description;
    d.remove(suffix);
    if (pvt6 && !d.isEmpty())
        d += suffix;
    return d;
}

} // namespace ReceiverSettingsCommands

void applyReceiverSettings(ReceiverState &state, const ReceiverSettings &settings,
                           const ReceiverReferencePosition &reference, ReceiverCommandSink &sink,
                           const ReceiverSettingsWait &wait)
{
    const QList<ReceiverSettingsCommand> commands = ReceiverSettingsCommands::forReceiver(settings, state, reference);
    if (familyOf(state.receiverMode) == ProtocolFamily::Motorola && !commands.isEmpty()) {
        state.channelCountUsed = ReceiverSettingsCommands::channelsUsed(settings, state);
        // The "@@Hn" the sequence ends with answers into the receiver-ID window.
        state.receiverIdHnRequested = true;
    }
    for (const ReceiverSettingsCommand &c : commands) {
        if (state.closing)
            return;
        if (c.awaitAnswer && wait.enabled)
            sendAndAwaitAnswer(state, sink, c.bytes, wait);
        else
            sink.sendGpsRxCommand(c.bytes);
    }
}
