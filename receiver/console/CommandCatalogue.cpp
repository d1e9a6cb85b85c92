#include "receiver/console/CommandCatalogue.h"

#include "core/ReceiverMode.h"
#include "core/ReceiverState.h"

namespace {

using Group = CommandRow::Group;
using Kind = CommandRow::Kind;

struct Entry
{
    const char *name;
    const char *description;
    int length;
    const char *defaults;
};

// Motorola binary commands: name (= prefix), description, whole message length, defaults.
// A one-byte output-rate parameter of 00 asks for the message once.
constexpr Entry kMotorola[] = {
    { "@@Aa", "Time of Day [VP. UT, GT]", 10, "FFFFFF" },
    { "@@Ab", "GMT Offset [VP, UT, GT]", 10, "FFFFFF" },
    { "@@Ac", "Date [VP, UT, GT]", 11, "FFFFFFFF" },
    { "@@Ad", "Latitude [VP, UT, GT]", 11, "99999999" },
    { "@@Ae", "Longitude [VP, UT, GT]", 11, "99999999" },
    { "@@Af", "Height [VP, UT, GT]", 12, "9999999999" },
    { "@@Ag", "Satellite Mask Angle [VP, UT>2.0, GT>2.0, M12]", 8, "FF" },
    { "@@Ah", "Almanac Input Option [VP]", 8, "FF" },
    { "@@Ai", "Satellite Select [VP]", 9, "01FF" },
    { "@@Aj", "Satellite Health Select [VP]", 8, "FF" },
    { "@@Ak", "Satellite Range Select [VP]", 9, "FFFF" },
    { "@@Al", "Satellite Range Bias Select [VP]", 9, "FFFF" },
    { "@@Am", "Satellite Ignore List [VP]", 12, "FF00000000" },
    { "@@An", "Satellite Health Override [VP]", 8, "FF" },
    { "@@Ao", "Datum Select [VP, UT, GT, M12]", 8, "FF" },
    { "@@Ap", "User Defined Datums [VP, UT, GT>1.6, M12]", 25, "320000000000000000000000000000000000" },
    { "@@Aq", "Ionospheric Correction Select [VP, UT, GT, M12]", 8, "FF" },
    { "@@Ar", "Tropospheric Correction Select [VP]", 8, "FF" },
    { "@@As", "Hold Position Parameters [VP, UT>2.0, M12]", 20, "7FFFFFFF7FFFFFFF7FFFFFFFFF" },
    { "@@At", "Position Hold Mode [VP, UT, M12]", 8, "FF" },
    { "@@Au", "Altitude Hold Height [VP, UT, GT, M12]", 12, "7FFFFFFFFF" },
    { "@@Av", "Altitude Hold Mode [VP, UT, GT, M12]", 8, "FF" },
    { "@@Aw", "Time Correction Select, GPS or UTC [VP, UT, GT, M12]", 8, "FF" },
    { "@@Ax", "Set Satellite Selection Type [VP]", 9, "FFFF" },
    { "@@Ay", "1PPS Time Offset [VP, UT, GT, M12]", 11, "FFFFFFFF" },
    { "@@Az", "1PPS Cable Delay Correction [VP, UT, GT, M12]", 11, "FFFFFFFF" },
    { "@@AA", "Enable/Disable Auto Survey [UT]", 8, "FF" },
    { "@@AB", "Application Type [UT+, M12]", 8, "FF" },
    { "@@AC", "Reference Frequency Select [VP]", 9, "FFFF" },
    { "@@AD", "Leap Second Adjustment [VP]", 9, "FFFF" },
    { "@@AE", "Extended Ephemeris Select [VP]", 8, "FF" },
    { "@@AJ", "Position Hold Height Bias [VP]", 8, "FF" },
    { "@@AM", "Position Hold Mode Parameters [VP]", 11, "FFFFFFFF" },
    { "@@AN", "Velocity Filter [M12]", 8, "FF" },
    { "@@AO", "RTCM Configuration [M12]", 8, "FF" },
    { "@@AP", "Pulse Mode Select, 1PPS or 100PPS [UT, M12]", 8, "FF" },
    { "@@AQ", "Position Filter Select [M12]", 8, "FF" },
    { "@@AS", "Position Hold Position Status [M12]", 8, "FF" },
    { "@@Ba", "6-Channel Position/Status/Data Output [VP]", 8, "00" },
    { "@@Bb", "Visible Satellite Status [VP, UT, GT, M12]", 8, "00" },
    { "@@Bc", "Satellite Range Data Output [VP]", 8, "00" },
    { "@@Bd", "Almanac Status [VP, UT, GT, M12]", 8, "00" },
    { "@@Be", "Almanac Data Request [VP, UT, GT, M12]", 8, "00" },
    { "@@Bf", "Ephemeris Data Output [VP, UT, GT, M12]", 8, "00" },
    { "@@Bg", "Pseudorange Output [VP]", 8, "00" },
    { "@@Bh", "Pseudorange Correction Output [VP, UT, M12]", 8, "00" },
    { "@@Bi", "Satellite Health Status [VP]", 8, "00" },
    { "@@Bj", "Leap Second Pending Status [VP, UT, GT, M12]", 7, "" },
    { "@@Bk", "6-Channel DOP and Solution Status [VP]", 8, "00" },
    { "@@Bl", "Satellite Broadcast Data Output [VP, UT, GT, M12]", 8, "00" },
    { "@@Bn", "6-Channel Time RAIM Setup and Status Message [VP]", 22, "010100050100000000000000000000" },
    { "@@Bo", "UTC Offset Status [VP, UT, GT, M12]", 8, "00" },
    { "@@Bp", "Request UTC/Ionospheric Data [VP, UT, GT, M12]", 8, "00" },
    { "@@Ca", "6-Channel Self Test [VP]", 7, "" },
    { "@@Cb", "Almanac Data Input [VP, UT, GT, M12]", 33, "0000000000000000000000000000000000000000000000000000" },
    { "@@Cd", "Restart, Keep Almanac [VP]", 7, "" },
    { "@@Ce", "Pseudorange Correction Input [VP, UT, M12]", 52,
      "000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000" },
    { "@@Cf", "Set to Defaults [VP, UT, GT, M12]", 7, "" },
    { "@@Cg", "Position Fix/Idle Mode Option [VP]", 8, "02" },
    { "@@Ci", "Switch I/O Format (no response) [VP, GT>2.0, M12]", 8, "01" },
    { "@@Cj", "Request the Receiver ID String", 7, "" },
    { "@@Ea", "8-Channel Position/Status/Data Output [UT, GT]", 8, "00" },
    { "@@Ec", "8-Channel Satellite Range Data Output [UT, GT]", 8, "00" },
    { "@@Eg", "8-Channel Pseudorange Output [UT, GT]", 8, "00" },
    { "@@Ek", "8-Channel DOP and Solution Status [UT, GT]", 8, "00" },
    { "@@En", "8-Channel Time RAIM Setup and Status Message [UT]", 22, "010100050100000000000000000000" },
    { "@@Eq", "ASCII Position Output [UT, GT]", 8, "00" },
    { "@@Fa", "8-Channel Self Test [UT, GT]", 7, "" },
    { "@@Fd", "8-Channel Satellite Range and Phase Output [UT]", 8, "00" },
    { "@@Ga", "Position [M12]", 20, "7FFFFFFF7FFFFFFF7FFFFFFFFF" },
    { "@@Gb", "Date and Time [M12]", 17, "FFFFFFFFFFFFFFFFFFFF" },
    { "@@Gc", "1PPS Control [M12]", 8, "FF" },
    { "@@Gd", "Position Hold Control [M12]", 8, "FF" },
    { "@@Ge", "Time RAIM Select [M12]", 8, "FF" },
    { "@@Gf", "Time RAIM Alarm Limit [M12]", 9, "FFFF" },
    { "@@Gj", "Leap Second Status [M12]", 7, "" },
    { "@@Gk", "Tag Message [M12]", 13, "2A2A2A2A2A2A" },
    { "@@Ha", "12-Channel Position/Status/Data Output [M12]", 8, "00" },
    { "@@Hb", "12-Channel Short Position Output [M12]", 8, "00" },
    { "@@Hn", "12-Channel Time RAIM Status Message [M12]", 8, "00" },
    { "@@Hq", "Inverse Differential Output [M12]", 14, "002A2A2A2A2A2A" },
    { "@@Hr", "Inverse Differential with Pseudorange Output", 14, "002A2A2A2A2A2A" },
    { "@@Ia", "12-Channel Self Test [M12]", 7, "" },
    { "@@Sa", "Synergy Position/Status/Data Output (Synergy proprietary)", 8, "00" },
    { "@@Sc", "Constellation Select (Synergy proprietary)", 8, "FF" },
    { "@@Sm", "SBAS Mode Select (Synergy proprietary)", 8, "FF" },
    { "@@So", "Output Rate Select (Synergy proprietary)", 8, "FF" },
    { "@@Sp", "Pulse Polarity Select (Synergy proprietary)", 8, "FF" },
    { "@@SP", "Pulse Period and Width (Synergy proprietary)", 11, "FFFFFFFF" },
    { "@@St", "Timing Mode Select (Synergy proprietary)", 8, "FF" },
    { "@@Sx", "Extended Status Output (Synergy proprietary)", 8, "FF" },
    { "@@Ti", "Time Interval Output [M12M]", 8, "00" },
    { "@@Tj", "R/W Oscillator Data From/To FLASH [M12]", 27, "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF" },
    // Manufacturing data is text; it is typed as such (see kind below).
    { "@@Tk", "R/W Manufacturing Data From/To FLASH [M12]", 65,
      "                                                          " },
    { "@@Tm", "Time Mark Output [M12M]", 8, "00" },
    { "@@Tr", "Raw Measurement Output [M12M]", 8, "00" },
    { "@@Ts", "Time Solution Status [M12M]", 8, "00" },
    { "@@Wb", "Switch to uBlox binary mode (Synergy proprietary)", 9, "0134" },
    { "@@Wc", "Clear Stored Configuration (Synergy proprietary)", 8, "00" },
    { "@@Wm", "Change Model Number (Synergy proprietary)", 22, "202020202020202020202020202020" },
    { "@@Wp", "Save Configuration (Synergy proprietary)", 8, "00" },
    { "@@Wq", "Query Configuration (Synergy proprietary)", 8, "00" },
    { "@@Ws", "Change Serial Number (Synergy proprietary)", 19, "202020202020202020202020" },
};

struct UbxEntry
{
    const char *name;
    const char *prefix;
    const char *description;
    int length;
    const char *defaults;
};

constexpr UbxEntry kUblox[] = {
    { "AID-HUI", "B5620B020000", "Poll GPS Health, UTC and Ionosphere Parameters (AID-HUI)", 0, "" },
    { "CFG-PRTa", "B56206000000", "Poll Port Configuration (CFG-PRT)", 0, "" },
    { "CFG-PRTb", "B56206001400", "Set Port Configuration for UART", 20, "01000000D0080000802500000100010000000000" },
    { "CFG-MSG", "B56206010300", "Set Message Rate (CFG-MSG) for some message", 3, "012101" },
    { "CFG-TP", "B56206070000", "Poll Timepulse Parameters (CFG-TP)", 0, "" },
    { "CFG-TMODE", "B562061D0000", "Poll Time Mode Settings (CFG-TMODE)", 0, "" },
    { "CFG-NAV5", "B56206240000", "Poll Navigation Engine Settings (CFG-NAV5)", 0, "" },
    { "CFG-TP5", "B56206310000", "Poll Timepulse Parameters (CFG-TP5)", 0, "" },
    { "MON-VER", "B5620A040000", "Poll for Rx information (MON-VER)", 0, "" },
};

// CFG-MSG for one NMEA sentence (class F0): the prefix holds class and ID, the parameter is the
// rate on the current port. TXT is F0 41 like the others, so its length field stays 3.
constexpr struct
{
    const char *name;
    const char *id;
} kUbloxNmea[] = {
    { "$GPDTM", "0A" }, { "$GPGBS", "09" }, { "$GPGGA", "00" }, { "$GPGLL", "01" }, { "$EIGPQ", "40" },
    { "$GPGRS", "06" }, { "$GPGSA", "02" }, { "$GPGST", "07" }, { "$GPGSV", "03" }, { "$GPRMC", "04" },
    { "$GPTXT", "41" }, { "$GPVTG", "05" }, { "$GPZDA", "08" },
};

QList<CommandRow> build()
{
    QList<CommandRow> rows;
    for (const Entry &e : kMotorola) {
        CommandRow r;
        r.name = r.prefix = QLatin1String(e.name);
        r.description = QLatin1String(e.description);
        r.length = e.length;
        r.defaults = QLatin1String(e.defaults);
        r.group = Group::MotorolaBinary;
        r.kind = r.name == QLatin1String("@@Tk") ? Kind::Text : Kind::Hex;
        rows.append(r);
    }
    const char *const sentences[] = { "GGA", "RMC", "GLL", "GSA", "GSV", "VTG", "ZDA" };
    for (const char *s : sentences) {
        CommandRow r;
        r.name = QStringLiteral("$GP") + QLatin1String(s);
        r.prefix = QStringLiteral("$PMOTG,%1,").arg(QLatin1String(s));
        r.description = QStringLiteral("GPS %1 - rate secs, 0000 = poll once [VP, GT>2.0, SSR]")
                            .arg(QLatin1String(s) == QLatin1String("GGA") ? QStringLiteral("Fix Data")
                                                                           : QLatin1String(s) + QStringLiteral(" Data"));
        r.length = 19;
        r.defaults = QStringLiteral("0000");
        r.group = Group::MotorolaNmea;
        r.kind = Kind::Text;
        rows.append(r);
    }
    {
        CommandRow r;
        r.name = QStringLiteral("FOR");
        r.prefix = QStringLiteral("$PMOTG,FOR,");
        r.description = QStringLiteral("Return to Motorola binary mode [VP, GT>2.0, SSR]");
        r.length = 16;
        r.defaults = QStringLiteral("0");
        r.group = Group::MotorolaNmea;
        r.kind = Kind::Text;
        rows.append(r);
        // A binary frame the SSR units understand while they speak NMEA; 00 00 is 9600 baud.
        r.name = r.prefix = QStringLiteral("@@Wb");
        r.description = QStringLiteral("Change baud rate without leaving NMEA [SSR V4.21+]");
        r.length = 9;
        r.defaults = QStringLiteral("0000");
        r.kind = Kind::Hex;
        rows.append(r);
    }
    for (const UbxEntry &e : kUblox) {
        CommandRow r;
        r.name = QLatin1String(e.name);
        r.prefix = QLatin1String(e.prefix);
        r.description = QLatin1String(e.description);
        r.length = e.length;
        r.defaults = QLatin1String(e.defaults);
        r.group = Group::Ublox;
        rows.append(r);
    }
    for (const auto &e : kUbloxNmea) {
        CommandRow r;
        r.name = QLatin1String(e.name);
        r.prefix = QStringLiteral("B56206010300F0") + QLatin1String(e.id);
        r.description = QStringLiteral("Set %1 output rate on this port (CFG-MSG), 00 = off").arg(r.name);
        r.length = 3;
        r.defaults = QStringLiteral("01");
        r.group = Group::UbloxNmea;
        rows.append(r);
    }
    const char *const garmin[][4] = {
        // name, prefix, description, defaults (empty fields leave a setting as it is)
        { "$GPALM", "$GPALM,", "Almanac Information", "" },
        { "$PGRMI", "$PGRMI,", "Initialization Information", ",,,,,," },
        { "$PGRMC", "$PGRMC,", "Configuration Information", ",,,,,,,,,,,,," },
        { "$PGRMO", "$PGRMO,", "Output Sentence Enable/Disable", "GPGGA,1" },
        { "$PKTW", "$PKTW,", "Proprietary Functions", "SETUP" },
    };
    for (const auto &g : garmin) {
        CommandRow r;
        r.name = QLatin1String(g[0]);
        r.prefix = QLatin1String(g[1]);
        r.description = QLatin1String(g[2]);
        r.defaults = QLatin1String(g[3]);
        r.length = -1;
        r.group = Group::Garmin;
        r.kind = Kind::Text;
        rows.append(r);
    }
    return rows;
}

bool isSsr(int model)
{
    return model == ReceiverModelCode::Ssr6Tf || model == ReceiverModelCode::Ssr6Tr
        || model == ReceiverModelCode::SsrM8F || model == ReceiverModelCode::SsrM8T;
}

} // namespace

QByteArray CommandRow::prefixBytes() const
{
    return isUbx() ? QByteArray::fromHex(prefix.toLatin1()) : prefix.toLatin1();
}

int CommandRow::parameterLength() const
{
    if (length < 0)
        return -1;
    if (isMotorola())
        return length - 7;
    if (isUbx()) {
        // The prefix may already hold the first payload bytes (class and ID of CFG-MSG).
        return length - int(prefixBytes().size() - 6);
    }
    if (prefix.startsWith(QLatin1Char('$')))
        return length - 5 - int(prefix.size() - 1);
    return -1;
}

namespace CommandCatalogue {

const QList<CommandRow> &rows()
{
    static const QList<CommandRow> all = build();
    return all;
}

int find(const QString &name)
{
    const QList<CommandRow> &all = rows();
    for (int i = 0; i < all.size(); ++i)
        if (all[i].name == name)
            return i;
    return -1;
}

int find(const QString &name, CommandRow::Group group)
{
    const QList<CommandRow> &all = rows();
    for (int i = 0; i < all.size(); ++i)
        if (all[i].name == name && all[i].group == group)
            return i;
    return -1;
}

QList<int> rowsFor(int receiverMode, int receiverModel)
{
    QList<int> out;
    const QList<CommandRow> &all = rows();
    const bool garmin = receiverModel == ReceiverModelCode::TxOncore;
    for (int i = 0; i < all.size(); ++i) {
        const CommandRow &r = all[i];
        bool take = false;
        switch (r.group) {
        case Group::MotorolaBinary:
            take = receiverMode == ReceiverMode::MotorolaBinary || receiverMode == ReceiverMode::MotorolaBinaryRxOnly;
            if (take && (r.name.startsWith(QLatin1String("@@S")) || r.name.startsWith(QLatin1String("@@W")))) {
                // Synergy extensions; the u-blox switch only on the u-blox-based M8 units.
                take = isSsr(receiverModel);
                if (r.name == QLatin1String("@@Wb"))
                    take = receiverModel == ReceiverModelCode::SsrM8F || receiverModel == ReceiverModelCode::SsrM8T;
            }
            break;
        case Group::MotorolaNmea: take = receiverMode == ReceiverMode::MotorolaNmea; break;
        case Group::Ublox: take = receiverMode == ReceiverMode::UbloxUbx; break;
        case Group::UbloxNmea: take = receiverMode == ReceiverMode::UbloxNmea; break;
        case Group::Garmin: take = garmin; break;
        }
        if (take)
            out.append(i);
    }
    return out;
}

} // namespace CommandCatalogue
