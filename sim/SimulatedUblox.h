#pragma once

#include "sim/SimulatedLine.h"
#include "sim/SimulatedSky.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QStringList>
#include <cstdint>

// The u-blox timing module personality of the simulated receiver (models "LEA-6T", "LEA-4T",
// "u-blox", and today's "NEO-M8T" and "ZED-F9T", whose own messages and configuration keys
// are in SimulatedUbloxF9). It reports the shared sky (position, satellites, sawtooth), answers
// through the shared line (rate mismatch, dropped and ignored answers) and speaks UBX:
//   - factory state: NMEA GGA, GLL, GSA, GSV, RMC, VTG and TXT once a second at 9600, no ZDA,
//     no UBX output;
//   - MON-VER and AID-HUI polls are answered, CFG polls with the setting (as last set, or the
//     factory value) followed by ACK-ACK, CFG settings with ACK-ACK (unknown CFG IDs with
//     ACK-NAK); CFG-MSG sets the output rate of any UBX or NMEA message it knows;
//   - CFG-PRT moves the port rate once its ACK-ACK has gone out at the old rate;
//   - CFG-TMODE / CFG-TMODE2 with time mode 2 (fixed position) put it in a time-only fix.
// Like the Motorola personality, every message describes the coming 1PPS: secondOutput(s) is
// sent in the second before the pulse at s, TIM-TP announces that pulse and its qErr.
//
// Output order within a second: NAV-TIMEUTC, NAV-TIMEGPS, NAV-POSLLH, NAV-STATUS, NAV-DOP,
// NAV-SVINFO, NAV-VELNED, TIM-TP, TIM-SVIN, MON-HW, RXM-RAW, then the NMEA sentences GGA, GLL, GSA, GSV,
// RMC, VTG, ZDA and TXT. NAV-SVINFO lists every satellite above the horizon: tracked ones on
// their channel (flags 0x01 used, quality 7, their C/No), the others with chn 255, flags 0,
// quality 1 and cno 0.
// RXM-RAW (raw measurements, LEA-4T, LEA-6T and "u-blox" only; the others NAK its CFG-MSG)
// lists the tracked satellites: a pseudorange that follows the pass (about 25 800 km at the
// horizon, 20 100 km overhead) plus the receiver clock's offset, a carrier phase that is that
// range in L1 cycles plus a whole number per pass, and the Doppler that is the phase's rate.
// Below 30 dBHz the phase is not locked (quality 4, phase 0, LLI 3).
class SimulatedUblox
{
public:
    // The model's identity (MON-VER, start-up texts) is the sky's configured model; unknown
    // names play the LEA-6T. Sky and line must outlive it.
    SimulatedUblox(SimulatedSky &sky, SimulatedLine &line);

    // Fills `config` for a u-blox model name; false (config untouched) for any other name.
    static bool configure(const QString &name, SimulatedReceiverConfig &config);
    static QStringList modelNames();

    QByteArray receive(QByteArrayView bytes, qint64 nowMs);
    QByteArray secondOutput(qint64 utcSecond);
    QByteArray streamHeader() const;

    // Output rate (every n seconds, 0 = off) of a message, e.g. (0x01, 0x21) NAV-TIMEUTC or
    // (0xF0, 0x08) ZDA.
    int rate(uint8_t cls, uint8_t id) const { return m_rates.value(key(cls, id), 0); }
    void setRate(uint8_t cls, uint8_t id, int rate);
    // Switches the outputs on that the program's UBX set-up asks for (as a unit left in
    // "u-blox UBX" mode): NMEA off, NAV-TIMEUTC, TIM-TP, TIM-SVIN, NAV-POSLLH, NAV-SVINFO,
    // MON-HW, NAV-STATUS, NAV-DOP and NAV-TIMEGPS once a second.
    void configureForTiming();
    bool timeOnlyFix() const { return m_timeOnly; }

    // The frames it answers with.
    QByteArray monVerFrame() const;
    QByteArray aidHuiFrame(qint64 utcSecond) const;
    // The complete frames it received, in arrival order, as "06 01" class/ID texts. The line's
    // setIgnoredCommands() takes the same texts ({"0A 04"}: MON-VER is never answered), and its
    // dropNextAnswers() drops UBX answers too.
    const QList<QByteArray> &receivedFrames() const { return m_received; }

    // GPS week and time of week (ms) of a UTC second, with the leap seconds.
    static void gpsTime(qint64 utcSecond, int leapSeconds, int &week, uint32_t &towMs);
    // The UBX messages of one second (no NMEA), from the simulation's truth.
    static QByteArray navTimeUtc(const SimulatedEpoch &e, int leapSeconds);
    static QByteArray navSvInfo(const SimulatedEpoch &e, int leapSeconds);
    static QByteArray navDop(const SimulatedEpoch &e, int leapSeconds, bool timeOnly);
    static QByteArray timTp(const SimulatedEpoch &e, int leapSeconds);
    static QByteArray rxmRaw(const SimulatedEpoch &e, int leapSeconds, uint64_t seed);

private:
    static uint16_t key(uint8_t cls, uint8_t id) { return uint16_t(cls << 8 | id); }
    void handleFrame(QByteArrayView frame, qint64 nowMs, QByteArray &out);
    void handleCfg(uint8_t id, QByteArrayView payload, QByteArray &out);
    QByteArray cfgSetting(uint8_t id) const;

    SimulatedSky &m_sky;
    SimulatedLine &m_line;
    QByteArray m_input;
    QHash<uint16_t, int> m_rates;
    QHash<uint8_t, QByteArray> m_cfg;   // CFG payloads as last set, by ID
    QList<QByteArray> m_received;
    bool m_timeOnly = false;
    bool m_txtPending = true;           // the start-up text goes out with the first second
    int m_pendingRate = 0;              // CFG-PRT rate, taken once the ACK has gone out
    int m_model = 0;                    // index into the model table
};
