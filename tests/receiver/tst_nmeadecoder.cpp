#include "core/ReceiverState.h"
#include "averaging/AveragingInput.h"
#include "receiver/DecoderContext.h"
#include "receiver/nmea/NmeaDecoder.h"
#include "core/ReceiverMode.h"
#include "support/RecordingAveraging.h"

#include <QtTest>

#include <cstdlib>
#include <ctime>

namespace {

// "$" + body + "*" + checksum, as the link hands a sentence over.
QByteArray sentence(const QByteArray &body)
{
    quint8 x = 0;
    for (char c : body)
        x ^= quint8(c);
    return '$' + body + '*' + QByteArray::number(x, 16).rightJustified(2, '0').toUpper();
}

// The shared recording fakes, with what the NMEA decoder needs besides: a position-hold
// switch on the engine and the clock-panel refreshes that follow each stored time.
class FakeAveraging : public RecordingAveraging
{
public:
    bool hold = false;
    bool positionHold() const override { return hold; }

    QList<QList<double>> dopLists() const
    {
        QList<QList<double>> out;
        for (const Dops &d : dops)
            out.append({ d.gdop, d.pdop, d.hdop, d.vdop, d.tdop });
        return out;
    }
};

class FakeDisplay : public RecordingDisplay
{
public:
    const ReceiverState *state = nullptr;
    QList<QDateTime> storedTimes;
    int clockRefreshes = 0;

    void refreshClockPanel() override
    {
        ++clockRefreshes;
        if (state)
            storedTimes.append(state->receiverUtcDateTime.dateTime());
    }
};

class FakeGpsLog : public GpsLogRecorder
{
public:
    QStringList lines;
    void writeBinaryRecord(const QByteArray &) override {}
    void writeNmeaFixLine(const QString &line) override { lines.append(line); }
};

struct Rig
{
    ReceiverState state;
    FakeAveraging averaging;
    FakeDisplay display;
    FakeGpsLog gpsLog;
    NmeaDecoder decoder;

    static DecoderOptions withTexts()
    {
        DecoderOptions o;
        o.alwaysBuildTexts = true;
        return o;
    }
    explicit Rig(int mode = ReceiverMode::GenericNmea, DecoderOptions options = withTexts())
        : decoder(makeContext(options))
    {
        state.receiverMode = mode;
        state.timeMessageMissing = true;
        display.state = &state;
    }
    DecoderContext makeContext(DecoderOptions options)
    {
        DecoderContext c;
        c.state = &state;
        c.averaging = &averaging;
        c.display = &display;
        c.gpsLog = &gpsLog;
        c.options = options;
        return c;
    }
    bool feed(const QByteArray &body) { return decoder.decodeNmeaSentence(sentence(body)); }
    int filledRecords() const
    {
        int n = 0;
        for (const SatelliteRecord &r : state.satellites)
            n += r.svId != 0 ? 1 : 0;
        return n;
    }
};

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), QTimeZone::utc());
}

const char *const IllegalDate = "WARNING: Illegal date or time decoding GPZDA.";

} // namespace

class TestNmeaDecoder : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rejectsWhatIsNoSentence_data();
    void rejectsWhatIsNoSentence();
    void antennaStatus_data();
    void antennaStatus();
    void zdaTime_data();
    void zdaTime();
    void zdaInvalid_data();
    void zdaInvalid();
    void zdaInLocalTime();
    void localTimeOnSummerTimeDays_data();
    void localTimeOnSummerTimeDays();
    void ggaHeights_data();
    void ggaHeights();
    void ggaPositionAndCounts();
    void ggaUnitWarnings();
    void ggaDgpsText_data();
    void ggaDgpsText();
    void commonLogLineToGpsLog();
    void commonLogLine_data();
    void commonLogLine();
    void gsa_data();
    void gsa();
    void gsaInPositionHold();
    void gsvTwoSatellites();
    void gsvEmptyFieldsAndUnfilledGroups();
    void gsvTruncatedGroupDropped();
    void gsvSatelliteThatSetIsCleared();
    void gsvTalkerNumbering_data();
    void gsvTalkerNumbering();
    void gsvVisibleAcrossTalkers();
    void rmcDates_data();
    void rmcDates();
    void rmcSecondsRounded_data();
    void rmcSecondsRounded();
    void rmcInvalid_data();
    void rmcInvalid();
    void rmcDefersToZda();
    void rmcAndVtgFeedSpeedAndCourse();
    void garminTexts_data();
    void garminTexts();
    void garminTextsOnlyWhenRead();
    void answerFlags_data();
    void answerFlags();
    void otherTalkersDecodedAlike();
};

void TestNmeaDecoder::rejectsWhatIsNoSentence_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("six bytes") << QByteArray("$GPGGA") << false;
    QTest::newRow("no dollar") << QByteArray("GPGGA,1,2,3*00") << false;
    QTest::newRow("motorola frame") << QByteArray("@@Ha\x01\x02\x03") << false;
    QTest::newRow("seven bytes") << QByteArray("$GPGGA,") << true;
    QTest::newRow("unknown sentence") << sentence("PGRME,7.6,M,41.7,M,42.4,M") << true;
    QTest::newRow("unknown talker") << sentence("XXGGA,1,2,3") << true;
}

void TestNmeaDecoder::rejectsWhatIsNoSentence()
{
    QFETCH(QByteArray, raw);
    QFETCH(bool, accepted);
    Rig rig;
    QCOMPARE(rig.decoder.decodeNmeaSentence(raw), accepted);
    QVERIFY(rig.averaging.positions.isEmpty());
    QVERIFY(rig.display.storedTimes.isEmpty());
    QVERIFY(rig.decoder.displayText().isEmpty());
}

void TestNmeaDecoder::antennaStatus_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("expected");
    QTest::newRow("OK") << QByteArray("GPTXT,01,01,00,ANTSTATUS=OK") << 0;
    QTest::newRow("SHORT") << QByteArray("GPTXT,01,01,00,ANTSTATUS=SHORT") << 1;
    QTest::newRow("OPEN") << QByteArray("GPTXT,01,01,00,ANTSTATUS=OPEN") << 2;
    QTest::newRow("XYZ") << QByteArray("GPTXT,01,01,00,ANTSTATUS=XYZ") << -1;
    QTest::newRow("empty word") << QByteArray("GPTXT,01,01,00,ANTSTATUS=") << -1;
    QTest::newRow("GNTXT INIT OPEN") << QByteArray("GNTXT,01,01,02,ANTSTATUS=INIT OPEN") << -1;
    QTest::newRow("GNTXT OK") << QByteArray("GNTXT,01,01,02,ANTSTATUS=OK") << 0;
}

void TestNmeaDecoder::antennaStatus()
{
    QFETCH(QByteArray, body);
    QFETCH(int, expected);
    Rig rig;
    rig.state.antennaState = 3;
    QVERIFY(rig.feed(body));
    QCOMPARE(rig.state.antennaState, expected);
    QCOMPARE(rig.display.antenna, QList<int> { expected });

    // Text without the antenna word changes nothing.
    QVERIFY(rig.feed("GPTXT,01,01,02,u-blox ag - www.u-blox.com"));
    QCOMPARE(rig.state.antennaState, expected);
    QCOMPARE(rig.display.antenna.size(), 1);
}

void TestNmeaDecoder::zdaTime_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QDateTime>("expected");
    QTest::addColumn<int>("milliseconds");
    QTest::newRow("whole second") << QByteArray("GPZDA,171245.00,08,04,2005,00,00")
                                  << utc(2005, 4, 8, 17, 12, 45) << 0;
    QTest::newRow("fraction kept") << QByteArray("GPZDA,000001.25,01,01,2000,,")
                                   << utc(2000, 1, 1, 0, 0, 1, 250) << 250;
    QTest::newRow("no fraction") << QByteArray("GPZDA,235959,31,12,1999,,")
                                 << utc(1999, 12, 31, 23, 59, 59) << 0;
    QTest::newRow("rounds into next day") << QByteArray("GPZDA,235959.9996,31,12,2023,,")
                                          << utc(2024, 1, 1, 0, 0, 0) << 0;
    QTest::newRow("year 1900 accepted") << QByteArray("GPZDA,120000.00,01,03,1900,,")
                                        << utc(1900, 3, 1, 12, 0, 0) << 0;
    QTest::newRow("leap second held at :59.999")
        << QByteArray("GPZDA,235960.00,31,12,2016,,") << utc(2016, 12, 31, 23, 59, 59, 999)
        << 999;
}

void TestNmeaDecoder::zdaTime()
{
    QFETCH(QByteArray, body);
    QFETCH(QDateTime, expected);
    QFETCH(int, milliseconds);
    Rig rig;
    rig.state.nmeaTimePending = true;
    QVERIFY(rig.feed(body));
    QCOMPARE(rig.state.receiverUtcDateTime.dateTime(), expected);
    QCOMPARE(rig.state.receiverUtcDateTime.milliseconds(), milliseconds);
    QCOMPARE(rig.state.receiverUtcDateTime.mjd(), ReceiverTime::mjdOf(expected.date()));
    QVERIFY(!rig.state.timeMessageMissing);
    QVERIFY(rig.state.nmeaTimeSeen);
    QVERIFY(!rig.state.nmeaTimePending);
    QVERIFY(rig.state.answered(AnswerFamily::MotorolaNmea));
    QCOMPARE(rig.display.clockRefreshes, 1);
    QVERIFY(rig.decoder.zdaSeen());
}

void TestNmeaDecoder::zdaInvalid_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("day 0") << QByteArray("GPZDA,120000.00,00,04,2005,00,00");
    QTest::newRow("day 32") << QByteArray("GPZDA,120000.00,32,04,2005,00,00");
    QTest::newRow("month 13") << QByteArray("GPZDA,120000.00,08,13,2005,00,00");
    QTest::newRow("year 1899") << QByteArray("GPZDA,120000.00,08,04,1899,00,00");
    QTest::newRow("hour 24") << QByteArray("GPZDA,240000.00,08,04,2005,00,00");
    QTest::newRow("minute 60") << QByteArray("GPZDA,126000.00,08,04,2005,00,00");
    QTest::newRow("31 February") << QByteArray("GPZDA,120000.00,31,02,2005,00,00");
    QTest::newRow("letters in day") << QByteArray("GPZDA,120000.00,xx,04,2005,00,00");
    QTest::newRow("all fields empty") << QByteArray("GPZDA,,,,,,");
    QTest::newRow("empty time") << QByteArray("GPZDA,,08,04,2005,00,00");
    QTest::newRow("fields missing") << QByteArray("GPZDA,120000.00,08");
    QTest::newRow("time too short") << QByteArray("GPZDA,1200,08,04,2005,00,00");
}

void TestNmeaDecoder::zdaInvalid()
{
    QFETCH(QByteArray, body);
    Rig rig;
    const ReceiverTime before = rig.state.receiverUtcDateTime;
    QTest::ignoreMessage(QtWarningMsg, IllegalDate);
    QVERIFY(rig.feed(body));
    QCOMPARE(rig.decoder.lastWarning(), QString::fromLatin1(IllegalDate));
    QVERIFY(rig.state.receiverUtcDateTime == before);
    QVERIFY(rig.state.timeMessageMissing);
    QVERIFY(!rig.state.nmeaTimeSeen);
    QCOMPARE(rig.display.clockRefreshes, 0);
    QVERIFY(!rig.decoder.zdaSeen());
}

void TestNmeaDecoder::zdaInLocalTime()
{
    // A receiver set to local time: the fixed zone of this process is three hours east.
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "XYZ-3");
    tzset();
    DecoderOptions options = Rig::withTexts();
    options.receiverInLocalTime = true;
    Rig rig(ReceiverMode::MotorolaNmea, options);
    QVERIFY(rig.feed("GPZDA,013000.50,01,01,2020,,"));
    const QDateTime got = rig.state.receiverUtcDateTime.dateTime();
    if (oldTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldTz);
    tzset();
    QCOMPARE(got, utc(2019, 12, 31, 22, 30, 0, 500));
    QCOMPARE(rig.state.receiverUtcDateTime.mjd(), ReceiverTime::mjdOf(QDate(2019, 12, 31)));
}

void TestNmeaDecoder::localTimeOnSummerTimeDays_data()
{
    // Central European zone: summer time from 02:00 on the last Sunday of March to 03:00 on
    // the last Sunday of October (29 March and 25 October 2020).
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QDateTime>("expected");
    QTest::newRow("ZDA spring day, before the change")
        << QByteArray("GPZDA,013000.00,29,03,2020,,") << utc(2020, 3, 29, 0, 30, 0);
    QTest::newRow("ZDA spring day, after the change")
        << QByteArray("GPZDA,120000.25,29,03,2020,,") << utc(2020, 3, 29, 10, 0, 0, 250);
    QTest::newRow("ZDA autumn day, after the change")
        << QByteArray("GPZDA,120000.00,25,10,2020,,") << utc(2020, 10, 25, 11, 0, 0);
    QTest::newRow("RMC spring day, rounded into the next day")
        << QByteArray("GPRMC,235959.6,A,,,,,,,290320,,") << utc(2020, 3, 29, 22, 0, 0);
}

void TestNmeaDecoder::localTimeOnSummerTimeDays()
{
    QFETCH(QByteArray, raw);
    QFETCH(QDateTime, expected);
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
    DecoderOptions options = Rig::withTexts();
    options.receiverInLocalTime = true;
    Rig rig(ReceiverMode::MotorolaNmea, options);
    const bool fed = rig.feed(raw);
    const QDateTime got = rig.state.receiverUtcDateTime.dateTime();
    const QString warning = rig.decoder.lastWarning();
    if (oldTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldTz);
    tzset();
    QVERIFY(fed);
    QCOMPARE(warning, QString());
    QCOMPARE(got, expected);
}

void TestNmeaDecoder::ggaHeights_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<double>("firmware");
    QTest::addColumn<double>("ellipsoid");
    QTest::addColumn<double>("msl");
    QTest::addColumn<QString>("logTail");   // height_msl..geoid_sep_units of the log line

    // Altitude 100.0, separation 20.0 in every row.
    QTest::newRow("generic receiver") << 15 << 0.0 << 120.0 << 100.0 << "100.0,M,20.0,M";
    QTest::newRow("VP 7.5 inverted separation") << 10 << 7.5 << 80.0 << 100.0 << "100.0,M,-20.0,M";
    QTest::newRow("VP 7.0 inverted") << 10 << 7.0 << 80.0 << 100.0 << "100.0,M,-20.0,M";
    QTest::newRow("VP 8.79 inverted") << 10 << 8.79 << 80.0 << 100.0 << "100.0,M,-20.0,M";
    QTest::newRow("VP 8.8 normal") << 10 << 8.8 << 120.0 << 100.0 << "100.0,M,20.0,M";
    QTest::newRow("VP 6.99 altitude is ellipsoid") << 10 << 6.99 << 100.0 << 80.0 << "80.0,M,20.0,M";
    QTest::newRow("VP unknown firmware") << 10 << 0.0 << 120.0 << 100.0 << "100.0,M,20.0,M";
    QTest::newRow("PVT6 5.0") << 6 << 5.0 << 100.0 << 80.0 << "80.0,M,20.0,M";
    QTest::newRow("XT 7.2") << 11 << 7.2 << 80.0 << 100.0 << "100.0,M,-20.0,M";
    QTest::newRow("UT+ 7.5 not AMU") << 9 << 7.5 << 120.0 << 100.0 << "100.0,M,20.0,M";
}

void TestNmeaDecoder::ggaHeights()
{
    QFETCH(int, model);
    QFETCH(double, firmware);
    QFETCH(double, ellipsoid);
    QFETCH(double, msl);
    QFETCH(QString, logTail);
    Rig rig(ReceiverMode::MotorolaNmea);
    rig.state.receiverModel = model;
    rig.state.firmwareVersion = firmware;
    QVERIFY(rig.feed("GPGGA,120000.00,4500.0000,N,00700.0000,E,1,05,1.2,100.0,M,20.0,M,,"));
    QCOMPARE(rig.averaging.positions.size(), 1);
    QCOMPARE(rig.averaging.positions[0].altGps, ellipsoid);
    QCOMPARE(rig.averaging.positions[0].altMsl, msl);
    QCOMPARE(rig.decoder.commonLogLine(),
             QStringLiteral("12,00,00.00,45,0.000000,N,07,0.000000,E,1,05,1.2,") + logTail
                 + QStringLiteral(",,"));
}

void TestNmeaDecoder::ggaPositionAndCounts()
{
    Rig rig(ReceiverMode::MotorolaNmea);
    QVERIFY(rig.feed("GPGGA,113258,3238.9148,S,10822.4466,W,1,08,1.1,1577.4,M,-24.6,M,,"));
    QCOMPARE(rig.averaging.positions.size(), 1);
    QCOMPARE(rig.averaging.positions[0].lat, -(32 + 38.9148 / 60.0));
    QCOMPARE(rig.averaging.positions[0].lon, -(108 + 22.4466 / 60.0));
    QCOMPARE(rig.averaging.positions[0].altGps, 1577.4 - 24.6);
    QCOMPARE(rig.averaging.positions[0].altMsl, 1577.4);
    QCOMPARE(rig.averaging.timingSatellites, QList<int> { 8 });
    QCOMPARE(rig.state.usedCount.value, 8);
    QVERIFY(rig.state.usedCount.changed);
    QCOMPARE(rig.decoder.usedText(), QStringLiteral("8 Used"));
    QCOMPARE(rig.display.usedTexts, QStringList { QStringLiteral("8 Used") });
    QVERIFY(rig.averaging.fixQualities.isEmpty());   // only u-blox NMEA hands it over
    QVERIFY(!rig.state.nmeaFirstOfSecond);

    // No fix: counts still go, the position does not. A GGA is no time message.
    QVERIFY(rig.feed("GPGGA,113259,,,,,0,00,99.9,,,,,,"));
    QCOMPARE(rig.averaging.positions.size(), 1);
    QCOMPARE(rig.averaging.timingSatellites, (QList<int> { 8, 0 }));
    QCOMPARE(rig.decoder.usedText(), QStringLiteral("0 Used"));
    QVERIFY(rig.display.storedTimes.isEmpty());
    QVERIFY(rig.decoder.lastWarning().isEmpty());

    // Minutes of 60 or more are no position.
    QVERIFY(rig.feed("GPGGA,113300,3260.0000,N,10822.4466,W,1,08,1.1,1577.4,M,-24.6,M,,"));
    QCOMPARE(rig.averaging.positions.size(), 1);

    Rig ublox(ReceiverMode::UbloxNmea);
    QVERIFY(ublox.feed("GNGGA,113258,3238.9148,N,10822.4466,E,2,12,0.7,10.0,M,1.0,M,,"));
    QCOMPARE(ublox.averaging.fixQualities, QList<int> { 2 });
    QCOMPARE(ublox.averaging.positions.size(), 1);
    QVERIFY(ublox.averaging.positions[0].lon > 108.0);
}

void TestNmeaDecoder::ggaUnitWarnings()
{
    Rig rig;
    QTest::ignoreMessage(QtWarningMsg, "NMEA fAltitude_msl not in Meters");
    QTest::ignoreMessage(QtWarningMsg, "NMEA fGeoid_separation not in Meters");
    QVERIFY(rig.feed("GPGGA,120000,4500.0000,N,00700.0000,E,1,05,1.2,328.1,F,65.6,F,,"));
    // The values are still used as they are.
    QCOMPARE(rig.averaging.positions.size(), 1);
    QCOMPARE(rig.averaging.positions[0].altMsl, 328.1);
    QCOMPARE(rig.averaging.positions[0].altGps, 328.1 + 65.6);
    QCOMPARE(rig.decoder.lastWarning(), QStringLiteral("NMEA fGeoid_separation not in Meters"));
}

void TestNmeaDecoder::ggaDgpsText_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");
    QTest::newRow("GPS fix, empty DGPS fields")
        << QByteArray("GPGGA,113258,3238.9148,N,10822.4466,W,1,08,1.1,1577.4,M,-24.6,M,,")
        << QString();
    QTest::newRow("DGPS fix, empty DGPS fields")
        << QByteArray("GPGGA,113258,3238.9148,N,10822.4466,W,2,08,1.1,1577.4,M,-24.6,M,,")
        << QStringLiteral("Receiving DGPS");
    QTest::newRow("DGPS fix with age and station")
        << QByteArray("GPGGA,113258,3238.9148,N,10822.4466,W,2,08,1.1,1577.4,M,-24.6,M,3.2,17")
        << QStringLiteral("Receiving DGPS, Age  3.2 sec, Station ID \"0017\"");
    QTest::newRow("no fix with stale fields")
        << QByteArray("GPGGA,113258,,,,,0,00,,,,,,5.0,0123") << QString();
}

void TestNmeaDecoder::ggaDgpsText()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    Rig rig;
    QVERIFY(rig.feed(body));
    QCOMPARE(rig.decoder.dgpsText(), expected);
}

void TestNmeaDecoder::commonLogLineToGpsLog()
{
    Rig rig(ReceiverMode::MotorolaNmea);
    const QByteArray gga = "GPGGA,171245.00,5209.7838,N,02048.4819,E,1,03,5.3,76.6,M,36.5,M,,";
    const QString line = QStringLiteral("17,12,45.00,52,9.783800,N,20,48.481900,E,1,03,5.3,76.6,M,36.5,M,,");
    // Not due this second: nothing goes to the log.
    rig.state.nmeaFirstOfSecond = true;
    rig.state.gpsLogWriteNow = false;
    QVERIFY(rig.feed(gga));
    QVERIFY(rig.gpsLog.lines.isEmpty());
    // Due: the first GGA of the second is written, a second one in the same second is not.
    rig.state.nmeaFirstOfSecond = true;
    rig.state.gpsLogWriteNow = true;
    QVERIFY(rig.feed(gga));
    QVERIFY(rig.feed(gga));
    QCOMPARE(rig.gpsLog.lines, QStringList { line });
    QVERIFY(!rig.state.nmeaFirstOfSecond);
    // The next tick re-arms it.
    rig.state.nmeaFirstOfSecond = true;
    QVERIFY(rig.feed("GPGGA,171246.00,,,,,0,00,,,,,,,"));
    QCOMPARE(rig.gpsLog.lines.size(), 2);
    QCOMPARE(rig.gpsLog.lines.last(),
             QStringLiteral("17,12,46.00,00,0.000000,N,00,0.000000,E,0,00,0.0,0.0,,0.0,,,"));
}

void TestNmeaDecoder::commonLogLine_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("line");
    QTest::newRow("oncore GT+")
        << QByteArray("$GPGGA,171245.00,5209.7838,N,02048.4819,E,1,03,5.3,76.6,M,36.5,M,,*5A")
        << QStringLiteral("17,12,45.00,52,9.783800,N,20,48.481900,E,1,03,5.3,76.6,M,36.5,M,,");
    QTest::newRow("garmin 15x")
        << QByteArray("$GPGGA,113258,3238.9148,N,10822.4466,W,2,08,1.1,1577.4,M,-24.6,M,,*4D")
        << QStringLiteral("11,32,58.00,32,38.914800,N,108,22.446600,W,2,08,1.1,1577.4,M,-24.6,M,,");
    QTest::newRow("dgps age and station")
        << sentence("GPGGA,000009.5,0001.0000,S,00000.5000,E,2,4,2.26,-3.0,M,0.0,M,12,7")
        << QStringLiteral("00,00,09.50,00,1.000000,S,00,0.500000,E,2,04,2.3,-3.0,M,0.0,M,12.0,0007");
    QTest::newRow("all empty")
        << sentence("GPGGA,,,,,,,,,,,,,,")
        << QStringLiteral("00,00,00.00,00,0.000000,N,00,0.000000,E,0,00,0.0,0.0,,0.0,,,");
    QTest::newRow("not a GGA") << sentence("GPGLL,5209.7838,N,02048.4819,E,171245.00,A") << QString();
}

void TestNmeaDecoder::commonLogLine()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, line);
    const NmeaGgaFix fix = NmeaDecoder::parseGga(raw);
    QCOMPARE(fix.present, !line.isEmpty());
    if (fix.present)
        QCOMPARE(NmeaDecoder::commonLogLine(fix), line);

    Rig rig;
    QVERIFY(rig.decoder.commonLogLine().isEmpty());
    rig.decoder.decodeNmeaSentence(raw);
    QCOMPARE(rig.decoder.commonLogLine(), line);
}

void TestNmeaDecoder::gsa_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("fixType");   // -1: none handed over
    QTest::addColumn<QList<double>>("dops");
    QTest::addColumn<QString>("dopText");

    QTest::newRow("garmin 3-D")
        << int(ReceiverMode::GenericNmea)
        << QByteArray("GPGSA,A,3,02,05,11,12,18,20,25,29,,,,,1.4,1.1,0.9")
        << QStringLiteral("3-D Fix (A)") << 3 << QList<double> { -1, 1.4, 1.1, 0.9, -1 }
        << QStringLiteral("PDOP = 1.4, HDOP = 1.1, VDOP = 0.9");
    // The GT+ leaves PDOP and VDOP empty; with empty satellite slots it still yields its HDOP.
    QTest::newRow("oncore 2-D, empty slots and DOPs")
        << int(ReceiverMode::MotorolaNmea) << QByteArray("GPGSA,A,2,02,04,27,,,,,,,,,,,5.3,")
        << QStringLiteral("2-D Fix (A)") << 2 << QList<double> { -1, 0.0, 5.3, 0.0, -1 }
        << QStringLiteral("PDOP = 0.0, HDOP = 5.3, VDOP = 0.0");
    QTest::newRow("manual 3-D") << int(ReceiverMode::GenericNmea)
                                << QByteArray("GPGSA,M,3,01,,,,,,,,,,,,12.24,10.0,99.95")
                                << QStringLiteral("3-D Fix (M)") << 3
                                << QList<double> { -1, 12.24, 10.0, 99.95, -1 }
                                << QStringLiteral("PDOP = 12.2, HDOP = 10.0, VDOP = 100.0");
    QTest::newRow("manual 2-D") << int(ReceiverMode::GenericNmea)
                                << QByteArray("GPGSA,M,2,,,,,,,,,,,,,2.0,1.0,1.7")
                                << QStringLiteral("2-D Fix (M)") << 2
                                << QList<double> { -1, 2.0, 1.0, 1.7, -1 }
                                << QStringLiteral("PDOP = 2.0, HDOP = 1.0, VDOP = 1.7");
    QTest::newRow("no fix") << int(ReceiverMode::UbloxNmea)
                            << QByteArray("GNGSA,A,1,,,,,,,,,,,,,99.99,99.99,99.99,1")
                            << QStringLiteral("No Fix") << 1
                            << QList<double> { -1, 99.99, 99.99, 99.99, -1 }
                            << QStringLiteral("PDOP = 100.0, HDOP = 100.0, VDOP = 100.0");
    QTest::newRow("truncated") << int(ReceiverMode::GenericNmea) << QByteArray("GPGSA,A")
                               << QStringLiteral("No Fix") << 0
                               << QList<double> { -1, 0.0, 0.0, 0.0, -1 }
                               << QStringLiteral("PDOP = 0.0, HDOP = 0.0, VDOP = 0.0");
    QTest::newRow("mode 5 keeps the fix status")
        << 5 << QByteArray("GPGSA,A,3,02,05,,,,,,,,,,,1.4,1.1,0.9") << QString() << -1
        << QList<double> { -1, 1.4, 1.1, 0.9, -1 } << QStringLiteral("PDOP = 1.4, HDOP = 1.1, VDOP = 0.9");
}

void TestNmeaDecoder::gsa()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, body);
    QFETCH(QString, status);
    QFETCH(int, fixType);
    QFETCH(QList<double>, dops);
    QFETCH(QString, dopText);
    Rig rig(mode);
    QVERIFY(rig.feed(body));
    QCOMPARE(rig.decoder.fixStatusText(), status);
    QCOMPARE(rig.averaging.fixTypes, fixType < 0 ? QList<int>() : QList<int> { fixType });
    QCOMPARE(rig.averaging.dopLists(), QList<QList<double>> { dops });
    QCOMPARE(rig.decoder.dopText(), dopText);
    QCOMPARE(rig.display.fixStatusTexts, status.isEmpty() ? QStringList() : QStringList { status });
    QCOMPARE(rig.display.dopStatusTexts, QStringList { dopText });
}

void TestNmeaDecoder::gsaInPositionHold()
{
    Rig rig;
    rig.averaging.hold = true;
    QVERIFY(rig.feed("GPGSA,A,1,02,05,11,,,,,,,,,,3.4,2.1,2.9"));
    QCOMPARE(rig.decoder.dopText(), QStringLiteral("DOP not available (position hold)"));
    QCOMPARE(rig.averaging.dopLists(), (QList<QList<double>> { { -1, 0.0, 0.0, 0.0, -1 } }));
    QCOMPARE(rig.decoder.fixStatusText(), QStringLiteral("No Fix"));
}

void TestNmeaDecoder::gsvTwoSatellites()
{
    Rig rig;
    QVERIFY(rig.feed("GPGSV,1,1,02,07,45,123,40,30,05,355,"));
    QCOMPARE(rig.filledRecords(), 2);
    const SatelliteRecord &a = rig.state.satellites[7];
    QCOMPARE(a.svId, 7);
    QCOMPARE(a.elevation, 45);
    QCOMPARE(a.azimuth, 123);
    QCOMPARE(a.cNo, 40);
    QCOMPARE(a.trackMode, quint8(8));
    const SatelliteRecord &b = rig.state.satellites[30];
    QCOMPARE(b.svId, 30);
    QCOMPARE(b.elevation, 5);
    QCOMPARE(b.azimuth, 355);
    QCOMPARE(b.cNo, 0);   // in view, not tracked
    QCOMPARE(rig.state.visibleCount.value, 2);
    QCOMPARE(rig.decoder.visibleText(), QStringLiteral("2 Visible"));
    QCOMPARE(rig.display.satelliteTableUpdates, 1);
    QCOMPARE(rig.display.satelliteCountUpdates, 1);
}

void TestNmeaDecoder::gsvEmptyFieldsAndUnfilledGroups()
{
    // The GT+ set: empty SNRs on untracked satellites, three empty groups in the last sentence.
    Rig rig(ReceiverMode::MotorolaNmea);
    QVERIFY(rig.feed("GPGSV,3,1,09,02,33,299,27,04,43,242,26,08,12,202,,13,85,356,"));
    QCOMPARE(rig.display.satelliteTableUpdates, 0);
    QVERIFY(rig.feed("GPGSV,3,2,09,16,22,059,,20,21,131,,23,54,074,,24,23,195,"));
    QCOMPARE(rig.display.satelliteTableUpdates, 0);
    QVERIFY(rig.feed("GPGSV,3,3,09,27,39,195,15,,,,,,,,,,,,"));
    QCOMPARE(rig.display.satelliteTableUpdates, 1);

    QCOMPARE(rig.filledRecords(), 9);
    QCOMPARE(rig.state.satellites[0], SatelliteRecord {});
    for (int id : { 2, 4, 8, 13, 16, 20, 23, 24, 27 })
        QCOMPARE(rig.state.satellites[size_t(id)].svId, id);
    QCOMPARE(rig.state.satellites[13].elevation, 85);
    QCOMPARE(rig.state.satellites[13].azimuth, 356);
    QCOMPARE(rig.state.satellites[13].cNo, 0);
    QCOMPARE(rig.state.satellites[27].cNo, 15);
    QCOMPARE(rig.state.visibleCount.value, 9);
}

void TestNmeaDecoder::gsvTruncatedGroupDropped()
{
    Rig rig;
    QVERIFY(rig.feed("GPGSV,1,1,02,07,45,123,40,30,05"));
    QCOMPARE(rig.filledRecords(), 0);
    QCOMPARE(rig.display.satelliteTableUpdates, 0);
    // A trailing NMEA 4.10 signal ID is no broken group.
    QVERIFY(rig.feed("GPGSV,1,1,01,07,45,123,40,1"));
    QCOMPARE(rig.filledRecords(), 1);
    QCOMPARE(rig.state.satellites[7].cNo, 40);
}

void TestNmeaDecoder::gsvSatelliteThatSetIsCleared()
{
    Rig rig;
    QVERIFY(rig.feed("GPGSV,2,1,05,01,10,100,30,02,20,200,31,03,30,300,32,04,40,040,33"));
    QVERIFY(rig.feed("GPGSV,2,2,05,05,50,050,34"));
    QCOMPARE(rig.filledRecords(), 5);
    QVERIFY(rig.feed("GPGSV,1,1,03,01,11,100,30,03,31,300,32,05,51,050,34"));
    QCOMPARE(rig.filledRecords(), 3);
    QCOMPARE(rig.state.satellites[2], SatelliteRecord {});
    QCOMPARE(rig.state.satellites[4], SatelliteRecord {});
    QCOMPARE(rig.state.satellites[1].elevation, 11);
    // GLONASS sets do not clear GPS satellites.
    QVERIFY(rig.feed("GLGSV,1,1,01,70,20,100,30"));
    QCOMPARE(rig.filledRecords(), 4);
    QVERIFY(rig.feed("GLGSV,1,1,00"));
    QCOMPARE(rig.filledRecords(), 3);
    QCOMPARE(rig.state.satellites[70], SatelliteRecord {});
}

void TestNmeaDecoder::gsvTalkerNumbering_data()
{
    QTest::addColumn<QByteArray>("talker");
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("table");
    QTest::newRow("GPS 1") << QByteArray("GP") << 1 << 1;
    QTest::newRow("NMEA SBAS 33") << QByteArray("GP") << 33 << 120;
    QTest::newRow("GLONASS in GP") << QByteArray("GP") << 65 << 65;
    QTest::newRow("SBAS PRN") << QByteArray("GP") << 133 << 133;
    QTest::newRow("u-blox Galileo 301") << QByteArray("GP") << 301 << 211;
    QTest::newRow("u-blox BeiDou 401") << QByteArray("GN") << 401 << 159;
    QTest::newRow("GP 97 no place") << QByteArray("GP") << 97 << 0;
    QTest::newRow("GLONASS slot 1") << QByteArray("GL") << 1 << 65;
    QTest::newRow("GLONASS unknown slot") << QByteArray("GL") << 255 << 255;
    QTest::newRow("Galileo 1") << QByteArray("GA") << 1 << 211;
    QTest::newRow("Galileo 37") << QByteArray("GA") << 37 << 0;
    QTest::newRow("BeiDou 5") << QByteArray("BD") << 5 << 163;
    QTest::newRow("BeiDou 6") << QByteArray("BD") << 6 << 33;
    QTest::newRow("BeiDou 37") << QByteArray("GB") << 37 << 64;
    QTest::newRow("QZSS 1") << QByteArray("GQ") << 1 << 193;
    QTest::newRow("zero") << QByteArray("GP") << 0 << 0;
    QTest::newRow("unknown talker") << QByteArray("GI") << 5 << 0;
}

void TestNmeaDecoder::gsvTalkerNumbering()
{
    QFETCH(QByteArray, talker);
    QFETCH(int, sent);
    QFETCH(int, table);
    QCOMPARE(NmeaDecoder::tableIdForTalker(talker, sent), table);

    Rig rig(ReceiverMode::UbloxNmea);
    QVERIFY(rig.feed(talker + "GSV,1,1,01," + QByteArray::number(sent) + ",40,100,35"));
    QCOMPARE(rig.filledRecords(), table > 0 ? 1 : 0);
    if (table > 0) {
        QCOMPARE(rig.state.satellites[size_t(table)].svId, table);
        QCOMPARE(rig.state.satellites[size_t(table)].cNo, 35);
    }
}

void TestNmeaDecoder::gsvVisibleAcrossTalkers()
{
    Rig rig(ReceiverMode::UbloxNmea);
    QVERIFY(rig.feed("GPGSV,1,1,02,07,45,123,40,30,05,355,"));
    QVERIFY(rig.feed("GLGSV,1,1,01,70,20,100,30"));
    QVERIFY(rig.feed("GAGSV,1,1,01,07,20,100,30"));
    QCOMPARE(rig.state.visibleCount.value, 4);
    QCOMPARE(rig.decoder.visibleText(), QStringLiteral("4 Visible"));
    // Galileo E07 and GPS G07 live side by side.
    QCOMPARE(rig.state.satellites[7].cNo, 40);
    QCOMPARE(rig.state.satellites[217].cNo, 30);
    QCOMPARE(rig.display.satelliteTableUpdates, 3);
}

void TestNmeaDecoder::rmcDates_data()
{
    QTest::addColumn<QByteArray>("date");
    QTest::addColumn<QDate>("expected");
    QTest::newRow("010199") << QByteArray("010199") << QDate(1999, 1, 1);
    QTest::newRow("010100") << QByteArray("010100") << QDate(2000, 1, 1);
    QTest::newRow("311279") << QByteArray("311279") << QDate(2079, 12, 31);
    QTest::newRow("060180") << QByteArray("060180") << QDate(1980, 1, 6);
    QTest::newRow("080405") << QByteArray("080405") << QDate(2005, 4, 8);
}

void TestNmeaDecoder::rmcDates()
{
    QFETCH(QByteArray, date);
    QFETCH(QDate, expected);
    Rig rig;
    QVERIFY(rig.feed("GPRMC,171244.00,A,5209.7838,N,02048.4818,E,0.6,71.0," + date + ",3.5,E"));
    QCOMPARE(rig.state.receiverUtcDateTime.dateTime(),
             QDateTime(expected, QTime(17, 12, 44), QTimeZone::utc()));
    QCOMPARE(rig.state.receiverUtcDateTime.mjd(), ReceiverTime::mjdOf(expected));
    QVERIFY(!rig.state.timeMessageMissing);
    QVERIFY(rig.state.nmeaTimeSeen);
    QCOMPARE(rig.display.clockRefreshes, 1);
}

void TestNmeaDecoder::rmcSecondsRounded_data()
{
    QTest::addColumn<QByteArray>("time");
    QTest::addColumn<QDateTime>("expected");
    QTest::newRow("12.49 down") << QByteArray("101012.49") << utc(2022, 10, 18, 10, 10, 12);
    QTest::newRow("12.50 up") << QByteArray("101012.50") << utc(2022, 10, 18, 10, 10, 13);
    QTest::newRow("59.6 into next minute") << QByteArray("105959.6") << utc(2022, 10, 18, 11, 0, 0);
    QTest::newRow("235959.7 into next day") << QByteArray("235959.7") << utc(2022, 10, 19, 0, 0, 0);
    QTest::newRow("leap second") << QByteArray("235960") << utc(2022, 10, 18, 23, 59, 59, 999);
}

void TestNmeaDecoder::rmcSecondsRounded()
{
    QFETCH(QByteArray, time);
    QFETCH(QDateTime, expected);
    Rig rig;
    QVERIFY(rig.feed("GPRMC," + time + ",A,3238.9148,N,10822.4466,W,005.3,247.1,181022,009.3,E"));
    QCOMPARE(rig.state.receiverUtcDateTime.dateTime(), expected);
}

void TestNmeaDecoder::rmcInvalid_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("hour 24") << QByteArray("GPRMC,240000,A,,,,,,,181022,,");
    QTest::newRow("minute 60") << QByteArray("GPRMC,126000,A,,,,,,,181022,,");
    QTest::newRow("day 32") << QByteArray("GPRMC,120000,A,,,,,,,321022,,");
    QTest::newRow("month 13") << QByteArray("GPRMC,120000,A,,,,,,,011322,,");
    QTest::newRow("30 February") << QByteArray("GPRMC,120000,A,,,,,,,300222,,");
    QTest::newRow("short date") << QByteArray("GPRMC,120000,A,,,,,,,1810,,");
    QTest::newRow("empty date") << QByteArray("GPRMC,120000,V,,,,,,,,,");
    QTest::newRow("empty time") << QByteArray("GPRMC,,V,,,,,,,181022,,");
    QTest::newRow("cold start") << QByteArray("GPRMC,,V,,,,,,,,,,N");
    QTest::newRow("cut after status") << QByteArray("GPRMC,120000,A");
}

void TestNmeaDecoder::rmcInvalid()
{
    QFETCH(QByteArray, body);
    Rig rig;
    const ReceiverTime before = rig.state.receiverUtcDateTime;
    QTest::ignoreMessage(QtWarningMsg, IllegalDate);
    QVERIFY(rig.feed(body));
    QVERIFY(rig.state.receiverUtcDateTime == before);
    QVERIFY(rig.state.timeMessageMissing);
    QCOMPARE(rig.display.clockRefreshes, 0);
}

void TestNmeaDecoder::rmcDefersToZda()
{
    Rig rig(ReceiverMode::MotorolaNmea);
    QVERIFY(rig.feed("GPZDA,120000.00,01,06,2010,,"));
    QVERIFY(rig.feed("GPRMC,120001,A,,,,,,,010610,,"));
    QCOMPARE(rig.state.receiverUtcDateTime.dateTime(), utc(2010, 6, 1, 12, 0, 0));
    QVERIFY(rig.feed("GPZDA,120001.00,01,06,2010,,"));
    QVERIFY(rig.feed("GPRMC,120002,A,,,,,,,010610,,"));
    QVERIFY(rig.feed("GPRMC,120003,A,,,,,,,010610,,"));
    QVERIFY(rig.feed("GPRMC,120004,A,,,,,,,010610,,"));
    QCOMPARE(rig.state.receiverUtcDateTime.dateTime(), utc(2010, 6, 1, 12, 0, 1));
    // ZDA has stopped: the fourth RMC since the last ZDA carries the time again.
    QVERIFY(rig.feed("GPRMC,120005,A,,,,,,,010610,,"));
    QCOMPARE(rig.state.receiverUtcDateTime.dateTime(), utc(2010, 6, 1, 12, 0, 5));
    QVERIFY(!rig.decoder.zdaSeen());

    // Mode 5 never takes the time from RMC.
    Rig five(5);
    QVERIFY(five.feed("GPRMC,120005,A,,,,,,,010610,,"));
    QVERIFY(five.state.timeMessageMissing);
    QCOMPARE(five.display.clockRefreshes, 0);
}

void TestNmeaDecoder::rmcAndVtgFeedSpeedAndCourse()
{
    Rig rig;
    QVERIFY(rig.feed("GPRMC,113258,A,3238.9148,N,10822.4466,W,005.3,247.1,181022,009.3,E"));
    QCOMPARE(rig.averaging.speeds, QList<double> { 5.3 });
    QCOMPARE(rig.averaging.headings, QList<double> { 247.1 });
    QVERIFY(rig.averaging.positions.isEmpty());   // heights come from GGA only
    // Empty speed and course fields read as 0.0; a field that is no number is skipped.
    QVERIFY(rig.feed("GPRMC,113259,A,3238.9148,N,10822.4466,W,,,181022,,"));
    QCOMPARE(rig.averaging.speeds, (QList<double> { 5.3, 0.0 }));
    QCOMPARE(rig.averaging.headings, (QList<double> { 247.1, 0.0 }));
    QVERIFY(rig.feed("GPRMC,113300,A,3238.9148,N,10822.4466,W,x,y,181022,,"));
    QCOMPARE(rig.averaging.speeds.size(), 2);
    QVERIFY(rig.feed("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A"));
    QCOMPARE(rig.averaging.speeds, (QList<double> { 5.3, 0.0, 5.5 }));
    QCOMPARE(rig.averaging.headings, (QList<double> { 247.1, 0.0, 54.7 }));
    QVERIFY(rig.feed("GPVTG,,T,,M,,N,,K,N"));
    QCOMPARE(rig.averaging.speeds.size(), 3);
    rig.state.timeMessageMissing = true;
    QVERIFY(rig.feed("GPGLL,5209.7838,N,02048.4819,E,171245.00,A"));
    QVERIFY(rig.averaging.positions.isEmpty());
    QVERIFY(rig.state.timeMessageMissing);
}

void TestNmeaDecoder::garminTexts_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("text");
    QTest::newRow("PGRMT full")
        << sentence("PGRMT,GPS 15x-W software ver. 4.20,P,P,R,R,P,C,31,R")
        << QStringLiteral("ROM checksum test (P=pass, F=fail) = P\n"
                          "Receiver failure? (P=pass, F=fail) = P\n"
                          "Stored Data (L=lost, R=retained) = R\n"
                          "Real time clock (L=lost, R=retained) = R\n"
                          "Oscillator drift (P=pass, F=fail) = P\n"
                          "Data collection (C = collecting) = C\n"
                          "Board temperature (degrees C) = 31\n");
    QTest::newRow("PGRMT from the 15x capture")
        << QByteArray("$PGRMT,GPS 15x-W software ver. 4.20,,,,,,,,*6A")
        << QStringLiteral("ROM checksum test (P=pass, F=fail) = \n"
                          "Receiver failure? (P=pass, F=fail) = \n"
                          "Stored Data (L=lost, R=retained) = \n"
                          "Real time clock (L=lost, R=retained) = \n"
                          "Oscillator drift (P=pass, F=fail) = \n"
                          "Data collection (C = collecting) = \n"
                          "Board temperature (degrees C) = \n");
    QTest::newRow("PGRMI echo")
        << sentence("PGRMI,5209.784,N,02048.482,E,080405,171245,A")
        << QStringLiteral("$PRGMI Initialization Message:\n"
                          "  Latitude = 52 deg  09.784 min N\n"
                          "  Longitude = 020 deg  48.482 min E\n"
                          "  Day = 08, Month = 04, Year = 05\n"
                          "  Hour = 17, Minute = 12, Second = 45\n"
                          "  Acq Reset = A\n");
    QTest::newRow("PGRMI empty date and time")
        << sentence("PGRMI,3238.915,S,10822.447,W,,,R")
        << QStringLiteral("$PRGMI Initialization Message:\n"
                          "  Latitude = 32 deg  38.915 min S\n"
                          "  Longitude = 108 deg  22.447 min W\n"
                          "  Day = 00, Month = 00, Year = 00\n"
                          "  Hour = 00, Minute = 00, Second = 00\n"
                          "  Acq Reset = R\n");
    QTest::newRow("PGRMC echo")
        << sentence("PGRMC,A,218.8,100,6378137.000,298.257223563,0.0,0.0,0.0,A,3,1,1,4,30")
        << QStringLiteral("$PGRMC Configuration Message:\n"
                          "  Fix Mode = A\n"
                          "  Altitude (MSL) = 218.8 meters\n"
                          "  Earth Datum Index = 100\n"
                          "  Semi-major axis = 6378137.000 meters\n"
                          "  Inverse Flattening factor = 298.257223563\n"
                          "  Delta-X = 0.0\n"
                          "  Delta-Y = 0.0\n"
                          "  Delta-Z = 0.0\n"
                          "  Differential Mode = A\n"
                          "  Baud Rate = 3\n"
                          "  Velocity Filter = 1\n"
                          "  Null field = 1\n");
    QTest::newRow("PGRMO target") << sentence("PGRMO,GPGGA,1")
                                  << QStringLiteral("$PGRMO: Target Sentence = GPGGA,   Mode = 1");
    QTest::newRow("PGRMO no target") << sentence("PGRMO,,2")
                                     << QStringLiteral("$PGRMO: Target Sentence = NONE,   Mode = 2");
    QTest::newRow("PGRME has no text") << sentence("PGRME,7.6,M,41.7,M,42.4,M") << QString();
    QTest::newRow("PSYN,VEL goes as it is") << sentence("PSYN,VEL,0.01,0.02,-0.01") << QString();
}

void TestNmeaDecoder::garminTexts()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, text);
    Rig rig;
    QVERIFY(rig.decoder.decodeNmeaSentence(raw));
    QCOMPARE(rig.decoder.displayText(), text);
    QCOMPARE(rig.state.answered(AnswerFamily::Garmin), !text.isEmpty());
    // The next sentence starts with no text of its own.
    QVERIFY(rig.feed("GPGLL,5209.7838,N,02048.4819,E,171245.00,A"));
    QVERIFY(rig.decoder.displayText().isEmpty());
}

void TestNmeaDecoder::garminTextsOnlyWhenRead()
{
    const QByteArray echo = sentence("PGRMO,GPGGA,1");
    Rig rig(ReceiverMode::GenericNmea, DecoderOptions {});
    QVERIFY(rig.decoder.decodeNmeaSentence(echo));
    QVERIFY(rig.decoder.displayText().isEmpty());
    QVERIFY(rig.state.answered(AnswerFamily::Garmin));   // the answer counts all the same
    rig.state.rawWindowOpened = true;
    QVERIFY(rig.decoder.decodeNmeaSentence(echo));
    QCOMPARE(rig.decoder.displayText(), QStringLiteral("$PGRMO: Target Sentence = GPGGA,   Mode = 1"));
}

void TestNmeaDecoder::answerFlags_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("family");   // -1: none
    QTest::newRow("PMOTG") << QByteArray("PMOTG,ZDA,0001") << int(AnswerFamily::MotorolaNmea);
    QTest::newRow("GPZDA") << QByteArray("GPZDA,120000.00,01,06,2010,,")
                           << int(AnswerFamily::MotorolaNmea);
    QTest::newRow("GPALM") << QByteArray("GPALM,1,1,15,1159,00,441d,4e,16be,fd5e,a10c9f,4a2da4,"
                                         "686e81,58cbe1,0a4,001")
                           << int(AnswerFamily::GpAlm);
    QTest::newRow("PGRMO") << QByteArray("PGRMO,GPGGA,1") << int(AnswerFamily::Garmin);
    QTest::newRow("PGRMC") << QByteArray("PGRMC,A,,100,,,,,,A,,1,2,8,30")
                           << int(AnswerFamily::Garmin);
    QTest::newRow("PGRMI") << QByteArray("PGRMI,,,,,,,R") << int(AnswerFamily::Garmin);
    QTest::newRow("PGRME") << QByteArray("PGRME,7.6,M,41.7,M,42.4,M") << -1;
    QTest::newRow("GPGGA") << QByteArray("GPGGA,120000,4500.0000,N,00700.0000,E,1,05,1.2,,,,,,")
                           << -1;
    QTest::newRow("PMOTGX is no PMOTG") << QByteArray("PMOTGX,ZDA,0001") << -1;
    QTest::newRow("GAALM is no GPALM") << QByteArray("GAALM,1,1,15") << -1;
}

void TestNmeaDecoder::answerFlags()
{
    QFETCH(QByteArray, body);
    QFETCH(int, family);
    Rig rig;
    QVERIFY(rig.feed(body));
    for (int f = 0; f < int(AnswerFamily::Count); ++f)
        QCOMPARE(rig.state.answered(AnswerFamily(f)), f == family);
}

void TestNmeaDecoder::otherTalkersDecodedAlike()
{
    Rig rig(ReceiverMode::UbloxNmea);
    QVERIFY(rig.feed("GNZDA,082710.00,16,09,2021,00,00"));
    QCOMPARE(rig.state.receiverUtcDateTime.dateTime(), utc(2021, 9, 16, 8, 27, 10));
    QVERIFY(rig.feed("GNGGA,082710.00,4717.11399,N,00833.91590,E,1,08,1.01,499.6,M,48.0,M,,"));
    QCOMPARE(rig.averaging.positions.size(), 1);
    QVERIFY(rig.feed("GNGSA,A,3,23,29,07,08,09,18,26,,,,,,1.94,1.18,1.54,1"));
    QCOMPARE(rig.decoder.fixStatusText(), QStringLiteral("3-D Fix (A)"));
    QVERIFY(rig.feed("GNRMC,082711.00,A,4717.11399,N,00833.91590,E,0.004,77.52,160921,,,A,V"));
    QCOMPARE(rig.averaging.speeds, QList<double> { 0.004 });
    // A talker that is no satellite system is not decoded as one.
    QVERIFY(rig.feed("XXGGA,082712.00,4717.11399,N,00833.91590,E,1,08,1.01,499.6,M,48.0,M,,"));
    QCOMPARE(rig.averaging.positions.size(), 1);
}

QTEST_GUILESS_MAIN(TestNmeaDecoder)
#include "tst_nmeadecoder.moc"
