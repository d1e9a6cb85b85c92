#include "receiver/ubx/UbxConfiguration.h"

#include "receiver/framing/Checksums.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "core/ReceiverMode.h"

#include <QEventLoop>
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

QList<MessageId> nmeaModeMessages()
{
    return { { NmeaStd, 0x00 }, { NmeaStd, 0x02 }, { NmeaStd, 0x03 }, { NmeaStd, 0x04 }, { NmeaStd, 0x08 } };
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
        for (const Ubx::MessageId &m : Ubx::ubxModeMessages())
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

void UbxChannelSetupHost::portCommandSent(int baudRate)
{
    if (portRateSent)
        portRateSent(baudRate);
}
