#include "support/TestSupport.h"

#include "app/SatelliteTableModel.h"

#include <QTest>

using Records = SatelliteTableModel::Records;
Q_DECLARE_METATYPE(SatelliteRecord)

namespace {

SatelliteRecord sat(int id, int el, int az, int cNo, int trackMode = 0, int flags = 0, int riseSet = 0)
{
    SatelliteRecord r;
    r.svId = id;
    r.elevation = el;
    r.azimuth = az;
    r.cNo = cNo;
    r.trackMode = uint8_t(trackMode);
    r.svFlags = uint8_t(flags);
    r.riseSet = riseSet;
    return r;
}

// Master table holding the given records in the given slots order (slot = position in list).
Records masterOf(const QList<SatelliteRecord> &records)
{
    Records m {};
    for (int i = 0; i < records.size(); ++i)
        m[i] = records[i];
    return m;
}

QStringList columnOf(const SatelliteTableUpdate &u, int column)
{
    QStringList out;
    for (const SatelliteCell &c : u.cells) {
        if (c.column == column)
            out << c.text;
    }
    return out;
}

const SatelliteCell *cellAt(const SatelliteTableUpdate &u, int row, int column)
{
    for (const SatelliteCell &c : u.cells) {
        if (c.row == row && c.column == column)
            return &c;
    }
    return nullptr;
}

} // namespace

class TestSatelliteTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sortOrders_data()
    {
        QTest::addColumn<int>("sortMode");
        QTest::addColumn<QStringList>("prns");

        // Receiver order: 7 (el 40, az 200, 45), 3 (el 60, az 10, 38), 12 (el 40, az 90, 50),
        // 1 (el 10, az 300, 38).
        QTest::newRow("PRN ascending") << 0 << QStringList { "1", "3", "7", "12" };
        QTest::newRow("elevation descending, tie keeps receiver order")
            << 1 << QStringList { "3", "7", "12", "1" };
        QTest::newRow("azimuth ascending") << 2 << QStringList { "3", "12", "7", "1" };
        QTest::newRow("C/No descending, tie keeps receiver order") << 3 << QStringList { "12", "7", "3", "1" };
        QTest::newRow("unsorted") << 4 << QStringList { "7", "3", "12", "1" };
        QTest::newRow("unknown mode is unsorted") << 9 << QStringList { "7", "3", "12", "1" };
    }
    void sortOrders()
    {
        QFETCH(int, sortMode);
        QFETCH(QStringList, prns);
        Records master = masterOf({ sat(7, 40, 200, 45, 8), sat(3, 60, 10, 38, 8), sat(12, 40, 90, 50, 8),
                                    sat(1, 10, 300, 38, 8) });
        const Records before = master;
        SatelliteTableModel model;
        const SatelliteTableUpdate u = model.fill(master, ReceiverMode::MotorolaBinary, sortMode);
        QCOMPARE(columnOf(u, SatelliteTableModel::PrnColumn), prns);
        QCOMPARE(model.shownRows(), prns.size());
        // The master table keeps the decoders' order; the sorted copy is separate.
        QVERIFY(master == before);
        if (sortMode == SatelliteTableModel::SortByPrn)
            QCOMPARE(model.sortedCopy().back().svId, 12);   // empty slots (ID 0) sort first
    }

    void rowSelection_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<SatelliteRecord>("record");
        QTest::addColumn<bool>("shown");

        QTest::newRow("ordinary GPS") << 2 << sat(5, 30, 120, 40) << true;
        QTest::newRow("empty slot") << 2 << sat(0, 30, 120, 40) << false;
        QTest::newRow("ID 256 shown") << 2 << sat(256, 30, 120, 40) << true;
        QTest::newRow("ID 300 never, Motorola") << 2 << sat(300, 30, 120, 40) << false;
        QTest::newRow("ID 300 never, UBX") << 9 << sat(300, 30, 120, 40, 0, SvFlag::UbxUsed) << false;
        QTest::newRow("ID 300 never, NMEA") << 6 << sat(300, 30, 120, 40) << false;
        QTest::newRow("negative elevation") << 2 << sat(5, -1, 120, 40) << false;
        QTest::newRow("negative azimuth") << 2 << sat(5, 30, -1, 40) << false;
        QTest::newRow("zero elevation and azimuth") << 2 << sat(5, 0, 0, 40) << true;
        QTest::newRow("code lock without C/No, Motorola") << 2 << sat(5, 30, 120, 0, 8) << true;
        QTest::newRow("code lock without C/No, Rx only") << 3 << sat(5, 30, 120, 0, 8) << true;
        QTest::newRow("code lock without C/No, UBX") << 9 << sat(5, 30, 120, 0, 8, SvFlag::UbxUsed) << false;
        QTest::newRow("no C/No, not code lock") << 2 << sat(5, 30, 120, 0, 7) << false;
        QTest::newRow("UBX used with signal") << 9 << sat(5, 30, 120, 40, 0, SvFlag::UbxUsed) << true;
    }
    void rowSelection()
    {
        QFETCH(int, mode);
        QFETCH(SatelliteRecord, record);
        QFETCH(bool, shown);
        Records master = masterOf({ record });
        SatelliteTableModel model;
        const SatelliteTableUpdate u = model.fill(master, mode, SatelliteTableModel::Unsorted);
        QCOMPARE(model.shownRows(), shown ? 1 : 0);
        QCOMPARE(cellAt(u, 1, SatelliteTableModel::BarColumn) != nullptr, shown);
        QCOMPARE(u.clearedRows.size(), shown ? 14 : 15);
    }

    void unusedSatelliteVanishesInUbx()
    {
        Records master = masterOf({ sat(5, 30, 120, 40, 0, SvFlag::UbxUsed), sat(9, 50, 200, 44, 0, 0) });
        SatelliteTableModel model;
        model.fill(master, ReceiverMode::UbloxUbx, SatelliteTableModel::Unsorted);
        QCOMPARE(model.shownRows(), 1);
        QCOMPARE(master[1].cNo, 0);    // zeroed in the master table
        QCOMPARE(master[0].cNo, 40);

        // In u-blox NMEA the same satellite stays, marked "Not Used" when the GSA list leaves it out.
        Records nmea = masterOf({ sat(5, 30, 120, 40, 0, SvFlag::UbxUsed), sat(9, 50, 200, 44, 0, 0) });
        nmea[1].used = 0;
        SatelliteTableModel other;
        const SatelliteTableUpdate u = other.fill(nmea, ReceiverMode::UbloxNmea, SatelliteTableModel::Unsorted);
        QCOMPARE(other.shownRows(), 2);
        QCOMPARE(nmea[1].cNo, 44);
        QCOMPARE(cellAt(u, 2, SatelliteTableModel::BarColumn)->text, QStringLiteral("GPS, Not Used"));
    }

    void cellTexts_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<SatelliteRecord>("record");
        QTest::addColumn<QString>("prn");
        QTest::addColumn<QString>("elevation");
        QTest::addColumn<QString>("azimuth");
        QTest::addColumn<QString>("cNo");
        QTest::addColumn<int>("barValue");
        QTest::addColumn<QString>("barText");

        const QString up = QStringLiteral("05 ") + QChar(0x2191);
        const QString down = QStringLiteral("45 ") + QChar(0x2193);
        QTest::newRow("rising, code lock") << 2 << sat(3, 5, 7, 47, 8, 0, 1) << "3" << up << "7" << "47" << 47
                                           << "Available";
        QTest::newRow("setting, C/No 10 gives bar 16")
            << 2 << sat(14, 45, 359, 10, 5, 0, -1) << "14" << down << "359" << "10" << 16 << "Message Sync Detect";
        QTest::newRow("C/No 16 is the bar floor") << 2 << sat(14, 45, 100, 16, 0) << "14" << "45  " << "100" << "16"
                                                  << 16 << "Code Search";
        QTest::newRow("C/No 17 above the floor") << 2 << sat(14, 45, 100, 17, 1) << "14" << "45  " << "100" << "17"
                                                 << 17 << "Code Acquire";
        QTest::newRow("C/No 60 capped at 55, Motorola")
            << 3 << sat(14, 45, 100, 60, 9) << "14" << "45  " << "100" << "60" << 55 << "Not Locked";
        QTest::newRow("C/No 60 capped, UBX shows 60")
            << 9 << sat(14, 45, 100, 60, 0, SvFlag::UbxUsed) << "14" << "45  " << "100" << "60" << 55 << "GPS";
        QTest::newRow("C/No 64 not shown outside track-mode texts")
            << 9 << sat(14, 45, 100, 64, 0, SvFlag::UbxUsed) << "14" << "45  " << "100" << "" << 55 << "GPS";
        QTest::newRow("C/No 64 shown in Motorola binary")
            << 2 << sat(14, 45, 100, 64, 8) << "14" << "45  " << "100" << "64" << 55 << "Available";
        QTest::newRow("no visible-satellite message yet: both angles unknown")
            << 2 << sat(14, 0, 0, 30, 8) << "14" << "" << "" << "30" << 30 << "Available";
        QTest::newRow("azimuth 0 with an elevation is north")
            << 2 << sat(14, 12, 0, 30, 8) << "14" << "12  " << "0" << "30" << 30 << "Available";
        QTest::newRow("elevation 91 and azimuth 360 left empty")
            << 2 << sat(14, 91, 360, 30, 8) << "14" << "" << "" << "30" << 30 << "Available";
        QTest::newRow("ID 256 has no PRN text") << 2 << sat(256, 10, 20, 30, 8) << "" << "10  " << "20" << "30" << 30
                                                << "Available";
        QTest::newRow("track mode ignored in generic NMEA")
            << 6 << sat(7, 20, 30, 40, 8) << "7" << "20  " << "30" << "40" << 40 << "GPS";
        QTest::newRow("track mode ignored in Motorola NMEA")
            << 1 << sat(7, 20, 30, 40, 3, SvFlag::SelectiveAvailability) << "7" << "20  " << "30" << "40" << 40
            << "GPS, SA";
        QTest::newRow("SBAS 123 in u-blox NMEA") << 10 << sat(123, 30, 180, 38, 0, SvFlag::UbxUsed) << "123"
                                                 << "30  " << "180" << "38" << 38 << "SBAS";
    }
    void cellTexts()
    {
        QFETCH(int, mode);
        QFETCH(SatelliteRecord, record);
        QFETCH(QString, prn);
        QFETCH(QString, elevation);
        QFETCH(QString, azimuth);
        QFETCH(QString, cNo);
        QFETCH(int, barValue);
        QFETCH(QString, barText);

        Records master = masterOf({ record });
        SatelliteTableModel model;
        const SatelliteTableUpdate u = model.fill(master, mode, SatelliteTableModel::Unsorted);
        QCOMPARE(model.shownRows(), 1);
        QCOMPARE(cellAt(u, 1, SatelliteTableModel::PrnColumn)->text, prn);
        QCOMPARE(cellAt(u, 1, SatelliteTableModel::ElevationColumn)->text, elevation);
        QCOMPARE(cellAt(u, 1, SatelliteTableModel::AzimuthColumn)->text, azimuth);
        QCOMPARE(cellAt(u, 1, SatelliteTableModel::CNoColumn)->text, cNo);
        QCOMPARE(cellAt(u, 1, SatelliteTableModel::BarColumn)->barValue, barValue);
        QCOMPARE(cellAt(u, 1, SatelliteTableModel::BarColumn)->text, barText);
    }

    // Bar texts by receiver mode, tracking mode, the used flag (1, 0, -1 not reported) and the
    // status bits; the Oncore rows carry the channel status bytes of gpsd's UT+ capture.
    void barTexts_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("svId");
        QTest::addColumn<int>("trackMode");
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("used");
        QTest::addColumn<QString>("text");
        QTest::newRow("Oncore 0xA2 in the fix") << 2 << 9 << 8 << 0xA2 << 1 << "Available";
        QTest::newRow("Oncore 0x20 searching") << 2 << 5 << 0 << 0x20 << 0 << "Code Search";
        QTest::newRow("Oncore rx only 0xA2") << 3 << 27 << 8 << 0xA2 << 1 << "Available";
        QTest::newRow("Motorola locked, not in the fix") << 2 << 14 << 8 << 0x00 << 0 << "Available, Not Used";
        QTest::newRow("Motorola unhealthy") << 2 << 14 << 8 << 0x10 << 0 << "Available, Not Used, Unhealthy";
        QTest::newRow("Motorola momentum alert, used") << 2 << 14 << 8 << 0xC0 << 1 << "Available, Momentum Alert";
        QTest::newRow("Motorola acquiring") << 2 << 14 << 4 << 0x00 << 0 << "Bit Sync Detect";
        QTest::newRow("NMEA in the GSA list") << 6 << 7 << 8 << 0 << 1 << "GPS";
        QTest::newRow("NMEA not in the GSA list") << 6 << 7 << 8 << 0 << 0 << "GPS, Not Used";
        QTest::newRow("NMEA before any GSA") << 6 << 7 << 8 << 0 << -1 << "GPS";
        QTest::newRow("Motorola NMEA not used, SA") << 1 << 7 << 8 << int(SvFlag::SelectiveAvailability) << 0
                                                    << "GPS, Not Used, SA";
        QTest::newRow("u-blox NMEA in the GSA list") << 10 << 7 << 8 << 0 << 1 << "GPS";
        QTest::newRow("u-blox NMEA not in the list") << 10 << 7 << 8 << 0 << 0 << "GPS, Not Used";
        QTest::newRow("UBX used bit") << 9 << 7 << 0 << int(SvFlag::UbxUsed) << 1 << "GPS";
        QTest::newRow("UBX used bit clear") << 9 << 7 << 0 << 0 << 0 << "GPS, Not Used";
    }
    void barTexts()
    {
        QFETCH(int, mode);
        QFETCH(int, svId);
        QFETCH(int, trackMode);
        QFETCH(int, flags);
        QFETCH(int, used);
        QFETCH(QString, text);
        SatelliteRecord r = sat(svId, 30, 100, 40, trackMode, flags);
        r.used = int8_t(used);
        QCOMPARE(SatelliteTableModel::barText(r, mode), text);
    }

    void statusTexts_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("svId");
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("text");

        QTest::newRow("GPS all flags, NMEA")
            << 6 << 12 << int(SvFlag::MomentumAlert | SvFlag::Unhealthy | SvFlag::SelectiveAvailability | SvFlag::ParityError)
            << "GPS, Momentum Alert, Unhealthy, SA, Parity Error";
        QTest::newRow("parity error alone keeps its word") << 6 << 12 << int(SvFlag::ParityError) << "GPS, Parity Error";
        QTest::newRow("GPS 32 is GPS") << 0 << 32 << 0 << "GPS";
        QTest::newRow("flags ignored outside GPS, NMEA") << 6 << 70 << int(SvFlag::Unhealthy) << "GLONASS";
        QTest::newRow("no system, NMEA") << 6 << 100 << 0 << "";
        QTest::newRow("SBAS name, UBX") << 9 << 120 << int(SvFlag::UbxUsed) << "EGNOS AOR-E 15°W";
        QTest::newRow("SBAS name unhealthy, u-blox NMEA")
            << 10 << 138 << int(SvFlag::UbxUsed | SvFlag::UbxUnhealthy) << "WAAS 107°W, Unhealthy";
        QTest::newRow("SBAS name not used") << 9 << 133 << 0 << "WAAS AMER 98°W, Not Used";
        // Without a GSA list the u-blox NMEA mode knows nothing about use.
        QTest::newRow("SBAS name, u-blox NMEA, no list") << 10 << 133 << 0 << "WAAS AMER 98°W";
        QTest::newRow("SBAS names only in u-blox modes") << 6 << 133 << 0 << "SBAS";
        QTest::newRow("SBAS without name") << 10 << 125 << int(SvFlag::UbxUsed) << "SBAS";
        QTest::newRow("no system but not used") << 9 << 100 << 0 << "Not Used";
        QTest::newRow("no system, used: empty") << 9 << 100 << int(SvFlag::UbxUsed) << "";
        QTest::newRow("all names") << 10 << 130 << int(SvFlag::UbxUsed) << "IOR 142.5°E";
    }
    void statusTexts()
    {
        QFETCH(int, mode);
        QFETCH(int, svId);
        QFETCH(int, flags);
        QFETCH(QString, text);
        QCOMPARE(SatelliteTableModel::statusText(sat(svId, 10, 10, 30, 0, flags), mode), text);
    }

    void systemRanges_data()
    {
        QTest::addColumn<int>("svId");
        QTest::addColumn<QString>("part");

        QTest::newRow("1") << 1 << "GPS, ";
        QTest::newRow("32") << 32 << "GPS, ";
        QTest::newRow("33") << 33 << "BeiDou, ";
        QTest::newRow("64") << 64 << "BeiDou, ";
        QTest::newRow("65") << 65 << "GLONASS, ";
        QTest::newRow("96") << 96 << "GLONASS, ";
        QTest::newRow("97") << 97 << "";
        QTest::newRow("119") << 119 << "";
        QTest::newRow("120") << 120 << "SBAS, ";
        QTest::newRow("158") << 158 << "SBAS, ";
        QTest::newRow("159") << 159 << "BeiDou, ";
        QTest::newRow("163") << 163 << "BeiDou, ";
        QTest::newRow("164") << 164 << "";
        QTest::newRow("173") << 173 << "IMES, ";
        QTest::newRow("182") << 182 << "IMES, ";
        QTest::newRow("183") << 183 << "QZSS, ";
        QTest::newRow("197") << 197 << "QZSS, ";
        QTest::newRow("198") << 198 << "";
        QTest::newRow("210") << 210 << "";
        QTest::newRow("211") << 211 << "Galileo, ";
        QTest::newRow("246") << 246 << "Galileo, ";
        QTest::newRow("247") << 247 << "";
        QTest::newRow("255") << 255 << "GLONASS, ";
        QTest::newRow("256") << 256 << "";
    }
    void systemRanges()
    {
        QFETCH(int, svId);
        QFETCH(QString, part);
        QCOMPARE(SatelliteTableModel::systemPart(svId), part);
    }

    void onlyChangedCellsReported()
    {
        Records master = masterOf({ sat(3, 40, 100, 40, 8), sat(5, 20, 200, 35, 8), sat(9, 60, 300, 44, 8) });
        SatelliteTableModel model;
        SatelliteTableUpdate u = model.fill(master, ReceiverMode::MotorolaBinary, SatelliteTableModel::Unsorted);
        QCOMPARE(u.cells.size(), 3 * 5);   // the first fill writes every cell of the shown rows

        u = model.fill(master, ReceiverMode::MotorolaBinary, SatelliteTableModel::Unsorted);
        QVERIFY(u.cells.isEmpty());
        QVERIFY(u.clearedRows.isEmpty());

        master[1].cNo = 36;                 // C/No cell and bar of row 2
        master[2].azimuth = 301;            // elevation (empty-check) and azimuth cells of row 3
        master[0].inTrack = 1;              // feeds no cell
        u = model.fill(master, ReceiverMode::MotorolaBinary, SatelliteTableModel::Unsorted);
        const QList<SatelliteCell> expected = {
            { 2, SatelliteTableModel::CNoColumn, QStringLiteral("36"), 0 },
            { 2, SatelliteTableModel::BarColumn, QStringLiteral("Available"), 36 },
            { 3, SatelliteTableModel::ElevationColumn, QStringLiteral("60  "), 0 },
            { 3, SatelliteTableModel::AzimuthColumn, QStringLiteral("301"), 0 },
        };
        QCOMPARE(u.cells, expected);

        master[0].riseSet = -1;             // arrow only
        u = model.fill(master, ReceiverMode::MotorolaBinary, SatelliteTableModel::Unsorted);
        QCOMPARE(u.cells.size(), 1);
        QCOMPARE(u.cells[0].text, QStringLiteral("40 ") + QChar(0x2193));

        // Sorting by PRN gives 3, 5, 9, the rows as they are: nothing to rewrite. By elevation
        // (9, 3, 5) every row holds another satellite.
        u = model.fill(master, ReceiverMode::MotorolaBinary, SatelliteTableModel::SortByPrn);
        QVERIFY(u.cells.isEmpty());
        u = model.fill(master, ReceiverMode::MotorolaBinary, SatelliteTableModel::SortByElevation);
        QCOMPARE(columnOf(u, SatelliteTableModel::PrnColumn), (QStringList { "9", "3", "5" }));

        model.invalidate();
        u = model.fill(master, ReceiverMode::MotorolaBinary, SatelliteTableModel::SortByElevation);
        QCOMPARE(u.cells.size(), 15);
        QCOMPARE(u.clearedRows.size(), 12);
    }

    void unusedRowsClearedOnce()
    {
        Records master = masterOf({ sat(3, 40, 100, 40, 8), sat(5, 20, 200, 35, 8), sat(9, 60, 300, 44, 8) });
        SatelliteTableModel model;
        SatelliteTableUpdate u = model.fill(master, ReceiverMode::MotorolaBinary, SatelliteTableModel::Unsorted);
        QCOMPARE(u.clearedRows.first(), 4);
        QCOMPARE(u.clearedRows.last(), 15);

        master[1] = SatelliteRecord {};     // satellite 5 lost: 9 moves up, row 3 is cleared
        u = model.fill(master, ReceiverMode::MotorolaBinary, SatelliteTableModel::Unsorted);
        QCOMPARE(u.clearedRows, QList<int> { 3 });
        QCOMPARE(columnOf(u, SatelliteTableModel::PrnColumn), QStringList { "9" });

        u = model.fill(master, ReceiverMode::MotorolaBinary, SatelliteTableModel::Unsorted);
        QVERIFY(u.clearedRows.isEmpty());

        // A satellite coming back into a cleared row gets every cell written.
        master[1] = sat(5, 20, 200, 35, 8);
        u = model.fill(master, ReceiverMode::MotorolaBinary, SatelliteTableModel::Unsorted);
        QCOMPARE(u.clearedRows, QList<int> {});
        int row3 = 0;
        for (const SatelliteCell &c : u.cells)
            row3 += c.row == 3;
        QCOMPARE(row3, 5);
    }

    void modeChangeRewritesEverything()
    {
        Records master = masterOf({ sat(5, 40, 100, 40, 8, SvFlag::UbxUsed) });
        SatelliteTableModel model;
        model.fill(master, ReceiverMode::MotorolaBinary, SatelliteTableModel::Unsorted);
        const SatelliteTableUpdate u = model.fill(master, ReceiverMode::UbloxUbx, SatelliteTableModel::Unsorted);
        QCOMPARE(cellAt(u, 1, SatelliteTableModel::BarColumn)->text, QStringLiteral("GPS"));
        QCOMPARE(u.cells.size(), 5);
    }

    void fifteenRowsAtMost()
    {
        Records master {};
        for (int i = 0; i < 40; ++i)
            master[i] = sat(i + 1, 10 + i, i * 5, 30 + (i % 20), 8);
        SatelliteTableModel model;
        const SatelliteTableUpdate u = model.fill(master, ReceiverMode::MotorolaBinary, SatelliteTableModel::SortByElevation);
        QCOMPARE(model.shownRows(), 15);
        QVERIFY(u.clearedRows.isEmpty());
        const QStringList prns = columnOf(u, SatelliteTableModel::PrnColumn);
        QCOMPARE(prns.first(), QStringLiteral("40"));
        QCOMPARE(prns.last(), QStringLiteral("26"));
    }

    void indicators_data()
    {
        QTest::addColumn<bool>("antenna");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("style");

        const QString green = QStringLiteral("padding: 2px 5px; color:white; background-color:green");
        const QString red = QStringLiteral("padding: 2px 5px; color:white; background-color:red");
        const QString yellow = QStringLiteral("padding: 2px 5px; color:black; background-color:yellow");
        const QString white = QStringLiteral("padding: 2px 5px; color:black; background-color:white");
        QTest::newRow("antenna 0") << true << 0 << "Ant OK" << green;
        QTest::newRow("antenna 1") << true << 1 << "Ant OC Short" << red;
        QTest::newRow("antenna 2") << true << 2 << "Ant Open" << yellow;
        QTest::newRow("antenna 3") << true << 3 << "Ant No Pwr" << yellow;
        QTest::newRow("antenna 4") << true << 4 << "Ant Unknown" << white;
        QTest::newRow("antenna -1") << true << -1 << "Ant Unknown" << white;
        QTest::newRow("navigation 0") << false << 0 << "Navigating" << green;
        QTest::newRow("navigation 1") << false << 1 << "Position Hold" << green;
        QTest::newRow("navigation 2") << false << 2 << "Surveying" << yellow;
        QTest::newRow("navigation 3") << false << 3 << "Nav Unknown" << white;
        QTest::newRow("navigation -1") << false << -1 << "Nav Unknown" << white;
    }
    void indicators()
    {
        QFETCH(bool, antenna);
        QFETCH(int, value);
        QFETCH(QString, text);
        QFETCH(QString, style);
        const IndicatorLook look = antenna ? StationIndicators::antenna(value) : StationIndicators::navigation(value);
        QCOMPARE(look.text, text);
        QCOMPARE(look.styleSheet, style);
    }

    void visibleCount()
    {
        VisibleCountLabel label;
        ShownCount count;
        QVERIFY(!label.update(count));     // flag not set: nothing to show

        count.set(7);
        QCOMPARE(label.update(count), std::optional<QString>(QStringLiteral("7 Visible")));
        QVERIFY(!count.changed);

        count.set(8);
        count.set(7);                       // changed back: flag set, same text
        QVERIFY(count.changed);
        QVERIFY(!label.update(count));
        QVERIFY(!count.changed);

        count.set(12);
        QCOMPARE(label.update(count), std::optional<QString>(QStringLiteral("12 Visible")));
    }
};

QTEST_GUILESS_MAIN(TestSatelliteTable)
#include "tst_satellitetable.moc"
