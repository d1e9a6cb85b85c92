// The settings file at start: a first run starts on the simulated receiver; a damaged file is
// kept aside, told once, and never turns a real station into the simulator; values that belong
// together are repaired together.

#include "app/Station.h"
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
    "GPS%20Serial%20Port%20PPS%20Interface=2\n");

void writeFile(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    QVERIFY(QDir().mkpath(QFileInfo(name).absolutePath()) && f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The reference position as "lat lon altGps altMsl".
QString reference(Station &station)
{
    const StationPosition p = station.averaging().referencePosition();
    return QStringLiteral("%1 %2 %3 %4").arg(p.lat, 0, 'f', 6).arg(p.lon, 0, 'f', 6).arg(p.altGps, 0, 'f', 2).arg(p.altMsl, 0, 'f', 2);
}
const QString kDefaultRef = QStringLiteral("51.477800 -0.001500 92.00 46.00");

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
        QTest::newRow("garbage") << QByteArray::fromHex("8f3a00c4ff0d0a5b4770735d0a01029e7f") << false;
        QTest::newRow("truncated in a line") << kRealStation.left(kRealStation.size() - 9) << false;
        QTest::newRow("truncated to nothing") << QByteArray() << false;
        QTest::newRow("a line that is no key") << kRealStation + "GPS Serial Port /dev/ttyS7\n" << false;
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
        QVERIFY(check.damaged && !check.firstRun);
        // The original survives as a dated copy.
        QCOMPARE(check.keptAs.left(file.size() + 9), file + QStringLiteral(".damaged-"));
        QCOMPARE(check.keptAs.size(), file.size() + 24);
        QFile kept(check.keptAs);
        QCOMPARE(QFileInfo(check.keptAs).isDir(), asDirectory);
        if (!asDirectory)
            QCOMPARE(kept.open(QIODevice::ReadOnly) ? kept.readAll() : QByteArray("?"), content);
        // Not the simulator: no receiver port and no simulated counters; told once.
        QSettings s;
        QCOMPARE(GpsPortSettings::load(s).portName, QStringLiteral("OFF"));
        QCOMPARE(TicPortSettings::load(s, 1).portName, QStringLiteral("OFF"));
        QCOMPARE(Settings::takeNotices(),
                 QStringList { QStringLiteral("The settings file %1 could not be read. It was kept as %2; the settings "
                                              "start afresh and the GPS receiver port is OFF.")
                                   .arg(file, check.keptAs) });
        QCOMPARE(reference(station), kDefaultRef);
    }

    void firstRunAndSoundFile()
    {
        {
            Station station;
            QVERIFY(station.settingsStartCheck().firstRun);
            QSettings s;
            QCOMPARE(GpsPortSettings::load(s).portName, QStringLiteral("SIMULATOR"));
            QCOMPARE(TicPortSettings::load(s, 2).portName, QStringLiteral("SIMULATOR"));
            QCOMPARE(TicPortSettings::load(s, 3).portName, QStringLiteral("OFF"));
        }
        QFile::remove(m_settings->fileName());
        writeFile(m_settings->fileName(), kRealStation);
        Station station;
        QVERIFY(!station.settingsStartCheck().damaged && !station.settingsStartCheck().firstRun);
        QSettings s;
        QCOMPARE(GpsPortSettings::load(s).portName, QStringLiteral("/dev/ttyS7"));
        QCOMPARE(TicPortSettings::load(s, 1).portName, QStringLiteral("OFF"));
        QCOMPARE(reference(station), QStringLiteral("47.123456 8.654321 312.50 264.25"));
        QVERIFY(Settings::takeNotices().isEmpty());
    }

    void referencePositionWhole_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("replacement");   // empty: the line is removed
        QTest::newRow("latitude missing") << QByteArray("Latitude=47.123456") << QByteArray();
        QTest::newRow("longitude not a number") << QByteArray("Longitude=8.654321") << QByteArray("Longitude=8.6x");
        QTest::newRow("latitude above 90") << QByteArray("Latitude=47.123456") << QByteArray("Latitude=90.000001");
        QTest::newRow("longitude -180") << QByteArray("Longitude=8.654321") << QByteArray("Longitude=-180");
        QTest::newRow("GPS altitude below -1000") << QByteArray("GPS%20Altitude=312.5") << QByteArray("GPS%20Altitude=-1000.01");
    }
    void referencePositionWhole()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, replacement);
        writeFile(m_settings->fileName(),
                  QByteArray(kRealStation).replace("RefLocation\\" + line + '\n',
                                                   replacement.isEmpty() ? QByteArray() : "RefLocation\\" + replacement + '\n'));
        Station station;
        QCOMPARE(reference(station), kDefaultRef);
        QCOMPARE(QSettings().value(QStringLiteral("GpsNavDialog/RefLocation/MSL Altitude")).toDouble(), 46.0);
        QCOMPARE(Settings::takeNotices(), QStringList { QStringLiteral("The stored reference position was incomplete or "
                                                                       "out of range; the default reference position is used.") });
    }

    void ppsInterfaceRepaired_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("used");
        QTest::newRow("3 DSR kept") << QByteArray("3") << 3;
        QTest::newRow("4 repaired") << QByteArray("4") << 1;
        QTest::newRow("-1 repaired") << QByteArray("-1") << 1;
        QTest::newRow("text repaired") << QByteArray("DCD") << 1;
    }
    void ppsInterfaceRepaired()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, used);
        writeFile(m_settings->fileName(), QByteArray(kRealStation).replace("Interface=2", "Interface=" + stored));
        Station station;
        QSettings s;
        QCOMPARE(GpsPortSettings::load(s).ppsInterface, used);
        const QStringList notice { QStringLiteral("The stored 1PPS interface \"%1\" is not one of 0 (none), 1 (DCD), "
                                                  "2 (CTS), 3 (DSR); it was set to 1 (DCD).")
                                       .arg(QString::fromLatin1(stored)) };
        QCOMPARE(Settings::takeNotices(), QString::number(used) == QString::fromLatin1(stored) ? QStringList() : notice);
        // Told once: the repaired value was written back.
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
