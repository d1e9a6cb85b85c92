#pragma once

#include "receiver/DecoderContext.h"
#include "receiver/MessageDecoders.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

// Decodes u-blox UBX frames (whole, from 0xB5 0x62 through CK_B) into the receiver state, the
// averaging engine and the display, and returns the one-line text for the raw-data window.
//
// Text layout: "UBX-<group>-<message> <fields>", e.g. "UBX-TIM-TP towMS = ...". Payload bytes
// past the decoded fields, payloads of name-only messages (RXM except RAW, UPD) and whole
// frames of unknown classes or IDs are shown as "<%2.2X>" per byte. A payload too short for its message shows the
// name and its bytes and changes nothing. A frame that is not a complete, checksum-correct UBX
// frame gives an empty text.
//
// Satellite table (NAV-SVINFO), per channel block, written at index svid:
//   svFlags   = flags & 0x11: bit 0 used in the solution, bit 4 unhealthy (the u-blox meaning
//               of those bits matches the table's u-blox flags; the orbit and correction bits
//               are not kept, so bit 7 never switches the display to Motorola tracking names);
//   trackMode = quality mapped onto the channel tracking codes: 0 idle -> 0 "Code Search",
//               1 searching -> 1 "Code Acquire", 2 acquired and 3 detected but unusable ->
//               3 "Freq Acquire", 4 code locked and 5-7 code and carrier locked -> 8
//               "Available"; anything else -> 9 "Not Locked";
//   inTrack   = 1 when the block names a channel (chn below 255);
//   riseSet   = the elevation trend kept per satellite (a change of 2 degrees or more).
// Counts: visible = blocks naming a satellite (svid not 0; receivers pad with empty blocks),
// tracked = blocks with cno of 1 or more, used = blocks flagged used. The used count is the
// engine's number of satellites in the timing solution, which its lock test needs.
//
// NAV-STATUS sets the navigation indicator: 1 "Position Hold" for a time-only fix (and sends
// TIM-SVIN off each time), else 0 "Navigating" unless the station is surveying (navigation
// state 2), which only a time-only fix ends.
//
// Today's receivers (u-blox 7, M8, F9 and later): NAV-PVT (time when date and time are valid,
// fix type as NAV-STATUS's gpsFix, position, speed and heading from a valid fix, pDOP,
// satellites used), NAV-SAT (every constellation into the table in the GSV decoder's numbering;
// BeiDou above 37 has no place there and is only counted), NAV-SOL (ECEF converted to
// latitude, longitude and heights), NAV-CLOCK, NAV-TIMELS (leap seconds and a pending change),
// MON-RF (antenna status as MON-HW's) and the CFG-VALGET answer. MON-VER's "PROTVER" extension
// goes to ubxProtocolVersion; every ACK-ACK/NAK to lastUbxAck. NAV-PVT and NAV-SAT build their
// texts only while they can be seen (raw-data window opened once, or alwaysBuildTexts).
//
// RXM-RAW (raw measurements of the timing modules) goes whole to the GPS log's raw epoch, for
// the RINEX log type; its text lists each satellite's observables.
//
// Every complete frame goes to the GPS log's binary record (without CK_A CK_B) before decoding.
//
// Awaited answers: MON-VER, ACK-ACK/NAK, every CFG echo and AID-HUI answer for
// AnswerFamily::Ublox through ReceiverState::noteAnswer with the whole frame, so a wait that
// names the heads it takes (B5 62 0A 04 for the MON-VER poll) is ended only by those.
class UbxDecoder : public UbxMessageDecoder
{
public:
    explicit UbxDecoder(const DecoderContext &context);

    QString decodeUbxFrame(const QByteArray &frame) override;

    // The warning the last frame wrote to the debug log, empty when none.
    QString lastWarning() const { return m_lastWarning; }
    // True after a NAV-STATUS with a time-only fix (gpsFix 5) until the next other NAV-STATUS.
    bool timeOnlyFix() const { return m_timeOnlyFix; }

    // "<B5><62>..." rendering of bytes that are not decoded.
    static QString bytesText(QByteArrayView bytes);
    // Trackmode code for a NAV-SVINFO quality value (see above).
    static uint8_t trackModeForQuality(uint8_t quality);
    // Leap second announced by AID-HUI fields: 0 none, 1 a positive one pending, 2 a negative
    // one. nowSeconds counts from the GPS epoch (1980-01-06) on the UTC scale; wnf is the
    // broadcast week modulo 256 and dn the day (1 = Sunday) at whose end the step happens.
    static int leapSecondPending(int utcLs, int utcLsf, int wnf, int dn, int64_t nowSeconds);
    // Table index of a NAV-SAT satellite (GNSS ID and number): the numbering the NMEA decoder
    // uses for GSV; 0 when it has no place in the table.
    static int tableIdForGnss(int gnssId, int svId);
    // Protocol version named by MON-VER's extension strings ("PROTVER=29.25" or
    // "PROTVER 15.00"); 0 when none names it.
    static double protocolVersionOf(QByteArrayView extensions);

    // What the last frame changed (DecodeChange bits).
    int lastChanges() const { return m_changes; }

private:
    int m_changes = 0;
    struct Payload;
    struct Result;

    Result decodeNav(uint8_t id, const Payload &p);
    Result decodeTim(uint8_t id, const Payload &p);
    Result decodeCfg(uint8_t id, const Payload &p);
    Result decodeMon(uint8_t id, const Payload &p);
    Result decodeAid(uint8_t id, const Payload &p);
    Result decodeAck(uint8_t id, const Payload &p);
    Result decodeInf(uint8_t id, const Payload &p);
    Result decodeRxm(uint8_t id, const Payload &p);
    Result decodeUpd(uint8_t id, const Payload &p);

    Result navStatus(const Payload &p);
    Result navDop(const Payload &p);
    Result navTimeUtc(const Payload &p);
    Result navSvInfo(const Payload &p);
    Result monVer(const Payload &p);
    Result monHw(const Payload &p);
    Result aidHui(const Payload &p);
    Result cfgTp5(const Payload &p);
    Result cfgValGet(const Payload &p);
    Result navPvt(const Payload &p);
    Result navSat(const Payload &p);
    Result navSol(const Payload &p);
    Result navClock(const Payload &p);
    Result navTimeLs(const Payload &p);
    Result monRf(const Payload &p);
    Result rxmRaw(const Payload &p);

    void applyFix(uint8_t gpsFix, const QString &status, bool svinOffAtTimeFix);
    bool storeTime(int year, int month, int day, int hour, int minute, int second, int32_t nano, const char *message);
    int32_t elevationTrend(int index, int elev);
    bool wantTexts() const;

    void setNavigation(int value);
    void setAntenna(int value);
    void markAnswered();

    DecoderContext m_context;
    QByteArrayView m_frame;   // the frame being decoded, for the answer check
    QString m_lastWarning;
    bool m_timeOnlyFix = false;
    bool m_posLlhSeen = false;   // the receiver sends NAV-POSLLH
};
