#include "support/TestSupport.h"
#include "averaging/AveragingInput.h"
#include "core/ReceiverMode.h"
#include "core/ReceiverState.h"
#include "receiver/DecoderContext.h"
#include "receiver/framing/StreamFramer.h"
#include "receiver/nmea/NmeaDecoder.h"
#include "support/GpsdCheck.h"
#include "support/RecordingAveraging.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QtTest>
#include <cstdlib>
#include <ctime>

namespace nmeadecoder_tests {

namespace {

// "$" + body + "*" + checksum, as the link hands a sentence over.
QByteArray sentence(const QByteArray &body)
{
    quint8 x = 0;
    for (char c : body)
        x ^= quint8(c);
    return '$' + body + '*' + QByteArray::number(x, 16).rightJustified(2, '0').toUpper();
}

struct Rig
{
    ReceiverState state;
    RecordingAveraging averaging;
    RecordingDisplay display;
    RecordingLog gpsLog;
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
    void rejectsWhatIsNoSentence_data()
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
    void rejectsWhatIsNoSentence()
    {
        QFETCH(QByteArray, raw);
        QFETCH(bool, accepted);
        Rig rig;
        QCOMPARE(rig.decoder.decodeNmeaSentence(raw), accepted);
        QVERIFY(rig.averaging.positions.isEmpty());
        QVERIFY(rig.display.storedTimes.isEmpty());
        QVERIFY(rig.decoder.displayText().isEmpty());
    }

    // Stored times, rounding and the warning on a bad date are in the regression captures
    // (tests/regress/nmea-sentences.log); here what a time sentence does to the station besides.
    void zdaTime_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QDateTime>("expected");
        QTest::addColumn<int>("milliseconds");
        QTest::newRow("fraction kept") << QByteArray("GPZDA,000001.25,01,01,2000,,") << utc(2000, 1, 1, 0, 0, 1, 250) << 250;
        QTest::newRow("invalid") << QByteArray("GPZDA,120000.00,31,02,2005,00,00") << QDateTime() << -1;
    }
    void zdaTime()
    {
        QFETCH(QByteArray, body);
        QFETCH(QDateTime, expected);
        QFETCH(int, milliseconds);
        Rig rig;
        rig.state.nmeaTimePending = true;
        if (!expected.isValid()) {
            const ReceiverTime before = rig.state.receiverUtcDateTime;
            QTest::ignoreMessage(QtWarningMsg, IllegalDate);
            QVERIFY(rig.feed(body));
            QVERIFY(rig.state.receiverUtcDateTime == before);
            QVERIFY(rig.state.timeMessageMissing);
            QVERIFY(!rig.state.nmeaTimeSeen);
            QCOMPARE(rig.display.clockRefreshes, 0);
            QVERIFY(!rig.decoder.zdaSeen());
            return;
        }
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

    void zdaInLocalTime()
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

    void localTimeOnSummerTimeDays_data()
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
    void localTimeOnSummerTimeDays()
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

    void ggaHeights_data()
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
    void ggaHeights()
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

    void ggaPositionAndCounts()
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

    void commonLogLineToGpsLog()
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

    void gsa_data()
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
        QTest::newRow("mode 5 keeps the fix status")
            << 5 << QByteArray("GPGSA,A,3,02,05,,,,,,,,,,,1.4,1.1,0.9") << QString() << -1
            << QList<double> { -1, 1.4, 1.1, 0.9, -1 } << QStringLiteral("PDOP = 1.4, HDOP = 1.1, VDOP = 0.9");
    }
    void gsa()
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

    void gsaInPositionHold()
    {
        Rig rig;
        rig.averaging.hold = true;
        QVERIFY(rig.feed("GPGSA,A,1,02,05,11,,,,,,,,,,3.4,2.1,2.9"));
        QCOMPARE(rig.decoder.dopText(), QStringLiteral("DOP not available (position hold)"));
        QCOMPARE(rig.averaging.dopLists(), (QList<QList<double>> { { -1, 0.0, 0.0, 0.0, -1 } }));
        QCOMPARE(rig.decoder.fixStatusText(), QStringLiteral("No Fix"));
    }

    void gsvTwoSatellites()
    {
        Rig rig;
        QVERIFY(rig.feed("GPGSV,1,1,02,07,45,123,40,30,05,355,"));
        // The table itself is in tests/regress/nmea-gsv-sets.log.
        QCOMPARE(rig.state.satellites[7].trackMode, quint8(8));
        QCOMPARE(rig.decoder.visibleText(), QStringLiteral("2 Visible"));
        QCOMPARE(rig.display.satelliteTableUpdates, 1);
        QCOMPARE(rig.display.satelliteCountUpdates, 1);
    }

    void gsvEmptyFieldsAndUnfilledGroups()
    {
        // The GT+ set: the table is redrawn once, after the last sentence.
        Rig rig(ReceiverMode::MotorolaNmea);
        QVERIFY(rig.feed("GPGSV,3,1,09,02,33,299,27,04,43,242,26,08,12,202,,13,85,356,"));
        QCOMPARE(rig.display.satelliteTableUpdates, 0);
        QVERIFY(rig.feed("GPGSV,3,2,09,16,22,059,,20,21,131,,23,54,074,,24,23,195,"));
        QCOMPARE(rig.display.satelliteTableUpdates, 0);
        QVERIFY(rig.feed("GPGSV,3,3,09,27,39,195,15,,,,,,,,,,,,"));
        QCOMPARE(rig.display.satelliteTableUpdates, 1);   // the table itself: nmea-sentences.log
    }

    void gsvTruncatedGroupDropped()
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

    // Satellites with a place in the table are in tests/regress/ublox-nmea-talkers.log; these
    // have none and fill no record.
    void gsvTalkerWithoutPlace_data()
    {
        QTest::addColumn<QByteArray>("talker");
        QTest::addColumn<int>("sent");
        QTest::newRow("GP 97") << QByteArray("GP") << 97;
        QTest::newRow("Galileo 37") << QByteArray("GA") << 37;
        QTest::newRow("zero") << QByteArray("GP") << 0;
        QTest::newRow("unknown talker") << QByteArray("GI") << 5;
    }
    void gsvTalkerWithoutPlace()
    {
        QFETCH(QByteArray, talker);
        QFETCH(int, sent);
        QCOMPARE(NmeaDecoder::tableIdForTalker(talker, sent), 0);
        Rig rig(ReceiverMode::UbloxNmea);
        QVERIFY(rig.feed(talker + "GSV,1,1,01," + QByteArray::number(sent) + ",40,100,35"));
        QCOMPARE(rig.filledRecords(), 0);
    }

    // RMC giving way to ZDA is in tests/regress/nmea-zda-rmc.log; mode 5 never takes the time
    // from RMC.
    void rmcNeverTimesModeFive()
    {
        Rig five(5);
        QVERIFY(five.feed("GPRMC,120005,A,,,,,,,010610,,"));
        QVERIFY(five.state.timeMessageMissing);
        QCOMPARE(five.display.clockRefreshes, 0);
    }

    void rmcAndVtgFeedSpeedAndCourse()
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

    void garminTextsOnlyWhenRead()
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

    void answerFlags_data()
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
    void answerFlags()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, family);
        Rig rig;
        QVERIFY(rig.feed(body));
        for (int f = 0; f < int(AnswerFamily::Count); ++f)
            QCOMPARE(rig.state.answered(AnswerFamily(f)), f == family);
    }

};

} // namespace nmeadecoder_tests

namespace nmeacaptures_tests {

// Real receiver bytes through the link's framer and the NMEA decoder, checked against what
// gpsd reported for the same capture; and sentences that no receiver should send.

namespace {

struct Fix
{
    QTime time;
    double lat, lon, altGps, altMsl;
};

// One satellite as the table or gpsd has it: ID, elevation, azimuth, signal.
using Sat = std::array<int, 4>;

class CaptureDisplay : public StationDisplay
{

public:
    const ReceiverState *state = nullptr;
    QList<QDateTime> times;
    QList<QList<Sat>> tables;

    void refreshClockPanel() override { times.append(state->receiverUtcDateTime.dateTime()); }
    void updateSatelliteTable() override
    {
        QList<Sat> t;
        for (const SatelliteRecord &r : state->satellites)
            if (r.svId != 0)
                t.append({ r.svId, r.elevation, r.azimuth, r.cNo });
        std::sort(t.begin(), t.end());
        tables.append(t);
    }
};

struct Expected
{
    QList<QDateTime> times;                 // distinct TPV times in order
    QMap<QTime, QJsonObject> heightFixes;  // last TPV with heights, by time of day
    QList<QList<Sat>> skies;                // every SKY report with a satellite list
    QJsonObject lastSkyWithDops;
};

Expected readCheckFile(const QString &name)
{
    Expected e;
    for (const QJsonObject &o : GpsdCheck::reports(name)) {
        if (o.value("class") == "TPV") {
            const QDateTime t = QDateTime::fromString(o.value("time").toString(), Qt::ISODateWithMs);
            if (e.times.isEmpty() || e.times.last() != t)
                e.times.append(t);
            if (o.contains("altHAE"))
                e.heightFixes.insert(t.time(), o);
        } else if (o.value("class") == "SKY") {
            if (o.contains("satellites")) {
                QList<Sat> sky;
                for (const QJsonValue &v : o.value("satellites").toArray()) {
                    const QJsonObject s = v.toObject();
                    sky.append({ s.value("PRN").toInt(), qRound(s.value("el").toDouble()),
                                 qRound(s.value("az").toDouble()),
                                 qRound(s.value("ss").toDouble(0.0)) });
                }
                std::sort(sky.begin(), sky.end());
                e.skies.append(sky);
            }
            if (o.contains("hdop"))
                e.lastSkyWithDops = o;
        }
    }
    return e;
}

QtMessageHandler previousHandler = nullptr;
int warningsSeen = 0;
void countWarnings(QtMsgType type, const QMessageLogContext &, const QString &)
{
    if (type == QtWarningMsg)
        ++warningsSeen;
}

} // namespace

class TestNmeaCaptures : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void capture_data()
    {
        QTest::addColumn<QString>("log");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("used");
        QTest::addColumn<int>("sentences");
        QTest::newRow("oncore GT+ in NMEA mode") << QStringLiteral("oncore.log")
                                                 << int(ReceiverMode::MotorolaNmea) << 2 << 3 << 46;
        QTest::newRow("garmin 15x") << QStringLiteral("garmin15x.log")
                                    << int(ReceiverMode::GenericNmea) << 15 << 8 << 57;
    }
    void capture()
    {
        QFETCH(QString, log);
        QFETCH(int, mode);
        QFETCH(int, model);
        QFETCH(int, used);
        QFETCH(int, sentences);
        const QByteArray bytes = TestSupport::captureBytes(log);
        if (bytes.isEmpty())
            QSKIP("capture not present");
        const Expected want = readCheckFile(log);
        QVERIFY(!want.times.isEmpty());

        ReceiverState state;
        state.receiverMode = mode;
        state.receiverModel = model;
        RecordingAveraging averaging;
        CaptureDisplay display;
        display.state = &state;
        DecoderContext ctx;
        ctx.state = &state;
        ctx.averaging = &averaging;
        ctx.display = &display;
        NmeaDecoder decoder(ctx);

        // Every GGA position is checked against gpsd's report for the same second.
        QList<Fix> ggaFixes;
        int decoded = 0;
        StreamFramer framer(mode);
        framer.feed(bytes, [&](const QByteArray &s) {
            const qsizetype before = averaging.positions.size();
            QVERIFY(decoder.decodeNmeaSentence(s));
            ++decoded;
            if (averaging.positions.size() > before) {
                const RecordingAveraging::Position &p = averaging.positions.last();
                Fix f { QTime(), p.lat, p.lon, p.altGps, p.altMsl };
                const NmeaGgaFix &gga = decoder.lastFix();
                f.time = QTime(gga.hours, gga.minutes, int(gga.seconds));
                ggaFixes.append(f);
            }
        });
        QCOMPARE(decoded, sentences);

        // Times: one per RMC, the same seconds gpsd reported.
        QList<QDateTime> times;
        for (const QDateTime &t : std::as_const(display.times))
            if (times.isEmpty() || times.last() != t)
                times.append(t);
        QCOMPARE(times, want.times);
        QCOMPARE(state.receiverUtcDateTime.dateTime(), want.times.last());

        QVERIFY(!ggaFixes.isEmpty());
        for (const Fix &f : std::as_const(ggaFixes)) {
            QVERIFY2(want.heightFixes.contains(f.time), qPrintable(f.time.toString()));
            const QJsonObject o = want.heightFixes.value(f.time);
            QVERIFY(qAbs(f.lat - o.value("lat").toDouble()) < 1e-8);
            QVERIFY(qAbs(f.lon - o.value("lon").toDouble()) < 1e-8);
            QVERIFY(qAbs(f.altGps - o.value("altHAE").toDouble()) < 1e-6);
            QVERIFY(qAbs(f.altMsl - o.value("altMSL").toDouble()) < 1e-6);
        }

        // Satellites: the table after each complete GSV set is gpsd's sky of that moment.
        QCOMPARE(want.skies.size(), 7);
        QCOMPARE(display.tables, want.skies);
        QCOMPARE(state.visibleCount.value, int(want.skies.last().size()));

        QCOMPARE(averaging.timingSatellites.last(), used);
        // The last value of each DOP the sentences gave (a negative one is "not given").
        QList<double> lastDops(5, -1.0);
        for (const QList<double> &d : averaging.dopLists())
            for (int i = 0; i < 5; ++i)
                lastDops[i] = d[i] >= 0 ? d[i] : lastDops[i];
        QCOMPARE(state.usedCount.value, used);
        const QJsonObject dops = want.lastSkyWithDops;
        QCOMPARE(lastDops[2], dops.value("hdop").toDouble());
        if (dops.contains("pdop")) {
            QCOMPARE(lastDops[1], dops.value("pdop").toDouble());
            QCOMPARE(lastDops[3], dops.value("vdop").toDouble());
        }
        checkInvariants(state);
    }

    void randomSentencesNeverBreakTheState()
    {
        static const char *const heads[] = {
            "$GPGGA", "$GNGGA", "$GPGSV", "$GLGSV", "$GAGSV", "$BDGSV", "$GPGSA", "$GPRMC",
            "$GPZDA", "$GPVTG", "$GPGLL", "$GPTXT", "$PGRMT", "$PGRMI", "$PGRMC", "$PGRMO",
            "$PMOTG", "$GPALM", "$PSYN", "$GPXXX",
        };
        static const char alphabet[] = "0123456789,,,,,..-+*ANSEWMVZ= \x01\xff";
        QRandomGenerator rng(20261205);
        ReceiverState state;
        state.receiverMode = ReceiverMode::UbloxNmea;
        state.receiverModel = 10;
        state.firmwareVersion = 7.5;
        state.rawWindowOpened = true;
        DecoderContext ctx;
        ctx.state = &state;
        NmeaDecoder decoder(ctx);

        warningsSeen = 0;
        previousHandler = qInstallMessageHandler(countWarnings);
        int accepted = 0;
        int longEnough = 0;
        for (int i = 0; i < 20000; ++i) {
            QByteArray s = heads[rng.bounded(int(std::size(heads)))];
            const int n = rng.bounded(160);
            for (int k = 0; k < n; ++k)
                s += alphabet[rng.bounded(int(sizeof(alphabet) - 1))];
            accepted += decoder.decodeNmeaSentence(s) ? 1 : 0;
            longEnough += s.size() >= 7 ? 1 : 0;
        }
        // Arbitrary bytes, not only what the link lets through.
        for (int i = 0; i < 2000; ++i) {
            QByteArray s(rng.bounded(300), Qt::Uninitialized);
            for (char &c : s)
                c = char(rng.bounded(256));
            if (i % 2 == 0)
                s.prepend('$');
            decoder.decodeNmeaSentence(s);
        }
        qInstallMessageHandler(previousHandler);
        QCOMPARE(accepted, longEnough);
        QVERIFY(warningsSeen > 0);   // the bad dates were noticed, not stored
        checkInvariants(state);
    }

    void truncatedSentencesNeverBreakTheState()
    {
        QList<QByteArray> samples = {
            "$GPZDA,171245.00,08,04,2005,00,00*4F",
            "$GPGSA,A,3,02,05,11,12,18,20,25,29,,,,,1.4,1.1,0.9*3D",
            "$PGRMI,5209.784,N,02048.482,E,080405,171245,A*00",
            "$PGRMC,A,218.8,100,6378137.000,298.257223563,0.0,0.0,0.0,A,3,1,1,4,30*00",
            "$PGRMO,GPGGA,1*00",
            "$PGRMT,GPS 15x-W software ver. 4.20,P,P,R,R,P,C,31,R*00",
            "$GNTXT,01,01,02,ANTSTATUS=OK*00",
        };
        for (const char *name : { "oncore.log", "garmin15x.log" })
            samples += TestSupport::captureBytes(QString::fromLatin1(name)).split('\n');

        ReceiverState state;
        state.receiverMode = ReceiverMode::MotorolaNmea;
        state.receiverModel = 6;
        state.firmwareVersion = 5.0;
        DecoderContext ctx;
        ctx.state = &state;
        DecoderOptions options;
        options.alwaysBuildTexts = true;
        ctx.options = options;
        NmeaDecoder decoder(ctx);

        previousHandler = qInstallMessageHandler(countWarnings);
        int fed = 0;
        for (QByteArray s : std::as_const(samples)) {
            s = s.trimmed();
            for (qsizetype len = 0; len <= s.size(); ++len) {
                decoder.decodeNmeaSentence(s.left(len));
                // The same cut with a fresh checksum, as a receiver that sends short sentences.
                decoder.decodeNmeaSentence(s.left(len) + "*00");
                ++fed;
            }
        }
        qInstallMessageHandler(previousHandler);
        // Every prefix of every sample went in: far more with the real captures present.
        QVERIFY(fed > (TestSupport::capturesDir().isEmpty() ? 100 : 1000));
        checkInvariants(state);
    }

private:

    static void checkInvariants(const ReceiverState &s)
    {
        for (int i = 0; i < ReceiverState::SatelliteSlots; ++i) {
            const SatelliteRecord &r = s.satellites[size_t(i)];
            if (r.svId == 0) {
                QCOMPARE(r, SatelliteRecord {});
                continue;
            }
            QCOMPARE(r.svId, i);
            QVERIFY(r.elevation >= -90 && r.elevation <= 90);
            QVERIFY(r.azimuth >= -1 && r.azimuth <= 359);
            QVERIFY(r.cNo >= 0 && r.cNo <= 99);
        }
        QVERIFY(s.visibleCount.value >= 0);
    }
};

} // namespace nmeacaptures_tests

CHRONODE_TEST_MAIN(nmeadecoder_tests::TestNmeaDecoder, nmeacaptures_tests::TestNmeaCaptures)
#include "tst_nmea.moc"
