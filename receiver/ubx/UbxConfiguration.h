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

// ECEF metres to WGS-84 latitude, longitude (degrees) and height above the ellipsoid (metres).
struct Geodetic
{
    double latDeg;
    double lonDeg;
    double heightM;
};
Geodetic geodeticFromEcef(double x, double y, double z);

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

// --- receiver generations ------------------------------------------------------------------
// MON-VER's "PROTVER" extension names the protocol version. From 15 (M8) the receiver has
// NAV-PVT and NAV-SAT (NAV-SVINFO goes with generation 9) and its time mode is CFG-TMODE2; from
// 27 (generation 9: F9T and later) it is configured through configuration keys (CFG-VALSET).
// An unknown version (0) is served as the oldest receivers: CFG-MSG, CFG-TMODE and CFG-TMODE2.
constexpr double NavSatProtocolVersion = 15.0;
constexpr double ValSetProtocolVersion = 27.0;
inline bool usesNavSat(double protocolVersion) { return protocolVersion >= NavSatProtocolVersion; }
inline bool usesConfigurationKeys(double protocolVersion) { return protocolVersion >= ValSetProtocolVersion; }

// Step 5 in mode 9 for a receiver of the given protocol version: NAV-PVT and NAV-SAT in place
// of NAV-SVINFO from version 15, the list above before.
QList<MessageId> ubxModeMessages(double protocolVersion);

// Configuration keys (the u-blox key IDs; bits 28-30 give the value size).
namespace Key {
constexpr uint32_t Uart1Baudrate = 0x40520001;
constexpr uint32_t Uart1InUbx = 0x10730001;
constexpr uint32_t Uart1InNmea = 0x10730002;
constexpr uint32_t Uart1OutUbx = 0x10740001;
constexpr uint32_t Uart1OutNmea = 0x10740002;
constexpr uint32_t TmodeMode = 0x20030001;
constexpr uint32_t TmodePosType = 0x20030002;
constexpr uint32_t TmodeEcefX = 0x40030003;
constexpr uint32_t TmodeEcefY = 0x40030004;
constexpr uint32_t TmodeEcefZ = 0x40030005;
constexpr uint32_t TmodeEcefXHp = 0x20030006;
constexpr uint32_t TmodeEcefYHp = 0x20030007;
constexpr uint32_t TmodeEcefZHp = 0x20030008;
constexpr uint32_t TmodeFixedPosAcc = 0x4003000F;
constexpr uint32_t TmodeSvinMinDur = 0x40030010;
constexpr uint32_t TmodeSvinAccLimit = 0x40030011;
constexpr uint32_t NavSpgFixMode = 0x20110011;
constexpr uint32_t NavSpgDynModel = 0x20110021;
constexpr uint32_t NavSpgMinElev = 0x201100A4;
constexpr uint32_t AntVoltCtrl = 0x10A3002E;
constexpr uint32_t AntShortDet = 0x10A3002F;
constexpr uint32_t AntOpenDet = 0x10A30031;
constexpr uint32_t AntPwrDown = 0x10A30033;
constexpr uint32_t AntRecover = 0x10A30035;
} // namespace Key

// Value size in bytes of a configuration key (a one-bit value takes a byte); 0 for an invalid
// size field.
int valueSize(uint32_t key);
// The key's name ("CFG-TMODE-MODE", "CFG-MSGOUT-UBX_NAV_SAT_UART1"), or "0x%08X".
QString keyName(uint32_t key);
// Output rate key on UART 1 of a message (class and ID); 0 when the message has none.
uint32_t uart1OutputKey(uint8_t cls, uint8_t id);
// The message whose UART 1 output rate a key sets; false for other keys.
bool outputMessageOfKey(uint32_t key, MessageId &message);

struct KeyValue
{
    uint32_t key;
    uint64_t value;
    bool operator==(const KeyValue &) const = default;
};
enum Layer : uint8_t { RamLayer = 0x01, BbrLayer = 0x02, FlashLayer = 0x04 };

// CFG-VALSET (version 0) writing the values to the given layers (RAM and flash by default).
QByteArray cfgValSet(const QList<KeyValue> &values, uint8_t layers = RamLayer | FlashLayer);
// CFG-VALGET polling keys from one layer (0 RAM, 1 BBR, 2 flash, 7 default).
QByteArray cfgValGet(const QList<uint32_t> &keys, uint8_t layer = 0);
// The key/value pairs of a CFG-VALSET frame (with or without check bytes); empty for anything
// else.
QList<KeyValue> readValSet(QByteArrayView frame);

// The generation-9 choices, one CFG-VALSET each:
QList<KeyValue> portValues(uint32_t baudRate);             // UART 1 rate, UBX+NMEA in and out
QList<KeyValue> outputsOffValues();                        // every output of step 3 off
QList<KeyValue> antennaValues();                           // as CFG-ANT flags 0x0017
QList<KeyValue> modeOutputValues(int receiverMode);        // step 5 (MON-RF in place of MON-HW)
QList<KeyValue> navigationValues(uint8_t dynModel, int minElevationDeg);   // as CFG-NAV5
QList<KeyValue> timeModeFixedValues(const EcefCm &position);               // position hold
QList<KeyValue> timeModeSurveyInValues();                                  // survey-in
QList<KeyValue> timeModeDisabledValues();                                  // navigating

// The receiver's own survey-in for a receiver of the given protocol version: TIM-SVIN on,
// then CFG-TMODE and CFG-TMODE2 (unknown version), CFG-TMODE2 (from 15) or the time-mode keys
// (from 27). Without check bytes.
QList<QByteArray> surveyInCommands(double protocolVersion);

// The text shown when the receiver refuses (ACK-NAK) a command.
QString refusedText(const QByteArray &command);

enum class AckResult { Accepted, Refused, NoAnswer };

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
    // The receiver's protocol version, known once MON-VER has answered (0 = unknown).
    virtual double protocolVersion() const { return 0.0; }
    // Sends a configuration command and waits for the receiver's ACK-ACK or ACK-NAK of it.
    virtual Ubx::AckResult sendAndAwaitAck(const QByteArray &command, int timeoutMs)
    {
        return sendAndAwaitAnswer(command, AnswerFamily::Ublox, timeoutMs) ? Ubx::AckResult::Accepted
                                                                           : Ubx::AckResult::NoAnswer;
    }
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
    double protocolVersion() const override { return m_state.ubxProtocolVersion; }
    // Waits only for the acknowledgement of the command's class and ID.
    Ubx::AckResult sendAndAwaitAck(const QByteArray &command, int timeoutMs) override;

private:
    ReceiverCommandChannel &m_channel;
    ReceiverState &m_state;
};

namespace Ubx {
constexpr int MonVerTimeoutMs = 3000;
constexpr int AckTimeoutMs = 3000;
inline const char *setupFailureText() { return "UBX ERROR: COM port setup failure"; }
inline const char *nmeaModeText() { return "u-blox NMEA Mode"; }
} // namespace Ubx

// The u-blox initialisation sequence (receiver modes 9 and 10) at the given port rate:
// port set-up, MON-VER check, all outputs off, antenna, the mode's outputs on, receiver
// settings, save. Returns false (after showing the failure text) when MON-VER is not answered;
// nothing after the check is sent then. A receiver of protocol version 27 or later gets the
// same choices as configuration keys: one CFG-VALSET each for the outputs off, the port
// protocols, the antenna and the mode's outputs, into RAM and flash (so no CFG-CFG), each
// awaiting its acknowledgement; a refusal shows refusedText() and the sequence goes on.
bool sendUbxConfiguration(UbxSetupHost &host, int receiverMode, int portRate);
