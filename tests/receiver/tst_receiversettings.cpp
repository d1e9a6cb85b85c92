#include "support/RecordingAveraging.h"
#include "support/TestSupport.h"
#include "support/SharedReceiverPort.h"

#include "core/ReceiverState.h"
#include "app/Station.h"
#include "receiver/DecoderContext.h"
#include "transport/GpsPortSettings.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "receiver/motorola/MotorolaDecoder.h"
#include "receiver/nmea/NmeaDecoder.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "receiver/setup/ReceiverDetection.h"
#include "receiver/setup/ReceiverSettings.h"
#include "sim/SimulatedReceiver.h"
#include "sim/SimulatedReceiverTransport.h"
#include "receiver/ubx/UbxConfiguration.h"
#include "receiver/ubx/UbxDecoder.h"

#include <QElapsedTimer>
#include <QtTest>
#include <memory>

namespace {

// "@@Xy" followed by the parameter bytes in hex, e.g. "@@Ag 0a"; UBX frames as plain hex.
QString shown(const QByteArray &c)
{
    if (!c.startsWith("@@"))
        return QString::fromLatin1(c.toHex());
    QString s = QString::fromLatin1(c.left(4));
    if (c.size() > 4)
        s += QLatin1Char(' ') + QString::fromLatin1(c.mid(4).toHex());
    return s;
}

QStringList shownAll(const QList<QByteArray> &commands)
{
    QStringList out;
    for (const QByteArray &c : commands)
        out << shown(c);
    return out;
}

ReceiverState receiver(int mode, int model, int channels)
{
    ReceiverState s;
    s.receiverMode = mode;
    s.receiverModel = model;
    s.channelCount = channels;
    return s;
}

// Every choice away from its default.
ReceiverSettings customSettings()
{
    ReceiverSettings r;
    r.gpsMode = ReceiverSettings::Nav2D;
    r.ppsRate = 1;
    r.ppsDuration = 1;
    r.elevationMask = 12;
    r.ionospheric = 1;
    r.tropospheric = 0;
    r.positionFixMode = 1;
    r.satelliteSelection = 1;
    r.geometryButton = 4;
    r.applicationType = ReceiverSettings::Marine;
    r.alignMessages = true;
    r.dgpsActivate = true;
    r.dgpsRate = 45;
    r.satelliteIgnoreMask = 0x00000005;   // PRN 1 and 3
    r.satGps = r.satGlonass = r.satSbas = true;
    return r;
}

QList<QByteArray> commandsFor(const ReceiverSettings &rs, const ReceiverState &s,
                              const ReceiverReferencePosition &ref = {})
{
    return ReceiverSettingsCommands::bytesOf(ReceiverSettingsCommands::forReceiver(rs, s, ref));
}

// Keeps one simulated receiver across the port's re-openings and lets the test read it.

} // namespace

class TestReceiverSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void motorolaEdgeCases_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("gpsMode");
        QTest::addColumn<int>("elevation");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");   // identifiers that must not be sent
        QTest::newRow("VP elevation 10") << 10 << 8 << -1 << 10 << QStringList { "@@Ag 0a" } << QStringList { "@@Gd" };
        QTest::newRow("UT 0-D") << 8 << 8 << 2 << 5 << QStringList { "@@At 01", "@@Av 00" } << QStringList { "@@Gd" };
        QTest::newRow("UT 2-D") << 8 << 8 << 1 << 5 << QStringList { "@@At 00", "@@Av 01" } << QStringList { "@@Gd" };
        QTest::newRow("M12+ 0-D") << 4 << 12 << 2 << 5 << QStringList { "@@Gd 01" } << QStringList { "@@At", "@@Av", "@@Ar" };
        QTest::newRow("M12+ 2-D") << 4 << 12 << 1 << 5 << QStringList { "@@Gd 02" } << QStringList { "@@At" };
        QTest::newRow("M12+ 3-D") << 4 << 12 << 0 << 5 << QStringList { "@@Gd 00" } << QStringList { "@@At" };
        QTest::newRow("elevation 0") << 10 << 8 << 0 << 0 << QStringList { "@@Ag 00" } << QStringList {};
        QTest::newRow("elevation 89") << 10 << 8 << 0 << 89 << QStringList { "@@Ag 59" } << QStringList {};
        // Unidentified count: the model decides (an M12M is a 12-channel unit).
        QTest::newRow("M12M count unknown") << 5 << 0 << 2 << 5 << QStringList { "@@Gd 01", "@@Ha 01", "@@Hn 00" }
                                            << QStringList { "@@At" };
    }
    void motorolaEdgeCases()
    {
        QFETCH(int, model);
        QFETCH(int, channels);
        QFETCH(int, gpsMode);
        QFETCH(int, elevation);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        ReceiverSettings rs;
        rs.gpsMode = gpsMode;
        rs.elevationMask = elevation;
        const QStringList sent = shownAll(commandsFor(rs, receiver(2, model, channels)));
        for (const QString &p : present)
            QVERIFY2(sent.contains(p), qPrintable(p + " missing in " + sent.join(" | ")));
        for (const QString &a : absent) {
            for (const QString &s : sent)
                QVERIFY2(!s.startsWith(a), qPrintable(s));
        }
    }

    void motorolaSequence_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("custom");
        QTest::addColumn<QStringList>("expected");

        const QStringList customHead { "@@AP 01", "@@Gc 05", "@@Ag 0c" };
        const QStringList customTail { "@@Aq 02" };
        const QStringList customMid { "@@Ah 02", "@@Aj 04", "@@AB 03", "@@AE 01", "@@Bh 2d", "@@Am 00fffffffa", "@@Hb 00" };
        const QString bnEn = QStringLiteral(" 0000000a0100000100000000000000");

        QTest::newRow("6-ch PVT6 custom")
            << 6 << 6 << true
            << customHead + QStringList { "@@At 00", "@@Av 01" } + customTail + QStringList { "@@Ar 00" } + customMid
                   + QStringList { "@@Ba 01", "@@Bk 01", "@@Bn" + bnEn };
        QTest::newRow("8-ch UT custom")
            << 8 << 8 << true
            << customHead + QStringList { "@@At 00", "@@Av 01" } + customTail + QStringList { "@@Ar 00" } + customMid
                   + QStringList { "@@Ea 01", "@@Ek 01", "@@En" + bnEn };
        QTest::newRow("12-ch M12+ custom")
            << 4 << 12 << true
            << customHead + QStringList { "@@Gd 02" } + customTail + customMid + QStringList { "@@Ha 01", "@@Hn 00" };
        QTest::newRow("SSR-M8T custom")
            << 25 << 12 << true
            << customHead + QStringList { "@@Gd 02" } + customTail + QStringList { "@@Ar 00" } + customMid
                   + QStringList { "@@Ha 01", "@@Sc 83", "@@Hn 00" };
        QTest::newRow("8-ch VP defaults")
            << 10 << 8 << false
            << QStringList { "@@AP 00", "@@Gc 01", "@@Ag 05", "@@At 00", "@@Av 00", "@@Aq 03", "@@Ar 01", "@@Ah 00",
                             "@@Aj 01", "@@AB 04", "@@AE 00", "@@Bh 00", "@@Am 00ffffffff", "@@Hb 00", "@@Ea 01",
                             "@@Ek 01", "@@En" + bnEn };
        QTest::newRow("SSR-M8F defaults: GPS alone")
            << 24 << 12 << false
            << QStringList { "@@AP 00", "@@Gc 01", "@@Ag 05", "@@Gd 00", "@@Aq 03", "@@Ar 01", "@@Ah 00", "@@Aj 01",
                             "@@AB 04", "@@AE 00", "@@Bh 00", "@@Am 00ffffffff", "@@Hb 00", "@@Ha 01", "@@Sc 01",
                             "@@Hn 00" };
    }
    void motorolaSequence()
    {
        QFETCH(int, model);
        QFETCH(int, channels);
        QFETCH(bool, custom);
        QFETCH(QStringList, expected);
        const ReceiverSettings rs = custom ? customSettings() : ReceiverSettings();
        QCOMPARE(shownAll(commandsFor(rs, receiver(2, model, channels))), expected);
    }

    // Position hold gets the reference ("@@As", ellipsoid height) before the mode command; PVT6
    // emulation turns an 8-channel receiver's channel-dependent steps into the 6-channel ones.
    void holdAndPvt6_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("pvt6");
        QTest::addColumn<int>("gpsMode");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QStringList>("expected");   // from "@@Ag" to the end, "@@Aq" ... "@@Hb" left out
        const QString bn = QStringLiteral(" 0000000a0100000100000000000000");
        QTest::newRow("UT 0-D at the reference")
            << 8 << 8 << false << 2 << true
            << QStringList { "@@Ag 05", "@@As 0a29e9d801d596d80000c73800", "@@At 01", "@@Av 00", "@@Ea 01", "@@Ek 01",
                             "@@En" + bn };
        QTest::newRow("M12+ 0-D south west, below the ellipsoid")
            << 4 << 12 << false << 2 << true
            << QStringList { "@@Ag 05", "@@As f8bc30c0df8d7ed8fffffb2e00", "@@Gd 01", "@@Ha 01", "@@Hn 00" };
        QTest::newRow("0-D without a reference") << 4 << 12 << false << 2 << false
                                                 << QStringList { "@@Ag 05", "@@Gd 01", "@@Ha 01", "@@Hn 00" };
        QTest::newRow("3-D sends no hold position") << 4 << 12 << false << 0 << true
                                                    << QStringList { "@@Ag 05", "@@Gd 00", "@@Ha 01", "@@Hn 00" };
        QTest::newRow("VP emulating a PVT6") << 10 << 8 << true << 0 << true
                                             << QStringList { "@@Ag 05", "@@At 00", "@@Av 00", "@@Ba 01", "@@Bk 01",
                                                              "@@Bn" + bn };
        QTest::newRow("M12+ is offered no PVT6") << 4 << 12 << true << 1 << true
                                                 << QStringList { "@@Ag 05", "@@Gd 02", "@@Ha 01", "@@Hn 00" };
    }
    void holdAndPvt6()
    {
        QFETCH(int, model);
        QFETCH(int, channels);
        QFETCH(bool, pvt6);
        QFETCH(int, gpsMode);
        QFETCH(bool, valid);
        QFETCH(QStringList, expected);
        ReceiverSettings rs;
        rs.gpsMode = gpsMode;
        rs.emulatePvt6 = pvt6;
        const bool south = model == 4;
        const ReceiverReferencePosition ref { valid, south ? -33.8568 : 47.366389, south ? -151.2153 : 8.548611,
                                              south ? -12.34 : 510.0, 0.0 };
        QStringList sent = shownAll(commandsFor(rs, receiver(2, model, channels), ref));
        while (!sent.isEmpty() && !sent.first().startsWith("@@Ag"))
            sent.removeFirst();
        const qsizetype from = sent.indexOf(QRegularExpression("^@@Aq.*"));
        const qsizetype to = sent.indexOf(QStringLiteral("@@Hb 00"));
        QVERIFY(from > 0 && to > from);
        sent.remove(from, to - from + 1);
        QCOMPARE(sent, expected);
    }

    void onlyEightChannelOutputIsAwaited()
    {
        for (int channels : { 6, 8, 12 }) {
            const auto commands = ReceiverSettingsCommands::forReceiver(ReceiverSettings(), receiver(2, 10, channels), {});
            QStringList awaited;
            for (const ReceiverSettingsCommand &c : commands)
                if (c.awaitAnswer)
                    awaited << shown(c.bytes);
            QCOMPARE(awaited, channels == 8 ? QStringList { "@@Ea 01" } : QStringList {});
        }
    }

    void otherModesSendNothing_data()
    {
        QTest::addColumn<int>("mode");
        for (int mode : { 0, 1, 3, 6, 11 })
            QTest::newRow(qPrintable(QString::number(mode))) << mode;
    }
    void otherModesSendNothing()
    {
        QFETCH(int, mode);
        ReceiverReferencePosition ref { true, 47.0, 8.0, 500.0, 450.0 };
        QVERIFY(commandsFor(customSettings(), receiver(mode, 4, 12), ref).isEmpty());
    }

    void ubloxDynamicModel_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("applicationType");
        QTest::addColumn<int>("elevation");
        QTest::addColumn<QByteArray>("payloadHead");   // mask, dynModel, fixMode, fixedAlt, fixedAltVar, minElev
        QTest::newRow("Marine") << 9 << 3 << 5 << QByteArray("0700050300000000000000000" "5");
        QTest::newRow("Air") << 9 << 0 << 5 << QByteArray("07000803000000000000000005");
        QTest::newRow("Handheld") << 10 << 1 << 5 << QByteArray("07000303000000000000000005");
        QTest::newRow("Land") << 9 << 2 << 5 << QByteArray("07000003000000000000000005");
        QTest::newRow("Static, elevation 15") << 10 << 4 << 15 << QByteArray("0700020300000000000000000f");
        QTest::newRow("default is Static, mask 0") << 9 << -1 << 0 << QByteArray("07000203000000000000000000");
    }
    void ubloxDynamicModel()
    {
        QFETCH(int, mode);
        QFETCH(int, applicationType);
        QFETCH(int, elevation);
        QFETCH(QByteArray, payloadHead);
        ReceiverSettings rs;
        rs.applicationType = applicationType;
        rs.elevationMask = elevation;
        const QList<QByteArray> commands = commandsFor(rs, receiver(mode, 20, 16));
        QVERIFY(!commands.isEmpty());
        const QByteArray nav5 = commands.first();
        QCOMPARE(nav5.left(6).toHex(), QByteArray("b56206242400"));
        QCOMPARE(nav5.size(), 6 + 36);
        QCOMPARE(nav5.mid(6, 13).toHex(), payloadHead);
        QCOMPARE(nav5.mid(19), QByteArray(23, '\0'));
    }

    // An M8T holds its position through CFG-TMODE2 alone; an F9T gets navigation and time mode as
    // configuration keys (RAM and flash), each awaited for its acknowledgement.
    void ubloxTimeModeByGeneration()
    {
        const ReceiverReferencePosition ref { true, 47.366389, 8.548611, 510.0, 462.4 };
        const Ubx::EcefCm p = Ubx::ecefCentimetres(ref.latDeg, ref.lonDeg, ref.heightEllipsoidM);
        ReceiverSettings rs;
        rs.gpsMode = ReceiverSettings::Nav0D;
        rs.applicationType = ReceiverSettings::Marine;
        ReceiverState m8 = receiver(9, 20, 16);
        m8.ubxProtocolVersion = 22.0;
        QCOMPARE(commandsFor(rs, m8, ref), (QList<QByteArray> { Ubx::cfgNav5(0x05, 5), Ubx::cfgTmode2Fixed(p.x, p.y, p.z) }));

        ReceiverState f9 = receiver(9, 20, 16);
        f9.ubxProtocolVersion = 29.25;
        const QList<ReceiverSettingsCommand> hold = ReceiverSettingsCommands::forReceiver(rs, f9, ref);
        QCOMPARE(hold, (QList<ReceiverSettingsCommand> {
                           { QByteArray::fromHex("b562068a1300000500002100112005110011200" "3a400112005"), true },
                           { Ubx::cfgValSet(Ubx::timeModeFixedValues(p)), true } }));
        rs.gpsMode = ReceiverSettings::Nav3D;
        QCOMPARE(ReceiverSettingsCommands::forReceiver(rs, f9, ref).last().bytes, QByteArray::fromHex("b562068a0900000500000100032000"));
    }

    void ubloxTimeMode()
    {
        const ReceiverReferencePosition ref { true, 47.366389, 8.548611, 510.0, 462.4 };
        const Ubx::EcefCm p = Ubx::ecefCentimetres(ref.latDeg, ref.lonDeg, ref.heightEllipsoidM);
        ReceiverSettings rs;
        rs.gpsMode = ReceiverSettings::Nav0D;
        QCOMPARE(commandsFor(rs, receiver(9, 20, 16), ref),
                 (QList<QByteArray> { Ubx::cfgNav5(0x02, 5), Ubx::cfgTmodeFixed(p.x, p.y, p.z),
                                      Ubx::cfgTmode2Fixed(p.x, p.y, p.z) }));
        // Without a reference position there is nothing to hold.
        QCOMPARE(commandsFor(rs, receiver(9, 20, 16)).size(), 1);

        // 3-D and 2-D: the time mode is switched off.
        rs.gpsMode = ReceiverSettings::Nav2D;
        const QList<QByteArray> nav = commandsFor(rs, receiver(10, 20, 16), ref);
        QCOMPARE(nav.size(), 3);
        QCOMPARE(nav.at(1), QByteArray::fromHex("b562061d1c00") + QByteArray(28, '\0'));
        QCOMPARE(nav.at(2), QByteArray::fromHex("b562063d1c00") + QByteArray(28, '\0'));
    }

    void garminSentences_data()
    {
        QTest::addColumn<int>("gpsMode");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("lat");
        QTest::addColumn<double>("lon");
        QTest::addColumn<double>("msl");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("north east, 3-D") << 0 << true << 47.366389 << 8.548611 << 462.4
                                         << QStringList { "$PGRMC,A,462,100,,,,,,A,,1,2,8,30",
                                                          "$PGRMI,4721.983,N,00832.917,E,,,A" };
        QTest::newRow("south west, 2-D") << 1 << true << -33.8568 << -151.2153 << 39.6
                                         << QStringList { "$PGRMC,2,40,100,,,,,,A,,1,2,8,30",
                                                          "$PGRMI,3351.408,S,15112.918,W,,,A" };
        // 59.99995 minutes round to 60.000: carried into the degrees.
        QTest::newRow("minute carry, 0-D") << 2 << true << (10.0 + 59.99995 / 60.0) << -(5.0 + 0.0004 / 60.0) << -3.6
                                           << QStringList { "$PGRMC,2,-4,100,,,,,,A,,1,2,8,30",
                                                            "$PGRMI,1100.000,N,00500.000,W,,,A" };
        QTest::newRow("no reference") << 0 << false << 0.0 << 0.0 << 0.0
                                      << QStringList { "$PGRMC,A,0,100,,,,,,A,,1,2,8,30" };
    }
    void garminSentences()
    {
        QFETCH(int, gpsMode);
        QFETCH(bool, valid);
        QFETCH(double, lat);
        QFETCH(double, lon);
        QFETCH(double, msl);
        QFETCH(QStringList, expected);
        ReceiverSettings rs;
        rs.gpsMode = gpsMode;
        const ReceiverReferencePosition ref { valid, lat, lon, msl + 40.0, msl };
        QStringList got;
        for (const QByteArray &s : ReceiverSettingsCommands::garmin(rs, ref))
            got << QString::fromLatin1(s);
        QCOMPARE(got, expected);
    }

    void constellationByte_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("sent");
        QTest::newRow("none") << 0x00 << 0x01;
        QTest::newRow("GLONASS alone") << 0x02 << 0x01;
        QTest::newRow("SBAS alone") << 0x80 << 0x01;
        QTest::newRow("GPS+GLONASS") << 0x03 << 0x03;
        QTest::newRow("GPS+QZSS+SBAS") << 0x91 << 0x91;
        QTest::newRow("Galileo+Beidou") << 0x0C << 0x0C;
    }
    void constellationByte()
    {
        QFETCH(int, mask);
        QFETCH(int, sent);
        QCOMPARE(int(ReceiverSettingsCommands::constellationCommandByte(uint8_t(mask))), sent);
        ReceiverSettings rs;
        rs.setConstellationMask(uint8_t(mask));
        QCOMPARE(int(rs.constellationMask()), mask);
    }

    void constellationRules_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<bool>("galileoCapable");
        QTest::addColumn<QString>("problem");
        QTest::newRow("GPS+QZSS") << 0x11 << true << QString();
        QTest::newRow("QZSS without GPS") << 0x12 << true << QStringLiteral("QZSS is only available together with GPS");
        QTest::newRow("GLONASS+Beidou") << 0x0B << true
                                        << QStringLiteral("This receiver cannot track GLONASS and Beidou at the same time");
        QTest::newRow("Galileo old firmware") << 0x05 << false
                                              << QStringLiteral("This receiver's GNSS module cannot track Galileo (pre-FW 3.01)");
        QTest::newRow("Galileo new firmware") << 0x05 << true << QString();
    }
    void constellationRules()
    {
        QFETCH(int, mask);
        QFETCH(bool, galileoCapable);
        QFETCH(QString, problem);
        QCOMPARE(ReceiverSettingsCommands::constellationProblem(uint8_t(mask), galileoCapable), problem);
    }

    void pvt6Suffix_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("pvt6");
        QTest::addColumn<QString>("after");
        QTest::newRow("append") << "Motorola UT, Bin, 8 ch, V3.1" << true << "Motorola UT, Bin, 8 ch, V3.1, PVT6 Mode";
        QTest::newRow("not twice") << "Motorola UT, Bin, 8 ch, V3.1, PVT6 Mode" << true
                                   << "Motorola UT, Bin, 8 ch, V3.1, PVT6 Mode";
        QTest::newRow("remove") << "Motorola UT, Bin, 8 ch, V3.1, TRAIM, PVT6 Mode, Local Time Mode" << false
                                << "Motorola UT, Bin, 8 ch, V3.1, TRAIM, Local Time Mode";
        QTest::newRow("empty stays empty") << "" << true << "";
    }
    void pvt6Suffix()
    {
        QFETCH(QString, before);
        QFETCH(bool, pvt6);
        QFETCH(QString, after);
        QCOMPARE(ReceiverSettingsCommands::withPvt6Suffix(before, pvt6), after);
    }

    void defaultsWrittenBack()
    {
        TestSupport::TemporarySettings temp;
        QSettings s;
        const ReceiverSettings r = ReceiverSettings::load(s);
        QCOMPARE(r, ReceiverSettings());
        QCOMPARE(s.value(ReceiverSettings::keyGpsMode()).toInt(), -1);
        QCOMPARE(s.value(ReceiverSettings::keyDgpsRate()).toInt(), 30);
        QCOMPARE(s.value(ReceiverSettings::keyElevationMask()).toInt(), 5);
        QCOMPARE(s.value(ReceiverSettings::keySatSbas()).toBool(), false);
        QCOMPARE(s.value(ReceiverSettings::keySatelliteIgnoreMask()).toString(), QStringLiteral("00000000"));
        // The default buttons of the groups left at -1.
        QCOMPARE(r.effectiveGpsMode(), 0);
        QCOMPARE(r.effectiveApplicationType(), int(ReceiverSettings::Static));
        QCOMPARE(r.effectiveGeometryButton(), 1);
        QVERIFY(!r.shortPulse());
    }

    void repairsBadValues_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QVariant>("repaired");
        QTest::newRow("mode 3") << ReceiverSettings::keyGpsMode() << QVariant(3) << QVariant(-1);
        QTest::newRow("mode -2") << ReceiverSettings::keyGpsMode() << QVariant(-2) << QVariant(-1);
        QTest::newRow("mode text") << ReceiverSettings::keyGpsMode() << QVariant("two") << QVariant(-1);
        QTest::newRow("mode 2 as text kept") << ReceiverSettings::keyGpsMode() << QVariant("2") << QVariant("2");
        QTest::newRow("geometry 5") << ReceiverSettings::keyGeometryButton() << QVariant(5) << QVariant(-1);
        QTest::newRow("app type 5") << ReceiverSettings::keyApplicationType() << QVariant(5) << QVariant(-1);
        QTest::newRow("pps rate 2") << ReceiverSettings::keyPpsRate() << QVariant(2) << QVariant(-1);
        QTest::newRow("elevation 90") << ReceiverSettings::keyElevationMask() << QVariant(90) << QVariant(5);
        QTest::newRow("rollover 3") << ReceiverSettings::keyWeekRollover() << QVariant(3) << QVariant(0);
        QTest::newRow("rollover epochs 0") << ReceiverSettings::keyWeekRolloverEpochs() << QVariant(0) << QVariant(1);
        QTest::newRow("rollover epochs 4 kept") << ReceiverSettings::keyWeekRolloverEpochs() << QVariant(4) << QVariant(4);
        QTest::newRow("elevation -1") << ReceiverSettings::keyElevationMask() << QVariant(-1) << QVariant(5);
        QTest::newRow("dgps rate 256") << ReceiverSettings::keyDgpsRate() << QVariant(256) << QVariant(30);
        QTest::newRow("dgps rate 0 kept") << ReceiverSettings::keyDgpsRate() << QVariant(0) << QVariant(0);
        QTest::newRow("bool garbage") << ReceiverSettings::keyLocalTime() << QVariant("maybe") << QVariant(false);
        QTest::newRow("bool text kept") << ReceiverSettings::keyEmulatePvt6() << QVariant("true") << QVariant("true");
        QTest::newRow("mask not hex") << ReceiverSettings::keySatelliteIgnoreMask() << QVariant("XYZ")
                                      << QVariant("00000000");
        QTest::newRow("mask too long") << ReceiverSettings::keySatelliteIgnoreMask() << QVariant("100000000")
                                       << QVariant("00000000");
    }
    void repairsBadValues()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QVariant, repaired);
        TestSupport::TemporarySettings temp;
        {
            QSettings s;
            s.setValue(key, stored);
        }
        QSettings s;
        ReceiverSettings::load(s);
        s.sync();
        QCOMPARE(QSettings().value(key).toString(), repaired.toString());
    }

    void saveLoadRoundTrip()
    {
        TestSupport::TemporarySettings temp;
        ReceiverSettings r = customSettings();
        r.localTime = true;
        r.emulatePvt6 = true;
        r.satelliteIgnoreMask = 0x80000001u;
        {
            QSettings s;
            r.save(s);
        }
        QSettings s;
        QCOMPARE(ReceiverSettings::load(s), r);
        QCOMPARE(s.value(ReceiverSettings::keySatelliteIgnoreMask()).toString(), QStringLiteral("80000001"));
    }

    void applyUpdatesState()
    {
        ReceiverState s = receiver(2, 8, 8);
        s.channelCountUsed = 8;
        RecordingCommands sink;
        ReceiverSettings rs;
        rs.emulatePvt6 = true;
        ReceiverSettingsWait noWait;
        noWait.enabled = false;
        applyReceiverSettings(s, rs, {}, sink, noWait);
        QCOMPARE(s.channelCountUsed, 6);
        QVERIFY(s.receiverIdHnRequested);
        QCOMPARE(sink.sent, commandsFor(rs, s));

        rs.emulatePvt6 = false;
        applyReceiverSettings(s, rs, {}, sink, noWait);
        QCOMPARE(s.channelCountUsed, 8);

        // Nothing is sent once shutdown began.
        sink.sent.clear();
        s.closing = true;
        applyReceiverSettings(s, rs, {}, sink, noWait);
        QVERIFY(sink.sent.isEmpty());
    }

    void awaitedAnswerEndsTheWait()
    {
        ReceiverState s = receiver(2, 8, 8);
        s.receiverBusy = true;
        ReceiverCommandChannel channel(s);
        channel.setPauseMs(0);
        QList<QByteArray> sent;
        bool busyDuringWait = true;
        QList<QByteArray> headsDuringWait;
        bool answering = true;
        // The receiver answers "@@Ea" 40 ms later; another frame arriving before it does not count.
        QObject::connect(&channel, &ReceiverCommandChannel::sendGpsMessage, [&](const QByteArray &c) {
            sent << c;
            if (!answering || !c.startsWith("@@Ea"))
                return;
            headsDuringWait = s.awaitedAnswerHeads;
            QTimer::singleShot(5, [&] { s.noteAnswer(AnswerFamily::MotorolaBinary, "@@Hb"); });
            QTimer::singleShot(40, [&] {
                busyDuringWait = s.receiverBusy;
                s.noteAnswer(AnswerFamily::MotorolaBinary, "@@Ea");
            });
        });
        const QList<QByteArray> expected = commandsFor(ReceiverSettings(), s);
        const auto sentInOrder = [&] {
            if (sent.size() != expected.size())
                return false;
            for (int i = 0; i < sent.size(); ++i)
                if (!sent[i].startsWith(expected[i]))   // the channel adds the checksum
                    return false;
            return true;
        };
        ReceiverSettingsWait wait;
        wait.timeoutMs = 2000;
        QElapsedTimer t;
        t.start();
        applyReceiverSettings(s, ReceiverSettings(), {}, channel, wait);
        QVERIFY(t.elapsed() < 1500);
        QVERIFY(t.elapsed() >= 35);
        QCOMPARE(headsDuringWait, QList<QByteArray> { "@@Ea" });
        QVERIFY(!busyDuringWait);
        QVERIFY(s.receiverBusy);                 // restored
        QVERIFY(s.awaitedAnswerHeads.isEmpty());
        QVERIFY(sentInOrder());

        // No answer: the wait gives up after its timeout and the sequence goes on.
        answering = false;
        sent.clear();
        wait.timeoutMs = 60;
        t.restart();
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Timeout: no response to Motorola Cmd @@Ea"));
        applyReceiverSettings(s, ReceiverSettings(), {}, channel, wait);
        QVERIFY(t.elapsed() >= 55);
        QVERIFY(sentInOrder());
    }

    // The station reads the stored settings each time, sends them through its command sink and
    // reports the navigation mode and the local-time option; the detection hooks use the same.
    void stationSendsStoredSettings()
    {
        TestSupport::TemporarySettings temp;
        {
            QSettings s;
            ReceiverSettings stored = customSettings();
            stored.localTime = true;
            stored.emulatePvt6 = true;
            stored.save(s);
        }
        Station station;
        RecordingCommands sink;
        station.setCommandSink(&sink);
        station.detection().setTiming({ 50, 50, 5 });
        const ReceiverReferencePosition ref { true, -33.8568, -151.2153, 79.6, 39.6 };
        station.setReferencePositionSource([ref] { return ref; });
        QList<QPair<int, bool>> applied;
        connect(&station, &Station::receiverSettingsApplied, this,
                [&](int mode, bool local) { applied << qMakePair(mode, local); });

        ReceiverState &s = station.state();
        s.receiverMode = ReceiverMode::MotorolaBinary;
        s.receiverModel = ReceiverModelCode::M12Plus;
        s.channelCount = 12;
        station.applyReceiverSettings();
        QSettings store;
        const ReceiverSettings stored = ReceiverSettings::load(store);
        QCOMPARE(sink.sent, commandsFor(stored, s));
        QCOMPARE(applied, (QList<QPair<int, bool>> { { 1, true } }));
        QCOMPARE(s.channelCountUsed, 12);   // PVT6 emulation is for 8-channel receivers only

        // u-blox: the same hook sends CFG-NAV5 (Marine) and the time mode.
        sink.sent.clear();
        s.receiverMode = ReceiverMode::UbloxUbx;
        station.detection().hooks().applyReceiverSettings();
        QCOMPARE(sink.sent, commandsFor(stored, s, ref));
        QCOMPARE(int(uint8_t(sink.sent.first().at(8))), 0x05);

        // Garmin and the description options.
        sink.sent.clear();
        station.detection().hooks().applyGarminSettings();
        QCOMPARE(sink.sent, ReceiverSettingsCommands::garmin(stored, ref));
        QVERIFY(!station.detection().hooks().pvt6Mode());   // not for a 12-channel receiver
        s.channelCount = 8;
        QVERIFY(station.detection().hooks().pvt6Mode());
        QVERIFY(station.detection().hooks().localTimeMode());
        station.setClosing();
    }

    // After detection the receiver goes on sending its position message, so the receiver time keeps
    // advancing (the detection probes turn the continuous output off).
    void stationKeepsLivingAfterSetUp_data()
    {
        QTest::addColumn<QString>("modelName");
        QTest::addColumn<QString>("continuous");
        QTest::newRow("M12+") << "M12+" << "Ha";
        QTest::newRow("UT+") << "UT+" << "Ea";
        QTest::newRow("PVT6") << "PVT6" << "Ba";
    }
    void stationKeepsLivingAfterSetUp()
    {
        QFETCH(QString, modelName);
        QFETCH(QString, continuous);
        TestSupport::TemporarySettings temp;
        constexpr double speed = 20.0;
        bool ok = false;
        const SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel(modelName, &ok);
        QVERIFY(ok);
        SimulatedReceiverTransport rx(config, SimulationClock::startingAt(QDateTime::currentDateTimeUtc(), speed));
        {
            QSettings s;
            s.setValue(GpsPortSettings::keyPort(), GpsPortSettings::simulatorPortName());
            s.setValue(GpsPortSettings::keyDataRate(), 9600);
            s.setValue(GpsPortSettings::keyMode(), QStringLiteral("Motorola Binary"));
            s.setValue(GpsPortSettings::keyPpsInterface(), 0);
        }
        Station station;
        station.link().transportFactory().registerTransport(GpsPortSettings::simulatorPortName(),
                                                            [&rx] { return std::make_unique<SharedReceiverPort>(rx); });
        station.commandChannel().setPauseMs(0);
        station.detection().setTiming({ 450, 450, 5 });
        QList<int> gpsModes;
        connect(&station, &Station::receiverSettingsApplied, this, [&](int mode, bool) { gpsModes << mode; });
        {
            QSettings s;
            station.readPortSettings(s);
        }
        station.link().startGpsSerialPort(false);

        QVERIFY(station.detection().initialiseReceiver());
        QCOMPARE(gpsModes, QList<int> { 0 });
        QVERIFY2(rx.receiver().continuousMessages().contains(continuous),
                 qPrintable(rx.receiver().continuousMessages().join(',')));

        // Several simulated seconds: the decoded receiver time must move on with them, twice over
        // (a receiver left without its position output freezes the time at its last message).
        const QDateTime before = station.state().receiverUtcDateTime.dateTime();
        QTRY_VERIFY_WITH_TIMEOUT(before.msecsTo(station.state().receiverUtcDateTime.dateTime()) >= 3000, 5000);
        const QDateTime first = station.state().receiverUtcDateTime.dateTime();
        QTRY_VERIFY_WITH_TIMEOUT(first.msecsTo(station.state().receiverUtcDateTime.dateTime()) >= 3000, 5000);
        station.setClosing();
    }

    void pvt6EmulationSurvivesSetUp()
    {
        // An 8-channel unit run as a PVT6: the model's channel table must not undo the six
        // channels the settings chose.
        TestSupport::TemporarySettings temp;
        bool ok = false;
        const SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel(QStringLiteral("UT+"), &ok);
        QVERIFY(ok);
        SimulatedReceiverTransport rx(config, SimulationClock::startingAt(QDateTime::currentDateTimeUtc(), 20.0));
        {
            QSettings s;
            s.setValue(GpsPortSettings::keyPort(), GpsPortSettings::simulatorPortName());
            s.setValue(GpsPortSettings::keyDataRate(), 9600);
            s.setValue(GpsPortSettings::keyMode(), QStringLiteral("Motorola Binary"));
            s.setValue(GpsPortSettings::keyPpsInterface(), 0);
            s.setValue(ReceiverSettings::keyEmulatePvt6(), true);
        }
        Station station;
        station.link().transportFactory().registerTransport(GpsPortSettings::simulatorPortName(),
                                                            [&rx] { return std::make_unique<SharedReceiverPort>(rx); });
        station.commandChannel().setPauseMs(0);
        station.detection().setTiming({ 450, 450, 5 });
        {
            QSettings s;
            station.readPortSettings(s);
        }
        station.link().startGpsSerialPort(false);

        QVERIFY(station.detection().initialiseReceiver());
        QCOMPARE(station.state().channelCount, 8);
        QCOMPARE(station.state().channelCountUsed, 6);
        station.setClosing();
    }
};

QTEST_GUILESS_MAIN(TestReceiverSettings)
#include "tst_receiversettings.moc"
