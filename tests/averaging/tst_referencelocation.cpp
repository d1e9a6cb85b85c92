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
        QTest::addColumn<int>("field");   // 0 latitude, 1 longitude, 2 altitude
        QTest::addColumn<int>("result");
        QTest::addColumn<double>("value");
        const int ok = int(Result::Ok);
        const int alt = 2;
        QTest::newRow("dms north") << "45 30 18.0 N" << 0 << ok << 45.505;
        QTest::newRow("decimal letter") << "45.505N" << 0 << ok << 45.505;
        QTest::newRow("decimal minus") << "-45.505" << 0 << ok << -45.505;
        QTest::newRow("sign once") << "-45 30" << 0 << ok << -45.5;
        QTest::newRow("minus zero degrees") << "-0 30" << 0 << ok << -0.5;
        QTest::newRow("south lower case") << " 45 30 s " << 0 << ok << -45.5;
        QTest::newRow("west") << "122 30 W" << 1 << ok << -122.5;
        QTest::newRow("marks") << "45\u00b0  30'  18.0000\"" << 0 << ok << 45.505;
        QTest::newRow("marks before letter") << "12\u00b0 6' E" << 1 << ok << 12.1;
        QTest::newRow("plus with south") << "+10 S" << 0 << ok << -10.0;
        QTest::newRow("lat 90") << "90" << 0 << ok << 90.0;
        QTest::newRow("lon 180") << "180 0 0" << 1 << ok << 180.0;
        QTest::newRow("lon -180 kept as +180") << "-180" << 1 << ok << 180.0;
        QTest::newRow("lon 180 W kept as +180") << "180 W" << 1 << ok << 180.0;
        QTest::newRow("fraction not last") << "45.5 30" << 0 << int(Result::FractionNotLast) << 0.0;
        QTest::newRow("minus with S") << "-45 S" << 0 << int(Result::SignAndHemisphere) << 0.0;
        QTest::newRow("minutes 60") << "45 60" << 0 << int(Result::MinutesOutOfRange) << 0.0;
        QTest::newRow("minutes negative") << "45 -1" << 0 << int(Result::MinutesOutOfRange) << 0.0;
        QTest::newRow("seconds 60") << "45 59 60" << 0 << int(Result::SecondsOutOfRange) << 0.0;
        QTest::newRow("lat 90.0001") << "90.0001" << 0 << int(Result::DegreesOutOfRange) << 0.0;
        QTest::newRow("lat -90 0 1") << "-90 0 1" << 0 << int(Result::DegreesOutOfRange) << 0.0;
        QTest::newRow("lon 180 0 1") << "180 0 1" << 1 << int(Result::DegreesOutOfRange) << 0.0;
        QTest::newRow("four numbers") << "1 2 3 4" << 0 << int(Result::UnknownCharacters) << 0.0;
        QTest::newRow("two letters") << "45 NE" << 0 << int(Result::UnknownCharacters) << 0.0;
        QTest::newRow("trailing dot") << "45." << 0 << int(Result::UnknownCharacters) << 0.0;
        QTest::newRow("unicode minus") << "\u221245.5" << 0 << int(Result::NoValue) << 0.0;
        QTest::newRow("unknown") << "???" << 0 << int(Result::NoValue) << 0.0;
        QTest::newRow("empty") << "  " << 1 << int(Result::NoValue) << 0.0;
        QTest::newRow("altitude") << " 46.25 " << alt << ok << 46.25;
        QTest::newRow("altitude bottom") << "-500" << alt << ok << -500.0;
        QTest::newRow("altitude dot first") << ".5" << alt << ok << 0.5;
        QTest::newRow("altitude top") << "18000." << alt << ok << 18000.0;
        QTest::newRow("altitude above") << "18000.01" << alt << int(Result::AltitudeOutOfRange) << 0.0;
        QTest::newRow("altitude below") << "-500.5" << alt << int(Result::AltitudeOutOfRange) << 0.0;
        QTest::newRow("altitude unit") << "46 m" << alt << int(Result::AltitudeCharacters) << 0.0;
        QTest::newRow("altitude unknown") << "???" << alt << int(Result::AltitudeCharacters) << 0.0;
        QTest::newRow("altitude empty") << "" << alt << int(Result::AltitudeCharacters) << 0.0;
    }
    void coordinate()
    {
        QFETCH(QString, text);
        QFETCH(int, field);
        QFETCH(int, result);
        QFETCH(double, value);
        const Parsed p = field == 2 ? parseAltitude(text) : parseCoordinate(text, Axis(field));
        QCOMPARE(int(p.result), result);
        QVERIFY2(qAbs(p.value - value) < 1e-12, qPrintable(QString::number(p.value, 'f', 15)));
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
            for (double v = -179.9999999; v <= 180.0; v += 0.0731234567) {
                const Axis axis = std::abs(v) <= 90.0 && int(v * 100) % 2 ? Axis::Latitude : Axis::Longitude;
                const Parsed p = parseCoordinate(formatCoordinate(v, mode), axis);
                QVERIFY2(p.ok() && qAbs(p.value - v) <= halfDigit[mode] + 1e-12, qPrintable(formatCoordinate(v, mode)));
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
        engine.setReferenceLocation(-10.0, -180.0, 5.0, 1.0);   // set to an averaged -180
        QCOMPARE(QSettings().value(QStringLiteral("GpsNavDialog/RefLocation/Longitude")).toString(),
                 QStringLiteral("180.0000000000000000"));
    }

    void database()
    {
        TestSupport::TemporarySettings home;
        const StationPosition here { -33.8688197, 151.2092955, 58.25, 35.5 };
        QSettings s;
        QVERIFY(Database::save(s, QStringLiteral("Sydney Obs"), here));
        QVERIFY(Database::save(s, QStringLiteral("Alpha"), { 1, 2, 3, 4 }));
        for (const char *bad : { "roof/east", "a\\b", "  " })
            QVERIFY(!Database::save(s, QLatin1String(bad), here));
        s.sync();
        QFile file(home.fileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("[RefLocationDB]\nAlpha=1.0000000000000000 2.0000000000000000 "
                                        "3.0000000000000000 4.0000000000000000\nSydney%20Obs=-33.8688197000000031 "
                                        "151.2092954999999961 58.2500000000000000 35.5000000000000000\n"));
        StationPosition back;
        QVERIFY(Database::load(s, QStringLiteral("Sydney Obs"), back));
        QVERIFY(back.lat == here.lat && back.lon == here.lon && back.altGps == here.altGps && back.altMsl == here.altMsl);
        s.setValue(QStringLiteral("RefLocationDB/Broken"), QStringLiteral("1 2 3"));
        QVERIFY(!Database::load(s, QStringLiteral("Broken"), back));
        QVERIFY(Database::remove(s, QStringLiteral("Alpha")));
        QVERIFY(!Database::remove(s, QStringLiteral("Alpha")));
        QCOMPARE(Database::names(s), QStringList({ QStringLiteral("Broken"), QStringLiteral("Sydney Obs") }));
    }
};

CHRONODE_TEST_MAIN(TestReferenceLocation)
#include "tst_referencelocation.moc"
