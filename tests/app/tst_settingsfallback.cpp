// The settings file at start: a first run starts on the simulated receiver; a damaged file is
// kept aside, told once, and never turns a real station into the simulator; values that belong
// together are repaired together.

#include "app/Station.h"
#include "averaging/AveragingEngine.h"
#include "core/Settings.h"
#include "support/TestSupport.h"
#include "tic/TicPortSettings.h"
#include "transport/GpsPortSettings.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace settingsfallback_tests {

namespace {

const QByteArray kRealStation = QByteArrayLiteral(
    "[GpsNavDialog]\n"
    "RefLocation\\GPS%20Altitude=312.5\n"
    "RefLocation\\Latitude=47.123456\n"
    "RefLocation\\Longitude=8.654321\n"
    "RefLocation\\MSL%20Altitude=264.25\n"
    "\n"
    "[GpsPortDialog]\n"
    "GPS%20Serial%20Port=/dev/ttyS7\n"
    "GPS%20Serial%20Port%20Mode=Motorola Binary\n"
    "GPS%20Serial%20Port%20PPS%20Interface=2\n");

void writeFile(const QString &name, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(name).absolutePath());
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray garbage()
{
    QByteArray b;
    quint32 x = 2463534242u;
    for (int i = 0; i < 600; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b.append(char(x & 0xFF));
    }
    return b;
}

} // namespace

class TestSettingsFallback : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<TestSupport::TemporarySettings>();
        Settings::takeNotices();
    }
    void cleanup() { m_settings.reset(); }

    void damagedFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("asDirectory");
        QTest::newRow("unreadable (a folder in its place)") << QByteArray() << true;
        QTest::newRow("garbage") << garbage() << false;
        QTest::newRow("truncated in a line") << kRealStation.left(kRealStation.size() - 9) << false;
        QTest::newRow("truncated to nothing") << QByteArray() << false;
        QTest::newRow("NUL bytes") << QByteArray(kRealStation).replace("Motorola", QByteArray("Moto\0ola", 8)) << false;
    }
    void damagedFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, asDirectory);
        const QString file = m_settings->fileName();
        if (asDirectory)
            QVERIFY(QDir().mkpath(file));
        else
            writeFile(file, content);

        Station station;
        const Settings::StartCheck &check = station.settingsStartCheck();
        QVERIFY(check.damaged);
        QVERIFY(!check.firstRun);
        // The original survives as a dated copy.
        QVERIFY(check.keptAs.startsWith(file + QStringLiteral(".damaged-")));
        QCOMPARE(check.keptAs.size(), file.size() + int(qstrlen(".damaged-yyyyMMdd-hhmmss")));
        if (asDirectory) {
            QVERIFY(QFileInfo(check.keptAs).isDir());
        } else {
            QFile kept(check.keptAs);
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), content);
        }
        // Not the simulator: no receiver port, and no simulated counters.
        QSettings s;
        QCOMPARE(GpsPortSettings::load(s).portName, QStringLiteral("OFF"));
        QCOMPARE(TicPortSettings::load(s, 1).portName, QStringLiteral("OFF"));
        QCOMPARE(TicPortSettings::load(s, 2).portName, QStringLiteral("OFF"));
        // Told once.
        const QStringList notices = Settings::takeNotices();
        QCOMPARE(notices.size(), 1);
        QCOMPARE(notices.first(), QStringLiteral("The settings file %1 could not be read. It was kept as %2; the "
                                                 "settings start afresh and the GPS receiver port is OFF.")
                                      .arg(file, check.keptAs));
        // The reference position is the default one, whole.
        const StationPosition ref = station.averaging().referencePosition();
        QCOMPARE(ref.lat, AveragingEngine::DefaultRefLat);
        QCOMPARE(ref.altMsl, AveragingEngine::DefaultRefAltMsl);
    }

    void soundFileKeepsItsPort()
    {
        writeFile(m_settings->fileName(), kRealStation);
        Station station;
        QVERIFY(!station.settingsStartCheck().damaged);
        QVERIFY(!station.settingsStartCheck().firstRun);
        QSettings s;
        QCOMPARE(GpsPortSettings::load(s).portName, QStringLiteral("/dev/ttyS7"));
        QCOMPARE(GpsPortSettings::load(s).ppsInterface, 2);
        QCOMPARE(TicPortSettings::load(s, 1).portName, QStringLiteral("OFF"));
        const StationPosition ref = station.averaging().referencePosition();
        QCOMPARE(ref.lat, 47.123456);
        QCOMPARE(ref.lon, 8.654321);
        QCOMPARE(ref.altGps, 312.5);
        QCOMPARE(ref.altMsl, 264.25);
        QVERIFY(Settings::takeNotices().isEmpty());
    }

    void firstRunStartsOnTheSimulator()
    {
        QVERIFY(!QFile::exists(m_settings->fileName()));
        Station station;
        QVERIFY(station.settingsStartCheck().firstRun);
        QSettings s;
        QCOMPARE(GpsPortSettings::load(s).portName, QStringLiteral("SIMULATOR"));
        QCOMPARE(TicPortSettings::load(s, 2).portName, QStringLiteral("SIMULATOR"));
        QCOMPARE(TicPortSettings::load(s, 3).portName, QStringLiteral("OFF"));
        QVERIFY(Settings::takeNotices().isEmpty());
    }

    void referencePositionWhole_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");   // empty: the key is removed
        QTest::newRow("latitude missing") << "Latitude" << "";
        QTest::newRow("longitude not a number") << "Longitude" << "8.6x";
        QTest::newRow("latitude above 90") << "Latitude" << "90.000001";
        QTest::newRow("longitude -180") << "Longitude" << "-180";
        QTest::newRow("GPS altitude below -1000") << "GPS%20Altitude" << "-1000.01";
        QTest::newRow("MSL altitude nan") << "MSL%20Altitude" << "nan";
    }
    void referencePositionWhole()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QByteArray content = kRealStation;
        const int at = content.indexOf("RefLocation\\" + key.toLatin1() + '=');
        QVERIFY(at >= 0);
        const int end = content.indexOf('\n', at);
        content.replace(at, end - at + 1,
                        value.isEmpty() ? QByteArray() : "RefLocation\\" + key.toLatin1() + '=' + value.toLatin1() + '\n');
        writeFile(m_settings->fileName(), content);

        Station station;
        const StationPosition ref = station.averaging().referencePosition();
        QCOMPARE(ref.lat, AveragingEngine::DefaultRefLat);
        QCOMPARE(ref.lon, AveragingEngine::DefaultRefLon);
        QCOMPARE(ref.altGps, AveragingEngine::DefaultRefAltGps);
        QCOMPARE(ref.altMsl, AveragingEngine::DefaultRefAltMsl);
        QSettings s;
        QCOMPARE(s.value(QStringLiteral("GpsNavDialog/RefLocation/Longitude")).toDouble(), AveragingEngine::DefaultRefLon);
        QVERIFY(Settings::takeNotices().contains(QStringLiteral(
            "The stored reference position was incomplete or out of range; the default reference position is used.")));
    }

    void ppsInterfaceRepaired_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("used");
        QTest::addColumn<bool>("notice");
        QTest::newRow("3 DSR kept") << "3" << 3 << false;
        QTest::newRow("0 none kept") << "0" << 0 << false;
        QTest::newRow("4 repaired") << "4" << 1 << true;
        QTest::newRow("-1 repaired") << "-1" << 1 << true;
        QTest::newRow("text repaired") << "DCD" << 1 << true;
    }
    void ppsInterfaceRepaired()
    {
        QFETCH(QString, stored);
        QFETCH(int, used);
        QFETCH(bool, notice);
        writeFile(m_settings->fileName(),
                  QByteArray(kRealStation).replace("PPS%20Interface=2", "PPS%20Interface=" + stored.toLatin1()));
        Station station;
        QSettings s;
        s.sync();
        QCOMPARE(GpsPortSettings::load(s).ppsInterface, used);
        QCOMPARE(s.value(GpsPortSettings::keyPpsInterface()).toInt(), used);
        const QStringList notices = Settings::takeNotices();
        QCOMPARE(notices.size(), notice ? 1 : 0);
        if (notice)
            QCOMPARE(notices.first(), QStringLiteral("The stored 1PPS interface \"%1\" is not one of 0 (none), 1 (DCD), "
                                                     "2 (CTS), 3 (DSR); it was set to 1 (DCD).")
                                          .arg(stored));
        // Told once: the repaired value is written back.
        QCOMPARE(GpsPortSettings::load(s).ppsInterface, used);
        QVERIFY(Settings::takeNotices().isEmpty());
    }

private:
    std::unique_ptr<TestSupport::TemporarySettings> m_settings;
};

} // namespace settingsfallback_tests

using settingsfallback_tests::TestSettingsFallback;
CHRONODE_TEST_MAIN(TestSettingsFallback)

#include "tst_settingsfallback.moc"
