// The GPS data log and the counter log set on real files in a temporary folder: names, open
// modes, exact headers and footers, record forms, the Oncore RINEX hold rules, and real
// receiver captures written into Binary logs.

#include "support/TestSupport.h"

#include "core/ReceiverState.h"
#include "logging/CounterLogSet.h"
#include "logging/GpsDataLog.h"
#include "logging/LogNaming.h"
#include "receiver/framing/MotorolaFramer.h"
#include "receiver/framing/NmeaUbxFramer.h"
#include "receiver/ubx/UbxRawEpoch.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace {

const QDateTime kNoon(QDate(2026, 12, 3), QTime(12, 34, 56), Qt::UTC);   // Thu, day 337

QByteArray readAll(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

struct Rig
{
    QTemporaryDir dir;
    ReceiverState state;
    qint64 ms = kNoon.toMSecsSinceEpoch();
    GpsDataLog gps { &state, [this] { return ms; } };
    CounterLogSet counters { &state, [this] { return ms; } };
    Rig()
    {
        state.receiverUtcDateTime.setDateTime(kNoon);
        GpsLogSettings g;
        g.directory = dir.path();
        gps.setOptions(g);
        gps.setProgramVersion(QStringLiteral("1.2.10"));
        CounterLogSettings c;
        c.directory = dir.path();
        counters.setOptions(c);
        counters.setTimeTag([](qint64 s) { return QString::number(s); });
    }
    QString path(const QString &name) const { return dir.path() + QLatin1Char('/') + name; }
};

// Runs RTKLIB's convbin over the u-blox file `input` into the RINEX 2.11 observation file
// `out`; returns the output's text, empty if convbin failed.
QByteArray convbinRinex(const QString &convbin, const QString &input, const QString &out)
{
    QProcess p;
    p.start(convbin, { QStringLiteral("-r"), QStringLiteral("ubx"), QStringLiteral("-v"), QStringLiteral("2.11"),
                       QStringLiteral("-o"), out, input });
    return p.waitForFinished(60000) ? readAll(out) : QByteArray();
}

QString writeFile(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return name;
}

} // namespace

class TestLogFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cutBase_data();
    void cutBase();
    void names();
    void gpsOpenModes();
    void gpsHeaderAndFooter();
    void pvtAndNmeaHeaders();
    void rinexHold_data();
    void rinexHold();
    void counterOpenModes();
    void counterStyles_data();
    void counterStyles();
    void configBuffer();
    void oncoreCaptureBinaryLog();
    void ubxCaptureReadByConvbin();
    void ubxCaptureRinexLog();
};

void TestLogFiles::cutBase_data()
{
    QTest::addColumn<QString>("picked");
    QTest::addColumn<QString>("base");
    QTest::newRow("plain name") << "/d/ABC.txt" << "/d/ABC";
    QTest::newRow("old GPS name") << "/d/ABC_0123G.csv" << "/d/ABC";
    QTest::newRow("old time file") << "/d/ABC_0123T_PORT_02.prn" << "/d/ABC";
    QTest::newRow("old config log") << "/d/ABC_0123C.txt" << "/d/ABC";
    QTest::newRow("new average file") << "/d/VORA_2026_337A_PORT_01.csv" << "/d/VORA";
    QTest::newRow("new config log") << "/d/VORA_2026_337C.txt" << "/d/VORA";
    QTest::newRow("new GPS log") << "/d/X_Y_2027_001G.bin" << "/d/X_Y";
    QTest::newRow("dot in directory") << "/home/j.smith/ChronodeData/VORA" << "/home/j.smith/ChronodeData/VORA";
    QTest::newRow("digits in prefix") << "/d/LAB123C" << "/d/LAB123C";
}

void TestLogFiles::cutBase()
{
    QFETCH(QString, picked);
    QFETCH(QString, base);
    QCOMPARE(LogNaming::cutBase(picked), base);
}

void TestLogFiles::names()
{
    const QDate day(2026, 12, 3);
    const QStringList set = LogNaming::counterSet(QStringLiteral("/d/VORA"), day, 1);
    QCOMPARE(set.size(), 17);
    QCOMPARE(set.first(), QStringLiteral("/d/VORA_2026_337C.txt"));
    QCOMPARE(set.at(1), QStringLiteral("/d/VORA_2026_337T_PORT_01.csv"));
    QCOMPARE(set.at(2), QStringLiteral("/d/VORA_2026_337A_PORT_01.csv"));
    QCOMPARE(set.last(), QStringLiteral("/d/VORA_2026_337A_PORT_08.csv"));
    QCOMPARE(QSet<QString>(set.begin(), set.end()).size(), 17);
    // Every name of the set cuts back to the prefix it was made from.
    for (const QString &name : set + LogNaming::counterSet(QStringLiteral("/d/VORA"), day, 0))
        QCOMPARE(LogNaming::cutBase(name), QStringLiteral("/d/VORA"));
    const QStringList gps { "/d/VORA_2026_001G.txt", "/d/VORA_2026_001G.bin", "/d/VORA_2026_001G.csv",
                            "/d/VORA_2026_001G.txt", "/d/VORA_2026_001G.bin" };
    for (int type = 0; type < 5; ++type)
        QCOMPARE(LogNaming::gpsFile(QStringLiteral("/d/VORA"), QDate(2026, 1, 1), type), gps[type]);
}

void TestLogFiles::gpsOpenModes()
{
    TestSupport::TemporarySettings settings;
    Rig rig;
    const QString name = rig.path(QStringLiteral("VORA_2026_337G.txt"));
    QCOMPARE(rig.gps.open(3), LogResult::FileMissing);
    QCOMPARE(rig.gps.open(0), LogResult::Ok);
    QCOMPARE(rig.gps.status().fileName, name);
    QVERIFY(QSettings().value(QStringLiteral("LogFiles/GpsLogOpen")).toBool());
    rig.gps.writeRawText(QStringLiteral("first"));
    QCOMPARE(rig.gps.close(), LogResult::Ok);
    QVERIFY(!QSettings().value(QStringLiteral("LogFiles/GpsLogOpen")).toBool());
    QCOMPARE(rig.gps.close(), LogResult::NotOpen);

    QCOMPARE(rig.gps.open(0), LogResult::FileExists);
    QCOMPARE(rig.gps.open(7), LogResult::BadMode);
    QCOMPARE(rig.gps.open(1), LogResult::Refused);   // nobody to confirm
    QString asked;
    rig.gps.setConfirmReplace([&](const QString &bare) {
        asked = bare;
        return false;
    });
    QCOMPARE(rig.gps.open(1), LogResult::Refused);
    QCOMPARE(asked, QStringLiteral("VORA_2026_337G.txt"));
    QVERIFY(readAll(name).contains("first\n"));

    // Append keeps what was there; a restart for the day (openNew) appends too.
    QCOMPARE(rig.gps.open(3), LogResult::Ok);
    QVERIFY(rig.gps.closeQuiet());
    QVERIFY(rig.gps.openNew());
    QVERIFY(rig.gps.closeQuiet());
    QByteArray text = readAll(name);
    QCOMPARE(text.count("first\n"), 1);
    QCOMPARE(text.count("Opened GPS Raw Data Log to append data at"), 2);

    rig.gps.setConfirmReplace([](const QString &) { return true; });
    QCOMPARE(rig.gps.open(1), LogResult::Ok);
    rig.gps.close();
    QVERIFY(!readAll(name).contains("first"));
    rig.gps.writeRawText(QStringLiteral("closed"));   // nothing to write to
    QCOMPARE(rig.gps.open(2), LogResult::Ok);
    rig.gps.close();
    text = readAll(name);
    QCOMPARE(text.count("Created GPS"), 1);
    QVERIFY(!text.contains("closed"));

    // Next year's day 337 is a file of its own.
    rig.ms = kNoon.addYears(1).toMSecsSinceEpoch();
    rig.state.receiverUtcDateTime.setDateTime(kNoon.addYears(1));
    QCOMPARE(rig.gps.open(0), LogResult::Ok);
    QCOMPARE(rig.gps.status().fileName, rig.path(QStringLiteral("VORA_2027_337G.txt")));
}

void TestLogFiles::gpsHeaderAndFooter()
{
    TestSupport::TemporarySettings settings;
    Rig rig;
    rig.state.softwareDateText = QStringLiteral("Jun 04 2004");
    rig.gps.setReceiverDescription([] { return QStringLiteral("M12M Timing"); });
    GpsLogSettings o = rig.gps.options();
    o.everyIndex = 11;
    rig.gps.setOptions(o);
    QCOMPARE(rig.gps.open(0), LogResult::Ok);
    rig.gps.writeRawText(QStringLiteral("-> @@Ha, record\r\n\n"));
    rig.gps.writeLogLine(QStringLiteral("two\nlines\n"));
    rig.gps.close();
    QCOMPARE(readAll(rig.path(QStringLiteral("VORA_2026_337G.txt"))),
             QByteArray("; Chronode Version 1.2.10. Created GPS Raw Data Log at Thu Dec 03 12:34:56 2026 UTC\n"
                        "; Recording GPS data every 60 seconds\n"
                        "; Receiver: M12M Timing, software date Jun 04 2004\n"
                        ";\n"
                        "-> @@Ha, record\n"
                        "two\nlines\n"
                        "; Closed GPS Data Log Thu Dec 03 12:34:56 2026 UTC\n"
                        "; \n"));
}

void TestLogFiles::pvtAndNmeaHeaders()
{
    TestSupport::TemporarySettings settings;
    Rig rig;
    QCOMPARE(GpsDataLog::pvtHeader(2, 12).count(QLatin1Char(',')) + 1, 82);
    QCOMPARE(GpsDataLog::pvtHeader(3, 8).count(QLatin1Char(',')) + 1, 13 + 4 * 8);
    QVERIFY(GpsDataLog::pvtHeader(6, 12).isEmpty());

    // A PVT log opened before the receiver is known gets its header with the first row.
    GpsLogSettings o = rig.gps.options();
    o.type = int(GpsLogType::Pvt);
    rig.gps.setOptions(o);
    rig.state.receiverMode = 11;
    QCOMPARE(rig.gps.open(0), LogResult::Ok);
    rig.state.receiverMode = 3;
    rig.state.channelCount = 8;
    rig.state.gpsLogWriteNow = true;
    rig.gps.writePvtRecord(QStringLiteral("row 1"));
    rig.gps.writePvtRecord(QStringLiteral("row 2"));
    rig.gps.close();
    QVERIFY(readAll(rig.path(QStringLiteral("VORA_2026_337G.csv")))
                .contains(";\n" + GpsDataLog::pvtHeader(3, 8).toLatin1() + "\nrow 1\nrow 2\n; Closed"));

    rig.state.gpsLogWriteNow = false;
    o.type = int(GpsLogType::Nmea);
    rig.gps.setOptions(o);
    rig.state.receiverMode = 2;   // the NMEA header goes with the NMEA log, whatever the mode
    QCOMPARE(rig.gps.open(0), LogResult::Ok);
    rig.gps.writeNmeaFixLine(QStringLiteral("not due"));
    rig.state.gpsLogWriteNow = true;
    rig.gps.writeNmeaFixLine(QStringLiteral("12,34,56.00,51,28.800000,N"));
    rig.gps.writeLogLine(QStringLiteral("$PKTWA,line"));
    rig.gps.close();
    const QList<QByteArray> lines = readAll(rig.path(QStringLiteral("VORA_2026_337G.txt"))).split('\n');
    QCOMPARE(lines.at(4), QByteArray("time,lat_deg,lat_min,lat_dir,long_deg,long_min,long_dir,quality,no_tracked,HDOP,"
                                     "height_msl,height_units,geoid_sep,geoid_sep_units,DGPS_age,DGPS_Ref_Stn_id"));
    QCOMPARE(lines.at(5), QByteArray("12,34,56.00,51,28.800000,N"));
    QCOMPARE(lines.at(6), QByteArray("$PKTWA,line"));
}

void TestLogFiles::rinexHold_data()
{
    // A sequence of messages "Xy" with the write-now flag of their second (1 or 0), and the
    // messages (by position in the sequence) the log receives.
    QTest::addColumn<QString>("sequence");
    QTest::addColumn<QList<int>>("written");
    QTest::newRow("Ea waits for Eg") << "Ea1" << QList<int> {};
    QTest::newRow("Ea written before Eg") << "Ea1 Eg1" << QList<int> { 0, 1 };
    QTest::newRow("held dropped in a clear second") << "Ea1 Ek1 Eg0 Eg1" << QList<int> { 3 };
    QTest::newRow("both held, latest kept") << "Ba1 Ba1 Bk1 Bg1" << QList<int> { 1, 2, 3 };
    QTest::newRow("direct messages") << "Bf1 Cc0 Ha1 Cc1 Bb1 Hn1" << QList<int> { 0, 2, 3 };
}

void TestLogFiles::rinexHold()
{
    QFETCH(QString, sequence);
    QFETCH(QList<int>, written);
    TestSupport::TemporarySettings settings;
    Rig rig;
    GpsLogSettings o = rig.gps.options();
    o.type = int(GpsLogType::Rinex);
    rig.gps.setOptions(o);
    QCOMPARE(rig.gps.open(0), LogResult::Ok);
    const QString name = rig.gps.status().fileName;
    QVERIFY(name.endsWith(QStringLiteral("G.bin")));
    const qint64 headerSize = rig.gps.status().bytes;
    QList<QByteArray> messages;
    for (const QString &token : sequence.split(QLatin1Char(' '))) {
        messages << "@@" + token.left(2).toLatin1() + char('0' + messages.size());
        rig.state.gpsLogWriteNow = token.endsWith(QLatin1Char('1'));
        rig.gps.writeBinaryRecord(messages.last());
    }
    rig.gps.flush();
    QByteArray expected;
    for (int i : written)
        expected += messages[i] + char(messages[i][2] ^ messages[i][3] ^ messages[i][4]) + "\r\n";
    QCOMPARE(readAll(name).mid(headerSize), expected);
}

void TestLogFiles::counterOpenModes()
{
    TestSupport::TemporarySettings settings;
    Rig rig;
    const QString config = rig.path(QStringLiteral("VORA_2026_337C.txt"));
    QCOMPARE(rig.counters.open(3), LogResult::FileMissing);
    QCOMPARE(rig.counters.open(2), LogResult::Ok);
    QVERIFY(QSettings().value(QStringLiteral("LogFiles/TicLogOpen")).toBool());
    rig.counters.writeTimeRecord(3, QStringLiteral("1 2"));
    rig.counters.close();
    QVERIFY(!QSettings().value(QStringLiteral("LogFiles/TicLogOpen")).toBool());
    // Only the configuration log and the one written file are left.
    QCOMPARE(QDir(rig.dir.path()).entryList(QDir::Files),
             QStringList({ "VORA_2026_337C.txt", "VORA_2026_337T_PORT_03.csv" }));
    QCOMPARE(readAll(config),
             QByteArray("; Created TIC Data Logs Thu Dec 03 12:34:56 2026 UTC\n"
                        "; Recording time data every 1 seconds\n"
                        "; Average data file based on internal sawtooth corrected data. Averaging Period is 300 seconds.\n"
                        "; \n"
                        "; Closed TIC Data Logs Thu Dec 03 12:34:56 2026 UTC\n"
                        "; \n"));

    // The daily restart (mode 0) appends to the day's set; so does mode 3.
    CounterLogSettings o = rig.counters.options();
    o.timeLogEnabled = false;
    o.counterAveraging = true;
    rig.counters.setOptions(o);
    QVERIFY(rig.counters.reopenForToday());
    rig.counters.writeTimeRecord(3, QStringLiteral("3 4"));
    rig.counters.closeQuiet();
    QCOMPARE(readAll(rig.path(QStringLiteral("VORA_2026_337T_PORT_03.csv"))), QByteArray("1,2\n3,4\n"));
    QVERIFY(readAll(config).endsWith("; \n;\n; Opened existing TIC Data Logs to append data Thu Dec 03 12:34:56 2026 UTC\n;\n"
                                     "; Recording time data DISABLED\n"
                                     "; Average data file based on external TIC data. Averaging Period is set by TIC.\n"
                                     "; \n"
                                     "; Closed TIC Data Logs Thu Dec 03 12:34:56 2026 UTC\n; \n"));
    QCOMPARE(rig.counters.open(1), LogResult::Refused);
    rig.counters.setConfirmReplace([](const QString &bare) { return bare == QStringLiteral("VORA_2026_337C.txt"); });
    QCOMPARE(rig.counters.open(1), LogResult::Ok);
    rig.counters.close();
    QCOMPARE(QDir(rig.dir.path()).entryList(QDir::Files), QStringList({ "VORA_2026_337C.txt" }));

    // A stored open flag of the old spelling is moved to the new key and reopens the set.
    QSettings().remove(QStringLiteral("LogFiles/TicLogOpen"));
    QSettings().setValue(QStringLiteral("LogFiles/Tic Log Open"), true);
    QSettings().setValue(QStringLiteral("LogFiles/TicLogFileDirectory"), rig.dir.path());
    QVERIFY(rig.counters.resumeAtStart());
    QVERIFY(!QSettings().contains(QStringLiteral("LogFiles/Tic Log Open")));
    QVERIFY(QSettings().value(QStringLiteral("LogFiles/TicLogOpen")).toBool());
    QCOMPARE(rig.counters.close(false), LogResult::Ok);
    QVERIFY(QSettings().value(QStringLiteral("LogFiles/TicLogOpen")).toBool());
}

void TestLogFiles::counterStyles_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("expected");
    QTest::newRow("space") << 0 << "26337.5 12.5 0 -0.25";
    QTest::newRow("comma") << 1 << "26337.5,12.5,0,-0.25";
    QTest::newRow("tab") << 2 << "26337.5\t12.5\t0\t-0.25";
}

void TestLogFiles::counterStyles()
{
    QFETCH(int, style);
    QFETCH(QString, expected);
    QCOMPARE(CounterLogSet::styled(QStringLiteral("26337.5  12.5    0 -0.25"), style), expected);
}

void TestLogFiles::configBuffer()
{
    TestSupport::TemporarySettings settings;
    Rig rig;
    const qint64 event = rig.ms - 3600 * 1000;
    rig.counters.writeConfigLog(QStringLiteral("@@Cj identity\r\nsecond line"), event);
    QCOMPARE(rig.counters.configBuffer(),
             QStringLiteral("%1 @@Cj identity\n%1 second line\n").arg(event / 1000));
    QCOMPARE(rig.counters.open(0), LogResult::Ok);
    rig.counters.close();
    QVERIFY(readAll(rig.path(QStringLiteral("VORA_2026_337C.txt")))
                .contains(QStringLiteral("; \n%1 @@Cj identity\n").arg(event / 1000).toLatin1()));
    QVERIFY(rig.counters.configBuffer().isEmpty());

    const QString text(40, QLatin1Char('x'));
    for (int i = 0; i < 1000; ++i)
        rig.counters.writeConfigLog(text, event);
    const QString buffer = rig.counters.configBuffer();
    QCOMPARE(buffer.count(QStringLiteral("*** Configuration buffer overflow before log opened ***\n")), 1);
    QVERIFY(buffer.endsWith(QStringLiteral("opened ***\n")));
    QVERIFY(buffer.size() < CounterLogSet::ConfigBufferLimit + 200);
}

void TestLogFiles::oncoreCaptureBinaryLog()
{
    const QByteArray capture = TestSupport::captureBytes(QStringLiteral("oncore-binary.log"));
    if (capture.isEmpty())
        QSKIP("capture oncore-binary.log not present");
    TestSupport::TemporarySettings settings;
    Rig rig;
    GpsLogSettings o = rig.gps.options();
    o.type = int(GpsLogType::Binary);
    rig.gps.setOptions(o);
    QCOMPARE(rig.gps.open(0), LogResult::Ok);
    const qint64 headerSize = rig.gps.status().bytes;
    rig.state.gpsLogWriteNow = true;
    MotorolaFramer framer;
    bool pps = false;
    int frames = 0;
    framer.feed(capture, pps, [&](const QByteArray &message) {
        ++frames;
        rig.gps.writeBinaryRecord(message);
    });
    const QString name = rig.gps.status().fileName;
    rig.gps.flush();
    QVERIFY(frames > 50);
    // Every frame of the capture, byte for byte and in order: the capture is nothing but
    // frames once its comment lines are gone.
    QCOMPARE(readAll(name).mid(headerSize), capture.left(readAll(name).size() - headerSize));
    QCOMPARE(readAll(name).size() - headerSize, capture.size());
}

void TestLogFiles::ubxCaptureReadByConvbin()
{
    const QByteArray capture = TestSupport::captureBytes(QStringLiteral("ublox-lea-4t.log"));
    if (capture.isEmpty())
        QSKIP("capture ublox-lea-4t.log not present");
    const QString convbin = QStandardPaths::findExecutable(QStringLiteral("convbin"));
    TestSupport::TemporarySettings settings;
    Rig rig;
    GpsLogSettings o = rig.gps.options();
    o.type = int(GpsLogType::Binary);
    rig.gps.setOptions(o);
    QCOMPARE(rig.gps.open(0), LogResult::Ok);
    rig.state.gpsLogWriteNow = true;
    NmeaUbxFramer framer;
    bool pps = false;
    QByteArray frames;
    framer.feed(capture, false, pps, [&](const QByteArray &frame) {
        if (uint8_t(frame[0]) != 0xB5)
            return;
        frames += frame;
        rig.gps.writeBinaryRecord(frame.first(frame.size() - 2));   // as the decoder hands it over
    });
    const QString log = rig.gps.status().fileName;
    rig.gps.close();
    QVERIFY(frames.size() > 1000);
    QVERIFY(readAll(log).contains(frames));   // the wire form, check bytes included

    if (convbin.isEmpty())
        QSKIP("convbin (package rtklib) not installed");
    // convbin finds in the log the observation epochs, satellites and values it finds in the
    // capture.
    const QString raw = writeFile(rig.path(QStringLiteral("capture.ubx")), capture);
    auto epochs = [&](const QString &input, const QString &out) {
        QList<QByteArray> list;
        bool body = false;
        for (const QByteArray &line : convbinRinex(convbin, input, out).split('\n')) {
            if (body)
                list << line;
            body = body || line.contains("END OF HEADER");
        }
        return list;
    };
    const QList<QByteArray> fromCapture = epochs(raw, rig.path(QStringLiteral("capture.obs")));
    const QList<QByteArray> fromLog = epochs(log, rig.path(QStringLiteral("log.obs")));
    QVERIFY(fromCapture.size() > 10);
    QCOMPARE(fromLog, fromCapture);
}

// The epoch lines (time, flag, satellites) of a RINEX 2.11 observation file, normalised.
static QList<QByteArray> rinexEpochLines(const QByteArray &file)
{
    static const QRegularExpression epoch(QStringLiteral("^ \\d\\d [ \\d]\\d [ \\d]\\d [ \\d]\\d [ \\d]\\d [ \\d]\\d\\.\\d{7}  \\d"));
    QList<QByteArray> list;
    for (const QByteArray &line : file.split('\n')) {
        if (!epoch.match(QString::fromLatin1(line)).hasMatch())
            continue;
        // Time fields as numbers ("01" and " 1" are the same month), then flag and satellites.
        QByteArray fields;
        for (const QByteArray &f : line.left(26).simplified().split(' '))
            fields += QByteArray::number(f.toDouble(), 'f', 7) + ' ';
        list << fields + line.mid(26).trimmed();
    }
    return list;
}

void TestLogFiles::ubxCaptureRinexLog()
{
    const QByteArray capture = TestSupport::captureBytes(QStringLiteral("ublox-lea-4t.log"));
    if (capture.isEmpty())
        QSKIP("capture ublox-lea-4t.log not present");
    TestSupport::TemporarySettings settings;
    Rig rig;
    rig.state.receiverMode = 9;
    GpsLogSettings o = rig.gps.options();
    o.type = int(GpsLogType::Rinex);
    rig.gps.setOptions(o);
    QCOMPARE(rig.gps.open(0), LogResult::Ok);
    QVERIFY(rig.gps.wantsRawEpochs());
    const QString log = rig.gps.status().fileName;
    QCOMPARE(log, rig.path(QStringLiteral("VORA_2026_337G.obs")));
    rig.state.gpsLogWriteNow = true;
    NmeaUbxFramer framer;
    bool pps = false;
    framer.feed(capture, false, pps, [&](const QByteArray &frame) {
        if (frame.size() > 8 && uint8_t(frame[0]) == 0xB5 && frame[2] == 0x02 && frame[3] == 0x10) {
            if (const auto epoch = UbxRawEpoch::fromPayload(QByteArrayView(frame).sliced(6, frame.size() - 8)))
                rig.gps.writeRawEpoch(*epoch);
        }
    });
    rig.gps.close();
    const QList<QByteArray> written = rinexEpochLines(readAll(log));
    QCOMPARE(written.size(), 2);

    const QString convbin = QStandardPaths::findExecutable(QStringLiteral("convbin"));
    if (convbin.isEmpty())
        QSKIP("convbin (package rtklib) not installed");
    const QString raw = writeFile(rig.path(QStringLiteral("capture.ubx")), capture);
    const QByteArray converted = convbinRinex(convbin, raw, rig.path(QStringLiteral("capture.obs")));
    QVERIFY(!converted.isEmpty());
    QCOMPARE(written, rinexEpochLines(converted));
}

CHRONODE_TEST_MAIN(TestLogFiles)
#include "tst_logfiles.moc"
