#include "averaging/Geoid.h"
#include "averaging/ReferenceLocation.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

using namespace ReferenceLocation;

class TestReferenceLocation : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void coordinate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("longitude");
        QTest::addColumn<int>("result");
        QTest::addColumn<double>("value");
        const int ok = int(Result::Ok);
        QTest::newRow("dms north") << "45 30 18.0 N" << false << ok << 45.505;
        QTest::newRow("decimal letter") << "45.505N" << false << ok << 45.505;
        QTest::newRow("decimal minus") << "-45.505" << false << ok << -45.505;
        QTest::newRow("sign once") << "-45 30" << false << ok << -45.5;
        QTest::newRow("minus zero degrees") << "-0 30" << false << ok << -0.5;
        QTest::newRow("south lower case") << " 45 30 s " << false << ok << -45.5;
        QTest::newRow("west") << "122 30 W" << true << ok << -122.5;
        QTest::newRow("marks") << "45\u00b0  30'  18.0000\"" << false << ok << 45.505;
        QTest::newRow("marks before letter") << "12\u00b0 6' E" << true << ok << 12.1;
        QTest::newRow("plus with south") << "+10 S" << false << ok << -10.0;
        QTest::newRow("lat 90") << "90" << false << ok << 90.0;
        QTest::newRow("lon 180") << "180 0 0" << true << ok << 180.0;
        QTest::newRow("lon -180 kept as +180") << "-180" << true << ok << 180.0;
        QTest::newRow("lon 180 W kept as +180") << "180 W" << true << ok << 180.0;
        QTest::newRow("fraction not last") << "45.5 30" << false << int(Result::FractionNotLast) << 0.0;
        QTest::newRow("minus with S") << "-45 S" << false << int(Result::SignAndHemisphere) << 0.0;
        QTest::newRow("minutes 60") << "45 60" << false << int(Result::MinutesOutOfRange) << 0.0;
        QTest::newRow("minutes negative") << "45 -1" << false << int(Result::MinutesOutOfRange) << 0.0;
        QTest::newRow("seconds 60") << "45 59 60" << false << int(Result::SecondsOutOfRange) << 0.0;
        QTest::newRow("lat 90.0001") << "90.0001" << false << int(Result::DegreesOutOfRange) << 0.0;
        QTest::newRow("lat -90 0 1") << "-90 0 1" << false << int(Result::DegreesOutOfRange) << 0.0;
        QTest::newRow("lon 180 0 1") << "180 0 1" << true << int(Result::DegreesOutOfRange) << 0.0;
        QTest::newRow("four numbers") << "1 2 3 4" << false << int(Result::UnknownCharacters) << 0.0;
        QTest::newRow("two letters") << "45 NE" << false << int(Result::UnknownCharacters) << 0.0;
        QTest::newRow("trailing dot") << "45." << false << int(Result::UnknownCharacters) << 0.0;
        QTest::newRow("unicode minus") << "\u221245.5" << false << int(Result::NoValue) << 0.0;
        QTest::newRow("unknown") << "???" << false << int(Result::NoValue) << 0.0;
        QTest::newRow("empty") << "  " << true << int(Result::NoValue) << 0.0;
    }
    void coordinate()
    {
        QFETCH(QString, text);
        QFETCH(bool, longitude);
        QFETCH(int, result);
        QFETCH(double, value);
        const Parsed p = parseCoordinate(text, longitude ? Axis::Longitude : Axis::Latitude);
        QCOMPARE(int(p.result), result);
        if (p.ok())
            QVERIFY2(qAbs(p.value - value) < 1e-12, qPrintable(QString::number(p.value, 'f', 15)));
    }

    void altitude_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("result");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << " 46.25 " << int(Result::Ok) << 46.25;
        QTest::newRow("signed") << "-500" << int(Result::Ok) << -500.0;
        QTest::newRow("dot first") << ".5" << int(Result::Ok) << 0.5;
        QTest::newRow("top") << "18000." << int(Result::Ok) << 18000.0;
        QTest::newRow("above") << "18000.01" << int(Result::AltitudeOutOfRange) << 0.0;
        QTest::newRow("below") << "-500.5" << int(Result::AltitudeOutOfRange) << 0.0;
        QTest::newRow("unit") << "46 m" << int(Result::AltitudeCharacters) << 0.0;
        QTest::newRow("unknown") << "???" << int(Result::AltitudeCharacters) << 0.0;
        QTest::newRow("empty") << "" << int(Result::AltitudeCharacters) << 0.0;
    }
    void altitude()
    {
        QFETCH(QString, text);
        QFETCH(int, result);
        QFETCH(double, value);
        const Parsed p = parseAltitude(text);
        QCOMPARE(int(p.result), result);
        QCOMPARE(p.value, value);
    }

    void messages()
    {
        QCOMPARE(messageText(Result::SignAndHemisphere),
                 QStringLiteral("Do not use both the \"-\" sign and N, S, E, or W indicators."));
        QCOMPARE(messageTitle(Result::SignAndHemisphere), QStringLiteral("Numeric Error"));
        QCOMPARE(messageText(Result::SecondsOutOfRange),
                 QStringLiteral("Seconds field out of range.\nDegrees must be between  0.0 and 60.0"));
        QCOMPARE(messageText(Result::DegreesOutOfRange, Axis::Longitude),
                 QStringLiteral("Degrees field out of range.\nDegrees must be between -180.0 and +180.0"));
        QCOMPARE(messageText(Result::AltitudeCharacters),
                 QStringLiteral("Only the following characters are allowed: \"+-1234567890.\""));
        QCOMPARE(messageTitle(Result::AltitudeCharacters), QStringLiteral("Extraineous characters in Altitude."));
        QCOMPARE(messageTitle(Result::FractionNotLast), QStringLiteral("Format Error"));
    }

    void format_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("text");
        QTest::newRow("decimal") << 45.505 << 0 << "45.5050000\u00b0";
        QTest::newRow("minutes") << 45.505 << 1 << "45\u00b0  30.30000'";
        QTest::newRow("minutes carry") << 45.9999999999 << 1 << "46\u00b0   0.00000'";
        QTest::newRow("minutes small negative") << -0.5 << 1 << "-00\u00b0  30.00000'";
        QTest::newRow("seconds") << 45.505 << 2 << "45\u00b0   30'  18.0000\"";
        QTest::newRow("seconds carry to degree") << -12.99999999999 << 2 << "-13\u00b0    0'   0.0000\"";
        QTest::newRow("seconds carry to minute") << 1.0 + 29.99999999 / 60.0 << 2 << "01\u00b0   30'   0.0000\"";
        QTest::newRow("rounds to zero, no sign") << -1e-12 << 2 << "00\u00b0    0'   0.0000\"";
    }
    void format()
    {
        QFETCH(double, value);
        QFETCH(int, mode);
        QFETCH(QString, text);
        QCOMPARE(formatCoordinate(value, mode), text);
    }

    // What the dialog shows parses back to the value within half its last digit.
    void formatParsesBack()
    {
        const double halfDigit[3] = { 0.5e-7, 0.5e-5 / 60.0, 0.5e-4 / 3600.0 };
        for (int mode = 0; mode < 3; ++mode) {
            for (double lat = -90.0; lat <= 90.0; lat += 0.7312345) {
                for (double lon = -179.9999999; lon <= 180.0; lon += 7.0001234567) {
                    const Parsed pLat = parseCoordinate(formatCoordinate(lat, mode), Axis::Latitude);
                    const Parsed pLon = parseCoordinate(formatCoordinate(lon, mode), Axis::Longitude);
                    QVERIFY2(pLat.ok() && qAbs(pLat.value - lat) <= halfDigit[mode] + 1e-12,
                             qPrintable(formatCoordinate(lat, mode)));
                    QVERIFY2(pLon.ok() && qAbs(pLon.value - lon) <= halfDigit[mode] + 1e-12,
                             qPrintable(formatCoordinate(lon, mode)));
                }
            }
        }
    }

    void remoteForms()
    {
        QCOMPARE(remoteText({ 45.505, -122.5, 100.123, 122.346 }),
                 QStringLiteral("45.50500000,-122.50000000,100.12,122.35"));
        TestSupport::TemporarySettings home;
        AveragingEngine engine;
        QSignalSpy changed(&engine, &AveragingEngine::referenceLocationChanged);
        QVERIFY(!applyRemote(engine, QStringLiteral("45 30"), QStringLiteral("-12 W"), QStringLiteral("10")));
        QVERIFY(!applyRemote(engine, QStringLiteral("45 30"), QStringLiteral("12"), QStringLiteral("???")));
        QCOMPARE(changed.count(), 0);
        QVERIFY(applyRemote(engine, QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("10")));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(engine.referencePosition().altGps, 10.0 + geoidSeparation(0.0, 0.0));
        QCOMPARE(QSettings().value(QStringLiteral("GpsNavDialog/RefLocation/MSL Altitude")).toString(),
                 QStringLiteral("10.0000000000000000"));
    }

    void database()
    {
        TestSupport::TemporarySettings home;
        const StationPosition here { -33.8688197, 151.2092955, 58.25, 35.5 };
        {
            QSettings s;
            QVERIFY(Database::save(s, QStringLiteral("Sydney Obs"), here));
            QVERIFY(Database::save(s, QStringLiteral("Alpha"), { 1, 2, 3, 4 }));
            QVERIFY(!Database::save(s, QStringLiteral("roof/east"), here));
            QVERIFY(!Database::save(s, QStringLiteral("a\\b"), here));
            QVERIFY(!Database::save(s, QStringLiteral("  "), here));
        }
        QFile file(home.fileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray ini = file.readAll();
        QVERIFY2(ini.contains("[RefLocationDB]\nAlpha=1.0000000000000000 2.0000000000000000 "
                              "3.0000000000000000 4.0000000000000000\n"),
                 ini.constData());
        QVERIFY(ini.contains("Sydney%20Obs=-33.8688197000000031 151.2092954999999961 "
                             "58.2500000000000000 35.5000000000000000"));

        QSettings s;
        QCOMPARE(Database::names(s), QStringList({ QStringLiteral("Alpha"), QStringLiteral("Sydney Obs") }));
        StationPosition back;
        QVERIFY(Database::load(s, QStringLiteral("Sydney Obs"), back));
        QCOMPARE(back.lat, here.lat);
        QCOMPARE(back.lon, here.lon);
        QCOMPARE(back.altGps, here.altGps);
        QCOMPARE(back.altMsl, here.altMsl);
        s.setValue(QStringLiteral("RefLocationDB/Broken"), QStringLiteral("1 2 3"));
        QVERIFY(!Database::load(s, QStringLiteral("Broken"), back));
        QVERIFY(Database::remove(s, QStringLiteral("Alpha")));
        QVERIFY(!Database::remove(s, QStringLiteral("Alpha")));
        QCOMPARE(Database::names(s), QStringList({ QStringLiteral("Broken"), QStringLiteral("Sydney Obs") }));
    }
};

CHRONODE_TEST_MAIN(TestReferenceLocation)
#include "tst_referencelocation.moc"
