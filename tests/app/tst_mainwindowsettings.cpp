#include "support/TestSupport.h"

#include "app/MainWindowSettings.h"

#include <QSettings>
#include <QTest>

// Loads the main-window settings from a prepared store and checks both what the program runs
// with and what is in the store afterwards (re-read through a fresh settings object).
class TestMainWindowSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void blankStoreGetsEveryDefault()
    {
        TestSupport::TemporarySettings temp;
        {
            QSettings s;
            const MainWindowSettings m = MainWindowSettings::loaded(s);
            QCOMPARE(m.clockDisplay, 0);
            QCOMPARE(m.navDataFormat, 0);
            QCOMPARE(m.toolbarVisible, true);
            QCOMPARE(m.satelliteSortMode, 4);
            QCOMPARE(m.soundTicks, true);
            QCOMPARE(m.soundOutOfLock, true);
            QVERIFY(m.geometry.isEmpty());
            QVERIFY(m.windowState.isEmpty());
        }
        QSettings after;
        QCOMPARE(after.value(QStringLiteral("MainWindow/ClockDisplay")).toInt(), 0);
        QCOMPARE(after.value(QStringLiteral("MainWindow/Navigation Data Format")).toInt(), 0);
        QCOMPARE(after.value(QStringLiteral("MainWindow/Toolbar Visible")).toBool(), true);
        QCOMPARE(after.value(QStringLiteral("MainWindow/Satellite Sort Mode")).toInt(), 4);
        QCOMPARE(after.value(QStringLiteral("MainWindow/Sound")).toBool(), true);
        QCOMPARE(after.value(QStringLiteral("MainWindow/Sound OOL")).toBool(), true);
        // Geometry and window state have no default: nothing is written for them.
        QVERIFY(!after.contains(QStringLiteral("MainWindow/geometry")));
        QVERIFY(!after.contains(QStringLiteral("MainWindow/windowState")));
    }

    void intRepair_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");   // invalid: key missing
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("expectedStored");

        const QString nav = QStringLiteral("MainWindow/Navigation Data Format");
        const QString sort = QStringLiteral("MainWindow/Satellite Sort Mode");
        const QString clock = QStringLiteral("MainWindow/ClockDisplay");
        QTest::newRow("nav 3 becomes 0") << nav << QVariant(3) << 0 << "0";
        QTest::newRow("nav 4 becomes 0") << nav << QVariant(4) << 0 << "0";
        QTest::newRow("nav 2 kept") << nav << QVariant(2) << 2 << "2";
        QTest::newRow("nav 1 kept") << nav << QVariant(1) << 1 << "1";
        QTest::newRow("nav above 4 kept") << nav << QVariant(7) << 7 << "7";
        QTest::newRow("nav negative") << nav << QVariant(-1) << 0 << "0";
        QTest::newRow("nav text") << nav << QVariant(QStringLiteral("dd.ddd")) << 0 << "0";
        QTest::newRow("sort missing gives 4") << sort << QVariant() << 4 << "4";
        QTest::newRow("sort 0 kept") << sort << QVariant(0) << 0 << "0";
        QTest::newRow("sort 9 means unsorted, kept") << sort << QVariant(9) << 9 << "9";
        QTest::newRow("sort garbage") << sort << QVariant(QStringLiteral("x1")) << 4 << "4";
        QTest::newRow("clock 7 kept") << clock << QVariant(7) << 7 << "7";
        QTest::newRow("clock 8 repaired") << clock << QVariant(8) << 0 << "0";
        QTest::newRow("clock -3 repaired") << clock << QVariant(-3) << 0 << "0";
        QTest::newRow("clock spaces kept") << clock << QVariant(QStringLiteral(" 4 ")) << 4 << " 4 ";
    }
    void intRepair()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(int, expected);
        QFETCH(QString, expectedStored);
        TestSupport::TemporarySettings temp;
        {
            QSettings s;
            if (stored.isValid())
                s.setValue(key, stored);
            const MainWindowSettings m = MainWindowSettings::loaded(s);
            int actual = -100;
            if (key.endsWith(QLatin1String("Format")))
                actual = m.navDataFormat;
            else if (key.endsWith(QLatin1String("Sort Mode")))
                actual = m.satelliteSortMode;
            else
                actual = m.clockDisplay;
            QCOMPARE(actual, expected);
        }
        QSettings after;
        QCOMPARE(after.value(key).toString(), expectedStored);
    }

    void boolRepair_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("expected");
        QTest::addColumn<QString>("expectedStored");
        const QString sound = QStringLiteral("MainWindow/Sound");
        const QString ool = QStringLiteral("MainWindow/Sound OOL");
        const QString toolbar = QStringLiteral("MainWindow/Toolbar Visible");
        QTest::newRow("false kept") << sound << QVariant(false) << false << "false";
        QTest::newRow("text 0 kept") << ool << QVariant(QStringLiteral("0")) << false << "0";
        QTest::newRow("garbage repaired to true") << ool << QVariant(QStringLiteral("maybe")) << true << "true";
        QTest::newRow("toolbar hidden kept") << toolbar << QVariant(false) << false << "false";
        QTest::newRow("toolbar TRUE") << toolbar << QVariant(QStringLiteral("TRUE")) << true << "TRUE";
    }
    void boolRepair()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(bool, expected);
        QFETCH(QString, expectedStored);
        TestSupport::TemporarySettings temp;
        {
            QSettings s;
            s.setValue(key, stored);
            const MainWindowSettings m = MainWindowSettings::loaded(s);
            const bool actual = key.endsWith(QLatin1String("OOL")) ? m.soundOutOfLock
                              : key.endsWith(QLatin1String("Visible")) ? m.toolbarVisible
                                                                      : m.soundTicks;
            QCOMPARE(actual, expected);
        }
        QSettings after;
        QCOMPARE(after.value(key).toString(), expectedStored);
    }

    void windowLayoutKeptAsBytes()
    {
        TestSupport::TemporarySettings temp;
        const QByteArray geometry("\x01\xD9\xD0\xCB\x00\x03", 6);
        const QByteArray state("\x00\x00\x00\xFF", 4);
        {
            QSettings s;
            MainWindowSettings::storeWindowLayout(s, geometry, state);
        }
        QSettings s;
        const MainWindowSettings m = MainWindowSettings::loaded(s);
        QCOMPARE(m.geometry, geometry);
        QCOMPARE(m.windowState, state);
    }

    void soundModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("ticks");
        QTest::addColumn<bool>("ool");
        QTest::newRow("All") << int(SoundMode::All) << true << true;
        QTest::newRow("Out Of Lock Only") << int(SoundMode::OutOfLockOnly) << false << true;
        QTest::newRow("Clock Ticks Only") << int(SoundMode::ClockTicksOnly) << true << false;
        QTest::newRow("None") << int(SoundMode::None) << false << false;
    }
    void soundModes()
    {
        QFETCH(int, mode);
        QFETCH(bool, ticks);
        QFETCH(bool, ool);
        bool t = !ticks, o = !ool;
        soundFlagsOf(SoundMode(mode), t, o);
        QCOMPARE(t, ticks);
        QCOMPARE(o, ool);
        QCOMPARE(int(soundModeOf(ticks, ool)), mode);

        TestSupport::TemporarySettings temp;
        {
            QSettings s;
            MainWindowSettings::storeSoundMode(s, SoundMode(mode));
        }
        QSettings s;
        const MainWindowSettings m = MainWindowSettings::loaded(s);
        QCOMPARE(m.soundTicks, ticks);
        QCOMPARE(m.soundOutOfLock, ool);
    }

    void storeWritesKeys()
    {
        TestSupport::TemporarySettings temp;
        {
            QSettings s;
            MainWindowSettings::storeClockDisplay(s, 4);
            MainWindowSettings::storeNavDataFormat(s, 2);
            MainWindowSettings::storeSatelliteSortMode(s, 3);
            MainWindowSettings::storeToolbarVisible(s, false);
        }
        QSettings s;
        const MainWindowSettings m = MainWindowSettings::loaded(s);
        QCOMPARE(m.clockDisplay, 4);
        QCOMPARE(m.navDataFormat, 2);
        QCOMPARE(m.satelliteSortMode, 3);
        QCOMPARE(m.toolbarVisible, false);
    }
};

QTEST_GUILESS_MAIN(TestMainWindowSettings)
#include "tst_mainwindowsettings.moc"
