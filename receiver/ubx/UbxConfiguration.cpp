#include "receiver/ubx/UbxConfiguration.h"

#include "receiver/framing/Checksums.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "core/ReceiverMode.h"

#include <QTimer>
#include <cmath>

namespace Ubx {

namespace {

void appendU8(QByteArray &out, uint8_t v) { out.append(char(v)); }
void appendU16(QByteArray &out, uint16_t v)
{
    appendU8(out, uint8_t(v & 0xFF));
    appendU8(out, uint8_t(v >> 8));
}
void appendU32(QByteArray &out, uint32_t v)
{
    appendU16(out, uint16_t(v & 0xFFFF));
    appendU16(out, uint16_t(v >> 16));
}

// Survey-in payload shared by CFG-TMODE and CFG-TMODE2: both put the mode in the first byte
// (the rest of TMODE's u32 and TMODE2's reserved byte and flags are zero).
QByteArray surveyInPayload()
{
    QByteArray p;
    appendU32(p, 1);      // timeMode 1 = survey-in (TMODE2: timeMode, reserved, flags 0)
    appendU32(p, 0);      // fixed position X / latitude
    appendU32(p, 0);      // Y / longitude
    appendU32(p, 0);      // Z / altitude
    appendU32(p, 4000);   // fixedPosVar / fixedPosAcc
    appendU32(p, 5008);   // svinMinDur, seconds
    appendU32(p, 2000);   // svinVarLimit / svinAccLimit
    return p;
}

} // namespace

QByteArray frame(uint8_t cls, uint8_t id, QByteArrayView payload)
{
    QByteArray out;
    out.reserve(8 + payload.size());
    appendU8(out, 0xB5);
    appendU8(out, 0x62);
    appendU8(out, cls);
    appendU8(out, id);
    appendU16(out, uint16_t(payload.size()));
    out.append(payload.data(), payload.size());
    return out;
}

QByteArray withChecksum(QByteArrayView frameWithoutChecksum)
{
    QByteArray out(frameWithoutChecksum.data(), frameWithoutChecksum.size());
    const Checksums::UbxChecksum ck = Checksums::ubxFletcher(
        frameWithoutChecksum.size() > 2 ? frameWithoutChecksum.sliced(2) : QByteArrayView());
    appendU8(out, ck.ckA);
    appendU8(out, ck.ckB);
    return out;
}

bool isCompleteFrame(QByteArrayView frame)
{
    if (frame.size() < 8 || uint8_t(frame[0]) != 0xB5 || uint8_t(frame[1]) != 0x62)
        return false;
    const qsizetype length = uint8_t(frame[4]) | (qsizetype(uint8_t(frame[5])) << 8);
    return frame.size() == length + 8 && Checksums::ubxFrameValid(frame);
}

QByteArray cfgPrt(uint32_t baudRate)
{
    QByteArray p;
    appendU8(p, 0x01);          // portID: UART 1
    appendU8(p, 0x00);          // reserved
    appendU16(p, 0x0000);       // txReady
    appendU32(p, 0x000008C0);   // mode: 8 data bits, no parity, 1 stop bit
    appendU32(p, baudRate);
    appendU16(p, 0x0003);       // inProtoMask: UBX + NMEA
    appendU16(p, 0x0003);       // outProtoMask: UBX + NMEA
    appendU16(p, 0x0000);       // flags
    appendU16(p, 0x0000);       // reserved
    return frame(Cfg, 0x00, p);
}

QByteArray cfgMsg(uint8_t msgClass, uint8_t msgId, uint8_t rate)
{
    const char p[3] = { char(msgClass), char(msgId), char(rate) };
    return frame(Cfg, 0x01, QByteArrayView(p, 3));
}

QByteArray timSvinOff() { return cfgMsg(Tim, 0x04, 0); }
QByteArray timSvinOn() { return cfgMsg(Tim, 0x04, 1); }

QByteArray cfgAnt()
{
    QByteArray p;
    appendU16(p, 0x0017);   // flags
    appendU16(p, 0x0000);   // pins
    return frame(Cfg, 0x13, p);
}

QByteArray cfgCfgSave()
{
    QByteArray p;
    appendU32(p, 0x00000000);   // clearMask
    appendU32(p, 0x0000040B);   // saveMask: port, message, navigation, antenna
    appendU32(p, 0x00000000);   // loadMask
    return frame(Cfg, 0x09, p);
}

QByteArray monVerPoll() { return frame(Mon, 0x04); }
QByteArray aidHuiPoll() { return frame(Aid, 0x02); }

QByteArray cfgTmodeSurveyIn() { return frame(Cfg, 0x1D, surveyInPayload()); }
QByteArray cfgTmode2SurveyIn() { return frame(Cfg, 0x3D, surveyInPayload()); }

QByteArray cfgTmodeFixed(int32_t xCm, int32_t yCm, int32_t zCm)
{
    QByteArray p;
    appendU32(p, 2);   // timeMode 2 = fixed position
    appendU32(p, uint32_t(xCm));
    appendU32(p, uint32_t(yCm));
    appendU32(p, uint32_t(zCm));
    p.append(QByteArray(12, '\0'));   // fixedPosVar, svinMinDur, svinVarLimit
    return frame(Cfg, 0x1D, p);
}

QByteArray cfgTmode2Fixed(int32_t xCm, int32_t yCm, int32_t zCm)
{
    QByteArray p;
    appendU8(p, 2);      // timeMode 2 = fixed position
    appendU8(p, 0);      // reserved
    appendU16(p, 0);     // flags: position given as ECEF
    appendU32(p, uint32_t(xCm));
    appendU32(p, uint32_t(yCm));
    appendU32(p, uint32_t(zCm));
    p.append(QByteArray(12, '\0'));   // fixedPosAcc, svinMinDur, svinAccLimit
    return frame(Cfg, 0x3D, p);
}

QByteArray cfgNav5(uint8_t dynModel, int minElevationDeg)
{
    QByteArray p;
    appendU16(p, 0x0007);   // mask: dynModel, minElev, fixMode
    appendU8(p, dynModel);
    appendU8(p, 3);         // fixMode: auto 2-D/3-D
    appendU32(p, 0);        // fixedAlt
    appendU32(p, 0);        // fixedAltVar
    appendU8(p, uint8_t(minElevationDeg < 1 ? 0 : qMin(minElevationDeg, 127)));
    p.append(QByteArray(36 - p.size(), '\0'));
    return frame(Cfg, 0x24, p);
}

EcefCm ecefCentimetres(double latDeg, double lonDeg, double heightM)
{
    constexpr double a = 6378137.0;               // WGS-84 semi-major axis
    constexpr double f = 1.0 / 298.257223563;     // flattening
    constexpr double e2 = f * (2.0 - f);
    constexpr double degree = 3.14159265358979323846 / 180.0;
    const double phi = latDeg * degree;
    const double lambda = lonDeg * degree;
    const double sinPhi = std::sin(phi);
    const double n = a / std::sqrt(1.0 - e2 * sinPhi * sinPhi);
    const double x = (n + heightM) * std::cos(phi) * std::cos(lambda);
    const double y = (n + heightM) * std::cos(phi) * std::sin(lambda);
    const double z = (n * (1.0 - e2) + heightM) * sinPhi;
    return { int32_t(std::llround(x * 100.0)), int32_t(std::llround(y * 100.0)), int32_t(std::llround(z * 100.0)) };
}

QList<MessageId> messagesSwitchedOff()
{
    return {
        { NmeaPubx, 0x00 }, { Tim, 0x01 }, { Tim, 0x04 }, { Nav, 0x02 }, { Nav, 0x30 },
        { Mon, 0x09 }, { Nav, 0x03 }, { Nav, 0x21 }, { Nav, 0x04 }, { NmeaPubx, 0x03 },
        { NmeaPubx, 0x04 },
        { NmeaStd, 0x0A }, { NmeaStd, 0x09 }, { NmeaStd, 0x00 }, { NmeaStd, 0x01 },
        { NmeaStd, 0x40 }, { NmeaStd, 0x06 }, { NmeaStd, 0x02 }, { NmeaStd, 0x07 },
        { NmeaStd, 0x03 }, { NmeaStd, 0x04 }, { NmeaStd, 0x41 }, { NmeaStd, 0x05 },
        { NmeaStd, 0x08 },
    };
}

QList<MessageId> ubxModeMessages()
{
    return {
        { Nav, 0x21 }, { Tim, 0x01 }, { Tim, 0x04 }, { Nav, 0x02 }, { Nav, 0x30 },
        { Mon, 0x09 }, { Nav, 0x03 }, { Nav, 0x04 }, { Nav, 0x20 },
    };
}

Geodetic geodeticFromEcef(double x, double y, double z)
{
    constexpr double a = 6378137.0;
    constexpr double f = 1.0 / 298.257223563;
    constexpr double e2 = f * (2.0 - f);
    constexpr double degree = 3.14159265358979323846 / 180.0;
    const double p = std::hypot(x, y);
    const double lon = std::atan2(y, x);
    double lat = std::atan2(z, p * (1.0 - e2));
    double h = 0.0;
    // A few rounds reach well below a millimetre anywhere a receiver can be.
    for (int i = 0; i < 6; ++i) {
        const double sinLat = std::sin(lat);
        const double n = a / std::sqrt(1.0 - e2 * sinLat * sinLat);
        h = std::fabs(lat) < 1.5 ? p / std::cos(lat) - n : z / sinLat - n * (1.0 - e2);
        lat = std::atan2(z, p * (1.0 - e2 * n / (n + h)));
    }
    return { lat / degree, lon / degree, h };
}

QList<MessageId> nmeaModeMessages()
{
    return { { NmeaStd, 0x00 }, { NmeaStd, 0x02 }, { NmeaStd, 0x03 }, { NmeaStd, 0x04 }, { NmeaStd, 0x08 } };
}

QList<MessageId> ubxModeMessages(double protocolVersion)
{
    if (!usesNavSat(protocolVersion))
        return ubxModeMessages();
    return {
        { Nav, 0x21 }, { Tim, 0x01 }, { Tim, 0x04 }, { Nav, 0x02 }, { Nav, 0x35 },
        { Mon, 0x09 }, { Nav, 0x03 }, { Nav, 0x04 }, { Nav, 0x20 }, { Nav, 0x07 },
    };
}

namespace {

struct NamedKey
{
    uint32_t key;
    uint8_t cls;   // for output-rate keys: the message; 0 otherwise
    uint8_t id;
    const char *name;
};

// Output rates on UART 1 and the other keys the program writes.
constexpr NamedKey namedKeys[] = {
    { 0x2091005C, Nav, 0x21, "CFG-MSGOUT-UBX_NAV_TIMEUTC_UART1" },
    { 0x20910048, Nav, 0x20, "CFG-MSGOUT-UBX_NAV_TIMEGPS_UART1" },
    { 0x20910061, Nav, 0x26, "CFG-MSGOUT-UBX_NAV_TIMELS_UART1" },
    { 0x20910066, Nav, 0x22, "CFG-MSGOUT-UBX_NAV_CLOCK_UART1" },
    { 0x2091002A, Nav, 0x02, "CFG-MSGOUT-UBX_NAV_POSLLH_UART1" },
    { 0x20910025, Nav, 0x01, "CFG-MSGOUT-UBX_NAV_POSECEF_UART1" },
    { 0x20910007, Nav, 0x07, "CFG-MSGOUT-UBX_NAV_PVT_UART1" },
    { 0x20910016, Nav, 0x35, "CFG-MSGOUT-UBX_NAV_SAT_UART1" },
    { 0x2091001B, Nav, 0x03, "CFG-MSGOUT-UBX_NAV_STATUS_UART1" },
    { 0x20910039, Nav, 0x04, "CFG-MSGOUT-UBX_NAV_DOP_UART1" },
    { 0x2091017E, Tim, 0x01, "CFG-MSGOUT-UBX_TIM_TP_UART1" },
    { 0x20910098, Tim, 0x04, "CFG-MSGOUT-UBX_TIM_SVIN_UART1" },
    { 0x209101B5, Mon, 0x09, "CFG-MSGOUT-UBX_MON_HW_UART1" },
    { 0x2091035A, Mon, 0x38, "CFG-MSGOUT-UBX_MON_RF_UART1" },
    { 0x209100A7, NmeaStd, 0x0A, "CFG-MSGOUT-NMEA_ID_DTM_UART1" },
    { 0x209100DE, NmeaStd, 0x09, "CFG-MSGOUT-NMEA_ID_GBS_UART1" },
    { 0x209100BB, NmeaStd, 0x00, "CFG-MSGOUT-NMEA_ID_GGA_UART1" },
    { 0x209100CA, NmeaStd, 0x01, "CFG-MSGOUT-NMEA_ID_GLL_UART1" },
    { 0x209100CF, NmeaStd, 0x06, "CFG-MSGOUT-NMEA_ID_GRS_UART1" },
    { 0x209100C0, NmeaStd, 0x02, "CFG-MSGOUT-NMEA_ID_GSA_UART1" },
    { 0x209100D4, NmeaStd, 0x07, "CFG-MSGOUT-NMEA_ID_GST_UART1" },
    { 0x209100C5, NmeaStd, 0x03, "CFG-MSGOUT-NMEA_ID_GSV_UART1" },
    { 0x209100AC, NmeaStd, 0x04, "CFG-MSGOUT-NMEA_ID_RMC_UART1" },
    { 0x209100B1, NmeaStd, 0x05, "CFG-MSGOUT-NMEA_ID_VTG_UART1" },
    { 0x209100D9, NmeaStd, 0x08, "CFG-MSGOUT-NMEA_ID_ZDA_UART1" },
    { Key::Uart1Baudrate, 0, 0, "CFG-UART1-BAUDRATE" },
    { Key::Uart1InUbx, 0, 0, "CFG-UART1INPROT-UBX" },
    { Key::Uart1InNmea, 0, 0, "CFG-UART1INPROT-NMEA" },
    { Key::Uart1OutUbx, 0, 0, "CFG-UART1OUTPROT-UBX" },
    { Key::Uart1OutNmea, 0, 0, "CFG-UART1OUTPROT-NMEA" },
    { Key::TmodeMode, 0, 0, "CFG-TMODE-MODE" },
    { Key::TmodePosType, 0, 0, "CFG-TMODE-POS_TYPE" },
    { Key::TmodeEcefX, 0, 0, "CFG-TMODE-ECEF_X" },
    { Key::TmodeEcefY, 0, 0, "CFG-TMODE-ECEF_Y" },
    { Key::TmodeEcefZ, 0, 0, "CFG-TMODE-ECEF_Z" },
    { Key::TmodeEcefXHp, 0, 0, "CFG-TMODE-ECEF_X_HP" },
    { Key::TmodeEcefYHp, 0, 0, "CFG-TMODE-ECEF_Y_HP" },
    { Key::TmodeEcefZHp, 0, 0, "CFG-TMODE-ECEF_Z_HP" },
    { Key::TmodeFixedPosAcc, 0, 0, "CFG-TMODE-FIXED_POS_ACC" },
    { Key::TmodeSvinMinDur, 0, 0, "CFG-TMODE-SVIN_MIN_DUR" },
    { Key::TmodeSvinAccLimit, 0, 0, "CFG-TMODE-SVIN_ACC_LIMIT" },
    { Key::NavSpgFixMode, 0, 0, "CFG-NAVSPG-FIXMODE" },
    { Key::NavSpgDynModel, 0, 0, "CFG-NAVSPG-DYNMODEL" },
    { Key::NavSpgMinElev, 0, 0, "CFG-NAVSPG-INFIL_MINELEV" },
    { Key::AntVoltCtrl, 0, 0, "CFG-HW-ANT_CFG_VOLTCTRL" },
    { Key::AntShortDet, 0, 0, "CFG-HW-ANT_CFG_SHORTDET" },
    { Key::AntOpenDet, 0, 0, "CFG-HW-ANT_CFG_OPENDET" },
    { Key::AntPwrDown, 0, 0, "CFG-HW-ANT_CFG_PWRDOWN" },
    { Key::AntRecover, 0, 0, "CFG-HW-ANT_CFG_RECOVER" },
};

QList<KeyValue> outputValues(const QList<MessageId> &messages, uint8_t rate)
{
    QList<KeyValue> out;
    for (const MessageId &m : messages)
        if (const uint32_t key = uart1OutputKey(m.cls, m.id))
            out.append({ key, rate });
    return out;
}

// Survey-in limits shared with CFG-TMODE2: at least 5008 s, to 0.2 m (units of 0.1 mm).
constexpr uint32_t SurveyMinSeconds = 5008;
constexpr uint32_t SurveyAccuracyLimit = 2000;

} // namespace

int valueSize(uint32_t key)
{
    switch ((key >> 28) & 0x07) {
    case 1:
    case 2: return 1;
    case 3: return 2;
    case 4: return 4;
    case 5: return 8;
    default: return 0;
    }
}

QString keyName(uint32_t key)
{
    for (const NamedKey &k : namedKeys)
        if (k.key == key)
            return QLatin1String(k.name);
    return QString::asprintf("0x%08X", key);
}

uint32_t uart1OutputKey(uint8_t cls, uint8_t id)
{
    for (const NamedKey &k : namedKeys)
        if (k.cls != 0 && k.cls == cls && k.id == id)
            return k.key;
    return 0;
}

bool outputMessageOfKey(uint32_t key, MessageId &message)
{
    for (const NamedKey &k : namedKeys) {
        if (k.key == key && k.cls != 0) {
            message = { k.cls, k.id };
            return true;
        }
    }
    return false;
}

QByteArray cfgValSet(const QList<KeyValue> &values, uint8_t layers)
{
    QByteArray p;
    appendU8(p, 0x00);     // version
    appendU8(p, layers);
    appendU16(p, 0x0000);  // reserved
    for (const KeyValue &kv : values) {
        appendU32(p, kv.key);
        for (int b = 0; b < valueSize(kv.key); ++b)
            appendU8(p, uint8_t(kv.value >> (8 * b)));
    }
    return frame(Cfg, 0x8A, p);
}

QByteArray cfgValGet(const QList<uint32_t> &keys, uint8_t layer)
{
    QByteArray p;
    appendU8(p, 0x00);     // version: poll
    appendU8(p, layer);
    appendU16(p, 0x0000);  // position
    for (const uint32_t key : keys)
        appendU32(p, key);
    return frame(Cfg, 0x8B, p);
}

QList<KeyValue> readValSet(QByteArrayView f)
{
    if (f.size() < 10 || uint8_t(f[0]) != 0xB5 || uint8_t(f[1]) != 0x62 || uint8_t(f[2]) != Cfg || uint8_t(f[3]) != 0x8A)
        return {};
    const qsizetype length = uint8_t(f[4]) | (qsizetype(uint8_t(f[5])) << 8);
    if (f.size() != 6 + length && f.size() != 8 + length)
        return {};
    const QByteArrayView p = f.sliced(6, length);
    QList<KeyValue> out;
    qsizetype o = 4;
    while (o + 4 <= p.size()) {
        uint32_t key = 0;
        for (int b = 3; b >= 0; --b)
            key = (key << 8) | uint8_t(p[o + b]);
        const int size = valueSize(key);
        if (size == 0 || o + 4 + size > p.size())
            return {};
        uint64_t value = 0;
        for (int b = size - 1; b >= 0; --b)
            value = (value << 8) | uint8_t(p[o + 4 + b]);
        out.append({ key, value });
        o += 4 + size;
    }
    return o == p.size() ? out : QList<KeyValue> {};
}

QList<KeyValue> portValues(uint32_t baudRate)
{
    return { { Key::Uart1Baudrate, baudRate }, { Key::Uart1InUbx, 1 }, { Key::Uart1InNmea, 1 },
             { Key::Uart1OutUbx, 1 }, { Key::Uart1OutNmea, 1 } };
}

QList<KeyValue> outputsOffValues()
{
    QList<MessageId> all = messagesSwitchedOff();
    // What generation 9 sends in place of NAV-SVINFO and MON-HW, and its other time messages.
    all += { { Nav, 0x35 }, { Nav, 0x07 }, { Mon, 0x38 }, { Nav, 0x20 }, { Nav, 0x01 }, { Nav, 0x22 }, { Nav, 0x26 } };
    return outputValues(all, 0);
}

QList<KeyValue> antennaValues()
{
    // CFG-ANT flags 0x0017: supply control, short and open detection, automatic recovery.
    return { { Key::AntVoltCtrl, 1 }, { Key::AntShortDet, 1 }, { Key::AntOpenDet, 1 }, { Key::AntPwrDown, 0 },
             { Key::AntRecover, 1 } };
}

QList<KeyValue> modeOutputValues(int receiverMode)
{
    if (receiverMode == ReceiverMode::UbloxNmea)
        return outputValues(nmeaModeMessages(), 1);
    QList<MessageId> messages = ubxModeMessages(ValSetProtocolVersion);
    for (MessageId &m : messages)
        if (m.cls == Mon && m.id == 0x09)
            m.id = 0x38;   // the antenna status is in MON-RF
    return outputValues(messages, 1);
}

QList<KeyValue> navigationValues(uint8_t dynModel, int minElevationDeg)
{
    return { { Key::NavSpgDynModel, dynModel }, { Key::NavSpgFixMode, 3 },
             { Key::NavSpgMinElev, uint8_t(minElevationDeg < 1 ? 0 : qMin(minElevationDeg, 127)) } };
}

QList<KeyValue> timeModeFixedValues(const EcefCm &p)
{
    return { { Key::TmodeMode, 2 }, { Key::TmodePosType, 0 },
             { Key::TmodeEcefX, uint32_t(p.x) }, { Key::TmodeEcefY, uint32_t(p.y) }, { Key::TmodeEcefZ, uint32_t(p.z) },
             { Key::TmodeEcefXHp, 0 }, { Key::TmodeEcefYHp, 0 }, { Key::TmodeEcefZHp, 0 },
             { Key::TmodeFixedPosAcc, 0 } };
}

QList<KeyValue> timeModeSurveyInValues()
{
    return { { Key::TmodeMode, 1 }, { Key::TmodeSvinMinDur, SurveyMinSeconds },
             { Key::TmodeSvinAccLimit, SurveyAccuracyLimit } };
}

QList<KeyValue> timeModeDisabledValues() { return { { Key::TmodeMode, 0 } }; }

QList<QByteArray> surveyInCommands(double protocolVersion)
{
    QList<QByteArray> out { timSvinOn() };
    if (usesConfigurationKeys(protocolVersion)) {
        out.append(cfgValSet(timeModeSurveyInValues()));
        return out;
    }
    if (!usesNavSat(protocolVersion))
        out.append(cfgTmodeSurveyIn());
    out.append(cfgTmode2SurveyIn());
    return out;
}

QString refusedText(const QByteArray &command)
{
    if (command.size() < 6 || uint8_t(command[0]) != 0xB5 || uint8_t(command[1]) != 0x62)
        return QStringLiteral("UBX ERROR: the receiver refused a command");
    const uint8_t cls = uint8_t(command[2]);
    const uint8_t id = uint8_t(command[3]);
    if (cls == Cfg && id == 0x8A) {
        QStringList keys;
        for (const KeyValue &kv : readValSet(command))
            keys.append(keyName(kv.key) + QLatin1Char('=') + QString::number(kv.value));
        return QStringLiteral("UBX ERROR: the receiver refused CFG-VALSET ") + keys.join(QStringLiteral(", "));
    }
    return QString::asprintf("UBX ERROR: the receiver refused the command class 0x%2.2X, ID 0x%2.2X", cls, id);
}

} // namespace Ubx

bool sendUbxConfiguration(UbxSetupHost &host, int receiverMode, int portRate)
{
    // 1. Port: rate, 8N1, UBX and NMEA both ways.
    host.sendGpsRxCommand(Ubx::cfgPrt(uint32_t(portRate)));
    host.portCommandSent(portRate);

    // 2. Is the receiver still there at this rate?
    host.pause(100);
    if (!host.sendAndAwaitAnswer(Ubx::monVerPoll(), AnswerFamily::Ublox, Ubx::MonVerTimeoutMs)) {
        host.setStatusText(QString::fromLatin1(Ubx::setupFailureText()));
        return false;
    }

    // Generation 9: the same choices as configuration keys, each acknowledged.
    if (Ubx::usesConfigurationKeys(host.protocolVersion())) {
        const QList<QList<Ubx::KeyValue>> steps { Ubx::outputsOffValues(), Ubx::portValues(uint32_t(portRate)),
                                                  Ubx::antennaValues(), Ubx::modeOutputValues(receiverMode) };
        for (const QList<Ubx::KeyValue> &values : steps) {
            const QByteArray command = Ubx::cfgValSet(values);
            if (host.sendAndAwaitAck(command, Ubx::AckTimeoutMs) == Ubx::AckResult::Refused)
                host.setStatusText(Ubx::refusedText(command));
        }
        if (receiverMode == ReceiverMode::UbloxNmea)
            host.setStatusText(QString::fromLatin1(Ubx::nmeaModeText()));
        host.setNavigationIndicator(0);
        host.applyReceiverSettings();
        return true;
    }

    // 3. Everything off, so the receiver only sends what this mode asks for.
    for (const Ubx::MessageId &m : Ubx::messagesSwitchedOff())
        host.sendGpsRxCommand(Ubx::cfgMsg(m.cls, m.id, 0));

    // 4. Antenna supervision.
    host.sendGpsRxCommand(Ubx::cfgAnt());

    // 5. The mode's own outputs.
    if (receiverMode == ReceiverMode::UbloxNmea) {
        for (const Ubx::MessageId &m : Ubx::nmeaModeMessages())
            host.sendGpsRxCommand(Ubx::cfgMsg(m.cls, m.id, 1));
        host.setStatusText(QString::fromLatin1(Ubx::nmeaModeText()));
    } else {
        for (const Ubx::MessageId &m : Ubx::ubxModeMessages(host.protocolVersion()))
            host.sendGpsRxCommand(Ubx::cfgMsg(m.cls, m.id, 1));
    }

    // 6. Navigating until a fix says otherwise; then the user's receiver settings.
    host.setNavigationIndicator(0);
    host.applyReceiverSettings();

    // 7. Keep it across power cycles.
    host.sendGpsRxCommand(Ubx::cfgCfgSave());
    return true;
}

UbxChannelSetupHost::UbxChannelSetupHost(ReceiverCommandChannel &channel, ReceiverState &state)
    : m_channel(channel)
    , m_state(state)
{
}

void UbxChannelSetupHost::sendGpsRxCommand(const QByteArray &command)
{
    m_channel.sendGpsRxCommand(command);
}

bool UbxChannelSetupHost::sendAndAwaitAnswer(const QByteArray &command, AnswerFamily family, int timeoutMs)
{
    return m_channel.sendAndAwaitAnswer(command, family, timeoutMs);
}

void UbxChannelSetupHost::pause(int ms)
{
    m_channel.pause(ms);
}

void UbxChannelSetupHost::setStatusText(const QString &text)
{
    if (statusText)
        statusText(text);
}

void UbxChannelSetupHost::setNavigationIndicator(int value)
{
    if (navigationIndicator)
        navigationIndicator(value);
}

void UbxChannelSetupHost::applyReceiverSettings()
{
    if (receiverSettings)
        receiverSettings();
}

Ubx::AckResult UbxChannelSetupHost::sendAndAwaitAck(const QByteArray &command, int timeoutMs)
{
    if (command.size() < 4)
        return Ubx::AckResult::NoAnswer;
    // ACK-ACK or ACK-NAK naming this command's class and ID, and nothing else, ends the wait.
    const QByteArray cls = command.mid(2, 2);
    m_state.lastUbxAck = {};
    const bool answered = m_channel.sendAndAwait(command, AnswerFamily::Ublox,
                                                 { QByteArray::fromHex("b56205010200") + cls,
                                                   QByteArray::fromHex("b56205000200") + cls },
                                                 timeoutMs);
    if (!answered)
        return Ubx::AckResult::NoAnswer;
    return m_state.lastUbxAck.accepted ? Ubx::AckResult::Accepted : Ubx::AckResult::Refused;
}

void UbxChannelSetupHost::portCommandSent(int baudRate)
{
    if (portRateSent)
        portRateSent(baudRate);
}
