#pragma once

#include "receiver/DecoderContext.h"
#include "receiver/MessageDecoders.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <array>
#include <bitset>

// What one $--GGA sentence said, after the height rules for the receiver model were applied.
struct NmeaGgaFix
{
    bool present = false;      // a GGA has been decoded
    int hours = 0;
    int minutes = 0;
    double seconds = 0.0;
    int latDegrees = 0;        // unsigned degrees and minutes, as sent, with the hemisphere
    double latMinutes = 0.0;
    char latHemisphere = 'N';
    int lonDegrees = 0;
    double lonMinutes = 0.0;
    char lonHemisphere = 'E';
    double latitude = 0.0;     // signed degrees, north and east positive
    double longitude = 0.0;
    bool positionValid = false;
    int quality = 0;           // 0 invalid, 1 GPS, 2 DGPS, ...
    int satellitesUsed = 0;
    double hdop = 0.0;
    double altitude = 0.0;     // the altitude field as sent
    QString altitudeUnit;
    double geoidSeparation = 0.0;   // corrected sign for the AMU firmware that reports it inverted
    QString geoidUnit;
    double ellipsoidHeight = 0.0;
    double mslHeight = 0.0;
    QString dgpsAgeField;      // raw fields: empty when the receiver sent none
    QString dgpsStationField;
    double dgpsAge = 0.0;
    int dgpsStation = 0;
};

// Decodes NMEA 0183 sentences and the Motorola ($PMOTG), Garmin ($PGRM.) and Synergy
// ($PSYN,VEL) proprietary sentences for the NMEA receiver modes and for the NMEA text a u-blox
// receiver mixes into UBX output. Writes the receiver state, feeds the averaging engine and the
// display, and keeps the texts of the last sentence for the raw-data window and the status bar.
//
// Talker IDs. Multi-constellation receivers send the same sentences with the talkers GN
// (combined solution), GL (GLONASS), GA (Galileo), GB or BD (BeiDou) and GQ (QZSS). ZDA, GGA,
// RMC, GLL, VTG, GSA and TXT describe the one combined solution and are decoded alike whatever
// their GNSS talker. GSV is kept per talker, and its satellite numbers are moved into the
// table's numbering so that systems never overwrite each other: GPS 1-32 as is, NMEA SBAS
// 33-64 as PRN 120-151, GLONASS 65-96 (GL slots 1-24 as 65-88), Galileo 1-36 as 211-246,
// BeiDou 1-5 as 159-163 and 6-37 as 33-64, QZSS 1-10 as 193-202; u-blox extended numbers
// (Galileo 301-336, BeiDou 401-437) likewise. Numbers that fit none of these are left out of
// the table rather than shown under a wrong system. $GPALM alone sets the almanac flag.
class NmeaDecoder : public NmeaMessageDecoder
{
public:
    explicit NmeaDecoder(const DecoderContext &context);

    // One sentence from "$" through its checksum field. Returns false for anything shorter
    // than 7 bytes or not starting with "$"; every other sentence is accepted (unknown ones
    // are only passed on to the raw-data window and log).
    bool decodeNmeaSentence(const QByteArray &sentence) override;

    // Decoded text of the last sentence for the raw-data window (Garmin echoes); empty when
    // the sentence itself says it all, and while neither the raw-data window has been opened
    // nor the options ask for texts.
    QString displayText() const override { return m_displayText; }
    // Status-bar texts, kept until a sentence replaces them.
    QString fixStatusText() const { return m_fixStatusText; }   // "3-D Fix (A)", "No Fix", ...
    QString dopText() const { return m_dopText; }               // "PDOP = 1.4, HDOP = ..."
    QString dgpsText() const { return m_dgpsText; }             // "Receiving DGPS..." or empty
    QString usedText() const { return m_usedText; }             // "8 Used"
    QString visibleText() const { return m_visibleText; }       // "11 Visible"
    // The last warning written to the debug log by the last sentence, empty when none.
    QString lastWarning() const { return m_lastWarning; }

    // The last GGA, and its line in the NMEA common format of the GPS log (empty before the
    // first GGA). The first GGA of a second whose write-now flag is set also hands it to the
    // GPS log recorder of the context.
    const NmeaGgaFix &lastFix() const { return m_fix; }
    QString commonLogLine() const { return m_fix.present ? commonLogLine(m_fix) : QString(); }
    // "hh,mm,ss.ss,dd,mm.mmmmmm,N,ddd,mm.mmmmmm,E,quality,used,HDOP,msl,M,sep,M,age,station",
    // the columns of "time,lat_deg,lat_min,lat_dir,long_deg,long_min,long_dir,quality,
    // no_tracked,HDOP,height_msl,height_units,geoid_sep,geoid_sep_units,DGPS_age,
    // DGPS_Ref_Stn_id".
    static QString commonLogLine(const NmeaGgaFix &fix);
    // Decodes a GGA sentence alone (no receiver-model rules); an unpresent fix when it is not one.
    static NmeaGgaFix parseGga(const QByteArray &sentence);

    // Whether a ZDA time has been stored recently; RMC then leaves the time to ZDA.
    bool zdaSeen() const { return m_zdaSeen; }

    // Replaces the engine and display the decoder writes to (either may be null).
    void setAveraging(AveragingInput *averaging) { m_ctx.averaging = averaging; }
    void setDisplay(StationDisplay *display) { m_ctx.display = display; }
    void setOptions(const DecoderOptions &options) { m_ctx.options = options; }

    // Satellite-number mapping of one GSV group: table index for a talker ("GP", "GL", ...)
    // and the number it sent; 0 when it has no place in the table.
    static int tableIdForTalker(const QByteArray &talker, int sentId);

    // What the last sentence changed (DecodeChange bits).
    int lastChanges() const { return m_changes; }

private:
    using Fields = QList<QByteArray>;
    int m_changes = 0;

    void decodeText(const Fields &f);
    void decodeZda(const Fields &f);
    void decodeGga(const Fields &f);
    void decodeGsa(const QByteArray &talker, const Fields &f);
    // The used flag of a table record from the GSA lists (-1 before the first GSA).
    int8_t usedFlag(int id) const;
    void decodeGsv(const QByteArray &talker, const Fields &f);
    void decodeRmc(const Fields &f);
    void decodeVtg(const Fields &f);
    void decodePgrmt(const Fields &f);
    void decodePgrmi(const Fields &f);
    void decodePgrmc(const Fields &f);
    void decodePgrmo(const Fields &f);

    // Stores a UTC (or receiver-local) date and time as the receiver time, with the seconds'
    // fraction or rounded to the nearest second; false when the date or time is invalid.
    bool storeTime(int year, int month, int day, int hours, int minutes, double seconds,
                   bool roundToSecond);
    void warn(const QString &text);
    // Decoded texts are built only while someone reads them (raw-data window, log, tools).
    bool wantTexts() const;

    DecoderContext m_ctx;

    QString m_displayText;
    QString m_fixStatusText;
    QString m_dopText;
    QString m_dgpsText;
    QString m_usedText;
    QString m_visibleText;
    QString m_lastWarning;
    NmeaGgaFix m_fix;

    bool m_zdaSeen = false;
    int m_rmcSinceZda = 0;

    // GSV sets per talker: the in-view count and which table records the set wrote.
    static constexpr int TalkerCount = 6;
    std::array<int, TalkerCount> m_inView {};
    std::array<std::bitset<256>, TalkerCount> m_setWritten {};
    std::array<std::bitset<256>, TalkerCount> m_lastSet {};
    // Satellites in the fix, by GSA talker and system ID (a GN receiver sends one list per
    // system); none before the first GSA.
    QMap<QByteArray, std::bitset<256>> m_usedLists;
};
