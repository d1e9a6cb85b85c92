#pragma once

#include "core/ReceiverState.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>

class ReceiverCommandChannel;

// u-blox UBX commands and the initialisation sequence for the "u-blox UBX" and "u-blox NMEA"
// modes.
//
// Every builder returns a frame from 0xB5 0x62 through the payload WITHOUT the two check
// bytes: the send path (ReceiverCommandChannel::sendGpsRxCommand) appends CK_A CK_B. Use
// withChecksum() where a complete frame is needed (tests, the simulated receiver, tools).
namespace Ubx {

// Message classes.
enum Class : uint8_t {
    Nav = 0x01, Rxm = 0x02, Inf = 0x04, Ack = 0x05, Cfg = 0x06, Upd = 0x09, Mon = 0x0A,
    Aid = 0x0B, Tim = 0x0D, NmeaStd = 0xF0, NmeaPubx = 0xF1,
};

// B5 62 class id length(u16 LE) payload, without check bytes.
QByteArray frame(uint8_t cls, uint8_t id, QByteArrayView payload = {});
// The frame with CK_A CK_B appended (8-bit Fletcher over class, id, length and payload).
QByteArray withChecksum(QByteArrayView frameWithoutChecksum);
// A whole frame: starts B5 62, at least 8 bytes, the length field matches the size and both
// check bytes are right.
bool isCompleteFrame(QByteArrayView frame);

// CFG-PRT for UART 1: 8N1, UBX+NMEA in and out, the given baud rate (little-endian).
QByteArray cfgPrt(uint32_t baudRate);
// CFG-MSG: output rate of one message on the current port (0 = off).
QByteArray cfgMsg(uint8_t msgClass, uint8_t msgId, uint8_t rate);
// CFG-MSG 0D 04 rate 0: TIM-SVIN output off.
QByteArray timSvinOff();
// CFG-MSG 0D 04 rate 1: TIM-SVIN output on.
QByteArray timSvinOn();
// CFG-ANT: flags 0x0017 (supply control, short and open detection, automatic recovery), pins 0.
QByteArray cfgAnt();
// CFG-CFG: save port, message, navigation and antenna configuration.
QByteArray cfgCfgSave();
// Polls (zero-length frames).
QByteArray monVerPoll();   // B5 62 0A 04 00 00
QByteArray aidHuiPoll();   // B5 62 0B 02 00 00
// Receiver self survey: CFG-TMODE and CFG-TMODE2 with time mode 1 (survey-in), fixed position
// 0, accuracy/variance 4000, minimum duration 5008 s, limit 2000.
QByteArray cfgTmodeSurveyIn();
QByteArray cfgTmode2SurveyIn();
// Position hold at a fixed position: CFG-TMODE and CFG-TMODE2 with time mode 2 and the
// position as ECEF centimetres (every other field 0).
QByteArray cfgTmodeFixed(int32_t xCm, int32_t yCm, int32_t zCm);
QByteArray cfgTmode2Fixed(int32_t xCm, int32_t yCm, int32_t zCm);
// CFG-NAV5: mask 0x0007 (dynamic model, fix mode, elevation mask), the dynamic model, fix
// mode 3 (auto 2-D/3-D), the elevation mask in degrees (values below 1 send 0), rest 0.
QByteArray cfgNav5(uint8_t dynModel, int minElevationDeg);

// WGS-84 geodetic position (degrees, metres above the ellipsoid) to ECEF, rounded to whole
// centimetres as CFG-TMODE wants them.
struct EcefCm
{
    int32_t x;
    int32_t y;
    int32_t z;
};
EcefCm ecefCentimetres(double latDeg, double lonDeg, double heightM);

// One CFG-MSG target.
struct MessageId
{
    uint8_t cls;
    uint8_t id;
};
// Step 3: every message switched off, in sending order.
QList<MessageId> messagesSwitchedOff();
// Step 5 in mode 9: the UBX messages switched on, in sending order.
QList<MessageId> ubxModeMessages();
// Step 5 in mode 10: the NMEA sentences switched on (GGA, GSA, GSV, RMC, ZDA).
QList<MessageId> nmeaModeMessages();

} // namespace Ubx

// What the initialisation sequence needs from its caller (receiver detection). The first three
// are what ReceiverCommandChannel offers; waits must keep decoding incoming frames, since the
// answer to the MON-VER poll is recognised by the UBX decoder setting AnswerFamily::Ublox.
class UbxSetupHost
{
public:
    virtual ~UbxSetupHost() = default;
    virtual void sendGpsRxCommand(const QByteArray &command) = 0;
    virtual bool sendAndAwaitAnswer(const QByteArray &command, AnswerFamily family, int timeoutMs) = 0;
    // Waits while incoming frames go on being decoded.
    virtual void pause(int ms) = 0;
    // The receiver-description / status label.
    virtual void setStatusText(const QString &text) = 0;
    virtual void setNavigationIndicator(int value) = 0;
    // Step 6 after the navigation indicator: receiver settings, Garmin settings when that
    // option is on, timing commands.
    virtual void applyReceiverSettings() = 0;
    // Called right after CFG-PRT went out, for a caller that sends it at the receiver's old
    // rate and moves the local port to the new one here.
    virtual void portCommandSent(int baudRate) { Q_UNUSED(baudRate); }
};

// UbxSetupHost over the program's command channel. The display and settings steps belong to
// receiver detection, which hands them in; unset hooks do nothing.
class UbxChannelSetupHost : public UbxSetupHost
{
public:
    UbxChannelSetupHost(ReceiverCommandChannel &channel, ReceiverState &state);

    std::function<void(const QString &)> statusText;
    std::function<void(int)> navigationIndicator;
    std::function<void()> receiverSettings;
    std::function<void(int)> portRateSent;

    void sendGpsRxCommand(const QByteArray &command) override;
    bool sendAndAwaitAnswer(const QByteArray &command, AnswerFamily family, int timeoutMs) override;
    void pause(int ms) override;
    void setStatusText(const QString &text) override;
    void setNavigationIndicator(int value) override;
    void applyReceiverSettings() override;
    void portCommandSent(int baudRate) override;

private:
    ReceiverCommandChannel &m_channel;
    ReceiverState &m_state;
};

namespace Ubx {
constexpr int MonVerTimeoutMs = 3000;
inline const char *setupFailureText() { return "UBX ERROR: COM port setup failure"; }
inline const char *nmeaModeText() { return "u-blox NMEA Mode"; }
} // namespace Ubx

// The u-blox initialisation sequence (receiver modes 9 and 10) at the given port rate:
// port set-up, MON-VER check, all outputs off, antenna, the mode's outputs on, receiver
// settings, save. Returns false (after showing the failure text) when MON-VER is not answered;
// nothing after the check is sent then.
bool sendUbxConfiguration(UbxSetupHost &host, int receiverMode, int portRate);
