// The simulated receiver model: its frames byte for byte, its sky and clock, and how it answers.

#include "support/TestSupport.h"
#include "support/FramingHelpers.h"

#include "receiver/motorola/MotorolaEncoder.h"
#include "receiver/framing/MotorolaFramer.h"
#include "sim/SimulatedReceiver.h"

#include <QSet>
#include <QtTest>
#include <cmath>

namespace {

QByteArray cmd(const QByteArray &idAndParams)
{
    return Frames::command(idAndParams);
}

// The frames the link would emit for these bytes.
QList<QByteArray> frames(const QByteArray &bytes)
{
    MotorolaFramer framer;
    bool pps = false;
    QList<QByteArray> out;
    framer.feed(bytes, pps, [&out](const QByteArray &f) { out << f; });
    return out;
}

QList<QByteArray> ids(const QList<QByteArray> &fs)
{
    QList<QByteArray> out;
    for (const QByteArray &f : fs)
        out << f.mid(2, 2);
    return out;
}

int32_t be32(const QByteArray &f, int off)
{
    return int32_t((uint32_t(uint8_t(f[off])) << 24) | (uint32_t(uint8_t(f[off + 1])) << 16)
                   | (uint32_t(uint8_t(f[off + 2])) << 8) | uint32_t(uint8_t(f[off + 3])));
}
int be16(const QByteArray &f, int off) { return (uint8_t(f[off]) << 8) | uint8_t(f[off + 1]); }

constexpr qint64 T0 = 1767225600;   // 2026-01-01 00:00:00 UTC

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void smallFramesAreByteExact_data();
    void smallFramesAreByteExact();
    void everyFrameVerifiesAtItsTableLength_data();
    void everyFrameVerifiesAtItsTableLength();
    void positionFrameFieldOffsets();
    void traimFrameFieldOffsets();
    void identificationLayout_data();
    void identificationLayout();
    void rateCodes_data();
    void rateCodes();
    void amuConversionRoundTrips();

    void skyStaysWithinEightToEleven_data();
    void skyStaysWithinEightToEleven();
    void satellitesMoveSmoothlyRiseAndSet();
    void signalFollowsElevation();
    void stationWandersByMetres();
    void sawtoothWithinTenNanoseconds();
    void sameSeedSameBytes();
    void positionMessageCarriesTheEpoch();

    void answersOwnFamilyOnly_data();
    void answersOwnFamilyOnly();
    void settingCommandsAreEchoed_data();
    void settingCommandsAreEchoed();
    void pollRateStartsAndStopsOutput();
    void commandsSplitOrBuriedInNoise();
    void rateMismatchSilentOrGarbage_data();
    void rateMismatchSilentOrGarbage();
    void rateChangeCommandMovesTheReceiver();
    void droppedAndIgnoredAnswers();
    void positionHoldFreezesPosition();
    void modelSettingIsRepaired_data();
    void modelSettingIsRepaired();
    void dataRateSettingIsRepaired_data();
    void dataRateSettingIsRepaired();
    void selfTestPassesInOwnFamily_data();
    void selfTestPassesInOwnFamily();
    void nmeaModeSwitchAndPolls();
    void nmeaSentencesCarryTheEpoch();
    void randomInputIsSurvived();
};

void TestSimulator::smallFramesAreByteExact_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("hex");
    QTest::newRow("Bo 18") << MotorolaEncoder::bo(18) << QByteArray("4040426f123f0d0a");
    QTest::newRow("Bj none") << MotorolaEncoder::bj(0) << QByteArray("4040426a00280d0a");
    QTest::newRow("Bj subtract") << MotorolaEncoder::bj(2) << QByteArray("4040426a022a0d0a");
    MotorolaEncoder::LeapMessage leap;
    leap.presentLeapSeconds = 18;
    leap.futureLeapSeconds = 19;
    leap.year = 2016;
    leap.month = 12;
    leap.day = 31;
    leap.integerSeconds = 86400;
    leap.fractionNs = 0;
    // 47 6a | 12 13 | 07 e0 | 0c 1f | 00 01 51 80 | 00 00 00 00
    QTest::newRow("Gj") << MotorolaEncoder::gj(leap)
                        << QByteArray("4040476a121307e00c1f0001518000000000") + QByteArray("08") + "0d0a";
    QTest::newRow("Cf") << MotorolaEncoder::frame("Cf", {}) << QByteArray("4040436625" "0d0a");
}

void TestSimulator::smallFramesAreByteExact()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, hex);
    QCOMPARE(frame.toHex(), hex);
}

void TestSimulator::everyFrameVerifiesAtItsTableLength_data()
{
    QTest::addColumn<QByteArray>("frame");
    SimulatedReceiver m12(SimulatedReceiverConfig::forModel("M12+"));
    SimulatedReceiver ut(SimulatedReceiverConfig::forModel("UT+"));
    SimulatedReceiver xt(SimulatedReceiverConfig::forModel("XT"));
    const SimulatedEpoch e = m12.epochAt(T0 + 1234);
    QTest::newRow("Ha") << m12.positionFrame(e, 'H');
    QTest::newRow("Hb") << m12.shortPositionFrame(e);
    QTest::newRow("Hn") << m12.traimFrame(e);
    QTest::newRow("Bb") << m12.visibleFrame(e);
    QTest::newRow("Cj") << m12.identificationFrame();
    QTest::newRow("Ea") << ut.positionFrame(ut.epochAt(T0), 'E');
    QTest::newRow("En") << ut.traimFrame(ut.epochAt(T0));
    QTest::newRow("Ek") << ut.dopFrame(ut.epochAt(T0));
    QTest::newRow("Ba") << xt.positionFrame(xt.epochAt(T0), 'B');
    QTest::newRow("Bn") << MotorolaEncoder::bn({});
    QTest::newRow("Bk") << xt.dopFrame(xt.epochAt(T0));
    QTest::newRow("Gj") << MotorolaEncoder::gj({});
}

void TestSimulator::everyFrameVerifiesAtItsTableLength()
{
    QFETCH(QByteArray, frame);
    const char f = frame.at(2), l = frame.at(3);
    QCOMPARE(frame.size(), MotorolaFramer::messageLength(f, l));
    QCOMPARE(frame.size(), MotorolaEncoder::wireLength(f, l));
    QVERIFY(frame.endsWith("\r\n"));
    uint8_t x = 0;
    for (int i = 2; i < frame.size() - 3; ++i)
        x ^= uint8_t(frame[i]);
    QCOMPARE(uint8_t(frame[frame.size() - 3]), x);
    // The link takes it whole, without checksum and line end.
    const QList<QByteArray> got = frames(frame);
    QCOMPARE(got.size(), 1);
    QCOMPARE(got.first(), frame.left(frame.size() - 3));
}

void TestSimulator::positionFrameFieldOffsets()
{
    MotorolaEncoder::PositionMessage m;
    m.time = { 2026, 3, 14, 15, 9, 26, 535897932 };
    m.latitudeMas = -123456789;
    m.longitudeMas = 987654321;
    m.heightCm = 51000;
    m.mslHeightCm = 46240;
    m.speedCmS = 0x1234;
    m.headingTenths = 0x0567;
    m.dopTenths = 17;
    m.visible = 11;
    m.tracked = 9;
    m.channels = { { 7, 8, 45, 99, 0x0102 }, { 30, 8, 50, 12, 0 } };
    m.receiverStatus = 0xE002;
    m.idTag = "TAG123";
    const QByteArray ha = MotorolaEncoder::ha(m);
    QCOMPARE(ha.size(), 154);
    QCOMPARE(uint8_t(ha[4]), 3);
    QCOMPARE(uint8_t(ha[5]), 14);
    QCOMPARE(be16(ha, 6), 2026);
    QCOMPARE(uint8_t(ha[8]), 15);
    QCOMPARE(uint8_t(ha[10]), 26);
    QCOMPARE(be32(ha, 11), 535897932);
    QCOMPARE(be32(ha, 15), -123456789);
    QCOMPARE(be32(ha, 19), 987654321);
    QCOMPARE(be32(ha, 23), 51000);
    QCOMPARE(be32(ha, 27), 46240);
    QCOMPARE(be16(ha, 47), 0x1234);
    QCOMPARE(be16(ha, 51), 0x0567);
    QCOMPARE(be16(ha, 53), 17);
    QCOMPARE(uint8_t(ha[55]), 11);
    QCOMPARE(uint8_t(ha[56]), 9);
    QCOMPARE(QByteArray(ha.constData() + 57, 6).toHex(), QByteArray("07082d630102"));
    QCOMPARE(uint8_t(ha[63]), 30);
    QCOMPARE(uint8_t(ha[69]), 0);   // third channel idle
    QCOMPARE(be16(ha, 129), 0xE002);
    QCOMPARE(ha.mid(145, 6), QByteArray("TAG123"));

    m.receiverStatus = 0x20;
    const QByteArray ea = MotorolaEncoder::ea(m);
    QCOMPARE(ea.size(), 76);
    QCOMPARE(be32(ea, 15), -123456789);
    QCOMPARE(be16(ea, 31), 0x1234);
    QCOMPARE(be16(ea, 33), 0x0567);
    QCOMPARE(be16(ea, 35), 17);
    QCOMPARE(uint8_t(ea[38]), 11);
    QCOMPARE(uint8_t(ea[39]), 9);
    QCOMPARE(QByteArray(ea.constData() + 40, 4).toHex(), QByteArray("07082d02"));
    QCOMPARE(uint8_t(ea[72]), 0x20);
    const QByteArray ba = MotorolaEncoder::ba(m);
    QCOMPARE(ba.size(), 68);
    QCOMPARE(uint8_t(ba[64]), 0x20);
    const QByteArray hb = MotorolaEncoder::hb(m);
    QCOMPARE(hb.size(), 54);
    QCOMPARE(be16(hb, 37), 17);
    QCOMPARE(uint8_t(hb[39]), 11);
    QCOMPARE(hb.mid(45, 6), QByteArray("TAG123"));
}

void TestSimulator::traimFrameFieldOffsets()
{
    MotorolaEncoder::TraimMessage t;
    t.pulseStatus = 1;
    t.ppsSync = 0;
    t.solutionStatus = 0;
    t.traimStatus = 1;
    t.removedSvMask = 0x80000001;
    t.accuracyNs = 0x0102;
    t.sawtoothNs = -10;
    t.residuals = { { 5, -7 }, { 9, 300 } };
    const QByteArray hn = MotorolaEncoder::hn(t);
    QCOMPARE(hn.size(), 78);
    QCOMPARE(QByteArray(hn.constData() + 4, 11).toHex(), QByteArray("0100000180000001" "0102f6"));
    QCOMPARE(QByteArray(hn.constData() + 15, 10).toHex(), QByteArray("05fffffff9" "090000012c"));
    const QByteArray en = MotorolaEncoder::en(t);
    QCOMPARE(en.size(), 69);
    QCOMPARE(uint8_t(en[25]), 0xF6);   // sawtooth -10
    QCOMPARE(be16(en, 23), 0x0102);
    QCOMPARE(QByteArray(en.constData() + 9, 10).toHex(), QByteArray("00000100000000000000"));
    QCOMPARE(QByteArray(en.constData() + 26, 5).toHex(), QByteArray("05fffffff9"));
    QCOMPARE(MotorolaEncoder::bn(t).size(), 59);
}

void TestSimulator::identificationLayout_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("maker");
    QTest::addColumn<int>("makerOffset");
    QTest::addColumn<QByteArray>("makerText");
    QTest::addColumn<int>("versionOffset");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("revision");
    QTest::addColumn<int>("modelOffset");
    QTest::addColumn<QByteArray>("modelNumber");
    using I = MotorolaEncoder::Identification;
    QTest::newRow("M12+") << "M12+" << int(I::Motorola) << 26 << QByteArray("MOTOROLA") << 84 << QByteArray("2")
                          << QByteArray("0") << 164 << QByteArray("P283T12NR5");
    QTest::newRow("VP") << "VP" << int(I::Motorola) << 26 << QByteArray("MOTOROLA") << 84 << QByteArray("10")
                        << QByteArray("2") << 164 << QByteArray("B4121P1155");
    QTest::newRow("SSR-6Tr++") << "SSR-6Tr++" << int(I::Synergy) << 26 << QByteArray("SYNERGY") << 84
                               << QByteArray("4") << QByteArray("21") << 164 << QByteArray("SSR-6Tr++");
    QTest::newRow("TX Oncore") << "TX Oncore" << int(I::ILotus) << 26 << QByteArray("i-LOTUS") << 83
                               << QByteArray("1") << QByteArray("1") << 164 << QByteArray("IL-GPS-0080-B");
    QTest::newRow("CNXT") << "CNXT/NVMN" << int(I::Conexant) << 26 << QByteArray("CONEXANT") << 84
                          << QByteArray("3") << QByteArray("2") << 164 << QByteArray("TU60-D120");
    QTest::newRow("SIGNAV") << "SIGNAV" << int(I::Signav) << 26 << QByteArray("SIGNAV  ") << 84
                            << QByteArray("1") << QByteArray("2") << 164 << QByteArray("MG5001");
}

void TestSimulator::identificationLayout()
{
    QFETCH(QString, model);
    QFETCH(int, maker);
    QFETCH(int, makerOffset);
    QFETCH(QByteArray, makerText);
    QFETCH(int, versionOffset);
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, revision);
    QFETCH(int, modelOffset);
    QFETCH(QByteArray, modelNumber);
    bool ok = false;
    const SimulatedReceiverConfig c = SimulatedReceiverConfig::forModel(model, &ok);
    QVERIFY(ok);
    QCOMPARE(int(c.identification.maker), maker);
    const QByteArray cj = MotorolaEncoder::cj(c.identification);
    QCOMPARE(cj.size(), 294);
    QCOMPARE(cj.left(6), QByteArray("@@Cj\r\n"));
    QCOMPARE(cj.mid(makerOffset, makerText.size()), makerText);
    QCOMPARE(cj.mid(versionOffset, 11).trimmed(), version);
    QCOMPARE(cj.mid(112, 11).trimmed(), revision);
    QCOMPARE(cj.mid(modelOffset, modelNumber.size()), modelNumber);
    // "MODEL # " ends within the first 180 bytes and its 18 bytes hold the model number.
    const int m = cj.indexOf("MODEL # ");
    QVERIFY(m >= 0 && m + 8 <= 180);
    QCOMPARE(cj.mid(m + 8, 18).trimmed(), modelNumber);
}

void TestSimulator::rateCodes_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<QByteArray>("code");
    QTest::newRow("300") << 300 << QByteArray("4003");
    QTest::newRow("1200") << 1200 << QByteArray("4012");
    QTest::newRow("2400") << 2400 << QByteArray("4024");
    QTest::newRow("4800") << 4800 << QByteArray("4048");
    QTest::newRow("9600") << 9600 << QByteArray("0000");
    QTest::newRow("14400") << 14400 << QByteArray("4144");
    QTest::newRow("19200") << 19200 << QByteArray("4192");
    QTest::newRow("38400") << 38400 << QByteArray("4384");
    QTest::newRow("57600") << 57600 << QByteArray("4576");
    QTest::newRow("115000") << 115000 << QByteArray("5150");
}

void TestSimulator::rateCodes()
{
    QFETCH(int, rate);
    QFETCH(QByteArray, code);
    const auto c = MotorolaEncoder::rateCode(rate);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(c.data()), 2).toHex(), code);
    QCOMPARE(MotorolaEncoder::codeRate(c[0], c[1]), rate);
    QCOMPARE(MotorolaEncoder::codeRate(0x12, 0x34), 0);
}

void TestSimulator::amuConversionRoundTrips()
{
    for (int cNo = 30; cNo <= 53; ++cNo) {   // one AMU step is below 1 dB from here on
        const int amu = SimulatedReceiver::amuForCNo(cNo);
        QVERIFY2(amu >= 1 && amu <= 255, qPrintable(QString::number(cNo)));
        QCOMPARE(int(20.0 * std::log10(double(amu)) + 4.6 + 0.5), cNo);
        if (amu > 1)
            QVERIFY(int(20.0 * std::log10(double(amu - 1)) + 4.6 + 0.5) < cNo);
    }
    // A VP reports every tracked satellite in AMU.
    SimulatedReceiver vp(SimulatedReceiverConfig::forModel("VP"));
    const SimulatedEpoch e = vp.epochAt(T0 + 500);
    for (const SimulatedSatellite &s : e.satellites)
        if (s.channel >= 0)
            QCOMPARE(s.signal, SimulatedReceiver::amuForCNo(s.cNo));
}

void TestSimulator::skyStaysWithinEightToEleven_data()
{
    QTest::addColumn<quint64>("seed");
    QTest::newRow("seed 1") << quint64(1);
    QTest::newRow("seed 2") << quint64(2);
    QTest::newRow("seed 77") << quint64(77);
}

void TestSimulator::skyStaysWithinEightToEleven()
{
    QFETCH(quint64, seed);
    SimulatedReceiverConfig c = SimulatedReceiverConfig::forModel("M12+");
    c.seed = seed;
    SimulatedReceiver rx(c);
    int least = 99, most = 0;
    for (qint64 t = T0; t < T0 + 2 * 86400; t += 20) {
        const SimulatedEpoch e = rx.epochAt(t);
        least = std::min(least, e.visibleCount);
        most = std::max(most, e.visibleCount);
        QSet<int> prns;
        for (const SimulatedSatellite &s : e.satellites) {
            QVERIFY(s.svId >= 1 && s.svId <= 32);
            QVERIFY(s.elevation >= 0 && s.elevation <= 90);
            QVERIFY(s.azimuth >= 0 && s.azimuth < 360);
            prns.insert(s.svId);
        }
        QCOMPARE(prns.size(), e.visibleCount);   // no PRN twice
        QVERIFY(e.trackedCount <= 12);
    }
    QVERIFY2(least >= 8, qPrintable(QString::number(least)));
    QVERIFY2(most <= 11, qPrintable(QString::number(most)));
    QVERIFY(most > least);   // the count does change
}

void TestSimulator::satellitesMoveSmoothlyRiseAndSet()
{
    SimulatedReceiver rx(SimulatedReceiverConfig::forModel("M12+"));
    QSet<int> everSeen;
    int rises = 0, sets = 0;
    SimulatedEpoch prev = rx.epochAt(T0);
    for (qint64 t = T0 + 1; t < T0 + 6 * 3600; ++t) {
        const SimulatedEpoch e = rx.epochAt(t);
        for (const SimulatedSatellite &s : e.satellites) {
            everSeen.insert(s.svId);
            if (const SimulatedSatellite *p = prev.satellite(s.svId)) {
                QVERIFY(std::abs(s.elevationExact - p->elevationExact) < 0.05);
                double daz = std::abs(s.azimuthExact - p->azimuthExact);
                daz = std::min(daz, 360.0 - daz);
                QVERIFY(daz < 0.05);
                // Doppler is positive while the satellite climbs, negative while it sinks.
                if (s.elevationExact > p->elevationExact + 1e-6)
                    QVERIFY(s.dopplerHz >= 0);
                else if (s.elevationExact < p->elevationExact - 1e-6)
                    QVERIFY(s.dopplerHz <= 0);
            } else {
                ++rises;
                QVERIFY2(s.elevationExact < 0.5, "a satellite appears at the horizon");
            }
        }
        for (const SimulatedSatellite &p : prev.satellites)
            if (!e.satellite(p.svId)) {
                ++sets;
                QVERIFY2(p.elevationExact < 0.5, "a satellite leaves at the horizon");
            }
        prev = e;
    }
    QVERIFY(rises >= 2);
    QVERIFY(sets >= 2);
    QVERIFY(everSeen.size() > 11);
}

void TestSimulator::signalFollowsElevation()
{
    SimulatedReceiver rx(SimulatedReceiverConfig::forModel("M12+"));
    double lowSum = 0, highSum = 0;
    int low = 0, high = 0;
    for (qint64 t = T0; t < T0 + 86400; t += 30) {
        for (const SimulatedSatellite &s : rx.epochAt(t).satellites) {
            if (s.channel < 0) {
                QCOMPARE(s.cNo, 0);
                continue;
            }
            QVERIFY(s.cNo >= 33 && s.cNo <= 51);
            QCOMPARE(s.trackMode, 8);
            if (s.elevationExact < 15) {
                lowSum += s.cNo;
                ++low;
            } else if (s.elevationExact > 60) {
                highSum += s.cNo;
                ++high;
            }
        }
    }
    QVERIFY(low > 0 && high > 0);
    QVERIFY(highSum / high > lowSum / low + 8);
}

void TestSimulator::stationWandersByMetres()
{
    const SimulatedReceiverConfig c = SimulatedReceiverConfig::forModel("UT+");
    SimulatedReceiver rx(c);
    double maxDist = 0, sumSq = 0;
    const int n = 3600;
    for (qint64 t = T0; t < T0 + n; ++t) {
        const SimulatedEpoch e = rx.epochAt(t);
        const double dn = (e.latitude - c.latitude) * 111320.0;
        const double de = (e.longitude - c.longitude) * 111320.0 * std::cos(c.latitude * M_PI / 180.0);
        const double d = std::hypot(dn, de);
        maxDist = std::max(maxDist, d);
        sumSq += d * d;
        QVERIFY(std::abs(e.height - c.height) < 5.0);
        QCOMPARE(e.mslHeight, e.height - c.geoidSeparation);
        QCOMPARE(e.latitudeMas, int32_t(std::lround(e.latitude * 3600000.0)));
        QCOMPARE(e.heightCm, int32_t(std::lround(e.height * 100.0)));
    }
    QVERIFY2(maxDist < 5.0, qPrintable(QString::number(maxDist)));
    QVERIFY(std::sqrt(sumSq / n) > 0.3);   // it does move
}

void TestSimulator::sawtoothWithinTenNanoseconds()
{
    SimulatedReceiver rx;
    QSet<int> values;
    for (qint64 t = T0; t < T0 + 600; ++t) {
        const SimulatedEpoch e = rx.epochAt(t);
        QVERIFY(e.sawtoothNs >= -10 && e.sawtoothNs <= 10);
        QVERIFY(e.accuracyNs > 0 && e.accuracyNs < 20);
        values.insert(e.sawtoothNs);
        const QByteArray hn = rx.traimFrame(e);
        QCOMPARE(int(int8_t(hn[14])), e.sawtoothNs);
    }
    QVERIFY(values.size() >= 15);   // sweeps through the range
}

void TestSimulator::sameSeedSameBytes()
{
    SimulatedReceiverConfig a = SimulatedReceiverConfig::forModel("UT+");
    SimulatedReceiverConfig b = a;
    SimulatedReceiverConfig other = a;
    other.seed = 2;
    SimulatedReceiver ra(a), rb(b), ro(other);
    QByteArray sa, sb, so;
    for (qint64 t = T0; t < T0 + 120; ++t) {
        sa += ra.secondOutput(t);
        sb += rb.secondOutput(t);
        so += ro.secondOutput(t);
    }
    QVERIFY(!sa.isEmpty());
    QCOMPARE(sa, sb);
    QVERIFY(sa != so);
    // Any second can be asked for on its own: the same bytes as in sequence.
    SimulatedReceiver rc(a);
    QCOMPARE(rc.secondOutput(T0 + 119), ra.secondOutput(T0 + 119));
}

void TestSimulator::positionMessageCarriesTheEpoch()
{
    SimulatedReceiver rx;   // M12+
    const qint64 t = T0 + 3 * 3600 + 25 * 60 + 7;
    const QList<QByteArray> fs = frames(rx.secondOutput(t));
    QCOMPARE(ids(fs), (QList<QByteArray> { "Ha", "Hn", "Bb" }));
    const QByteArray ha = fs.at(0);
    const SimulatedEpoch e = rx.epochAt(t);
    QCOMPARE(uint8_t(ha[4]), 1);
    QCOMPARE(uint8_t(ha[5]), 1);
    QCOMPARE(be16(ha, 6), 2026);
    QCOMPARE(uint8_t(ha[8]), 3);
    QCOMPARE(uint8_t(ha[9]), 25);
    QCOMPARE(uint8_t(ha[10]), 7);
    QCOMPARE(be32(ha, 15), e.latitudeMas);
    QCOMPARE(be32(ha, 19), e.longitudeMas);
    QCOMPARE(uint8_t(ha[55]), e.visibleCount);
    QCOMPARE(uint8_t(ha[56]), e.trackedCount);
    QCOMPARE(uint8_t(ha[129]), 0xE0);   // 3-D fix
    const QByteArray bb = fs.at(2);
    QCOMPARE(int(uint8_t(bb[4])), e.visibleCount);
    for (int i = 0; i < e.visibleCount; ++i) {
        const SimulatedSatellite &s = e.satellites[size_t(i)];
        QCOMPARE(int(uint8_t(bb[5 + 7 * i])), s.svId);
        QCOMPARE(int(int16_t(be16(bb, 6 + 7 * i))), s.dopplerHz);
        QCOMPARE(int(uint8_t(bb[8 + 7 * i])), s.elevation);
        QCOMPARE(be16(bb, 9 + 7 * i), s.azimuth);
    }
}

void TestSimulator::answersOwnFamilyOnly_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");   // identifier, empty for none
    const QByteArray en = QByteArray("En\x00\x01\x00\x0a\x03\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00", 17);
    QTest::newRow("M12+ Cj") << "M12+" << QByteArray("Cj") << QByteArray("Cj");
    QTest::newRow("M12+ Ha") << "M12+" << QByteArray("Ha\x00", 3) << QByteArray("Ha");
    QTest::newRow("M12+ Hb") << "M12+" << QByteArray("Hb\x00", 3) << QByteArray("Hb");
    QTest::newRow("M12+ Ea") << "M12+" << QByteArray("Ea\x00", 3) << QByteArray();
    QTest::newRow("M12+ Ba") << "M12+" << QByteArray("Ba\x00", 3) << QByteArray();
    QTest::newRow("M12+ Hn") << "M12+" << QByteArray("Hn\x00", 3) << QByteArray("Hn");
    QTest::newRow("M12+ En") << "M12+" << en << QByteArray();
    QTest::newRow("M12+ Gj") << "M12+" << QByteArray("Gj") << QByteArray("Gj");
    QTest::newRow("M12+ Bb") << "M12+" << QByteArray("Bb\x00", 3) << QByteArray("Bb");
    QTest::newRow("M12+ Bo") << "M12+" << QByteArray("Bo\x01") << QByteArray("Bo");
    QTest::newRow("M12+ Bh") << "M12+" << QByteArray("Bh\x00", 3) << QByteArray();
    QTest::newRow("M12+ Sc") << "M12+" << QByteArray("Sc\x01") << QByteArray();
    QTest::newRow("UT+ Ha") << "UT+" << QByteArray("Ha\x00", 3) << QByteArray();
    QTest::newRow("UT+ Ea") << "UT+" << QByteArray("Ea\x00", 3) << QByteArray("Ea");
    QTest::newRow("UT+ En") << "UT+" << en << QByteArray("En");
    QTest::newRow("UT+ Ek") << "UT+" << QByteArray("Ek\x00", 3) << QByteArray("Ek");
    QTest::newRow("UT+ Gj") << "UT+" << QByteArray("Gj") << QByteArray();
    QTest::newRow("UT+ Bj") << "UT+" << QByteArray("Bj") << QByteArray("Bj");
    QTest::newRow("VP Ha") << "VP" << QByteArray("Ha\x00", 3) << QByteArray();
    QTest::newRow("VP Ea") << "VP" << QByteArray("Ea\x00", 3) << QByteArray("Ea");
    QTest::newRow("VP Ba") << "VP" << QByteArray("Ba\x00", 3) << QByteArray();
    QTest::newRow("VP En (no T-RAIM)") << "VP" << en << QByteArray();
    QTest::newRow("XT Ba") << "XT" << QByteArray("Ba\x00", 3) << QByteArray("Ba");
    QTest::newRow("XT Ea") << "XT" << QByteArray("Ea\x00", 3) << QByteArray();
    QTest::newRow("SSR-6Tr Sc") << "SSR-6Tr" << QByteArray("Sc\x01") << QByteArray("Sc");
    QTest::newRow("VP $PMOTG") << "VP" << QByteArray() << QByteArray();
}

void TestSimulator::answersOwnFamilyOnly()
{
    QFETCH(QString, model);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    SimulatedReceiver rx(SimulatedReceiverConfig::forModel(model));
    const QByteArray wire = command.isEmpty() ? QByteArray("$PMOTG,ZDA,0001*3D\r\nT0\r\n") : cmd(command);
    const QList<QByteArray> fs = frames(rx.receive(wire, T0 * 1000 + 300));
    if (answer.isEmpty()) {
        QVERIFY(fs.isEmpty());
        QCOMPARE(rx.answersSent(), 0);
    } else {
        QCOMPARE(ids(fs), QList<QByteArray> { answer });
        QCOMPARE(rx.answersSent(), 1);
    }
    if (!command.isEmpty())
        QCOMPARE(rx.receivedCount(command.left(2)), 1);
}

void TestSimulator::settingCommandsAreEchoed_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("VP Ag mask 10") << "VP" << QByteArray("Ag\x0a");
    QTest::newRow("UT At hold") << "UT" << QByteArray("At\x01");
    QTest::newRow("M12+ Gd hold") << "M12+" << QByteArray("Gd\x01");
    QTest::newRow("M12+ Gk tag") << "M12+" << QByteArray("Gk******");
    QTest::newRow("M12+ Ay offset") << "M12+" << QByteArray("Ay\x00\x00\x01\xf4", 6);
    QTest::newRow("M12+ Az cable with CR LF bytes") << "M12+" << QByteArray("Az\x00\x00\r\n", 6);
    QTest::newRow("M12+ Gc") << "M12+" << QByteArray("Gc\x01");
    QTest::newRow("UT+ Cg") << "UT+" << QByteArray("Cg\x01");
}

void TestSimulator::settingCommandsAreEchoed()
{
    QFETCH(QString, model);
    QFETCH(QByteArray, command);
    SimulatedReceiver rx(SimulatedReceiverConfig::forModel(model));
    const QByteArray wire = cmd(command);
    const QByteArray got = rx.receive(wire, T0 * 1000);
    QCOMPARE(got.toHex(), wire.toHex());
    QCOMPARE(frames(got).size(), 1);   // the link takes it at its table length
}

void TestSimulator::pollRateStartsAndStopsOutput()
{
    SimulatedReceiver rx;   // M12+, continuous Ha, Hn, Bb
    QCOMPARE(rx.continuousMessages(), (QStringList { "Bb", "Ha", "Hn" }));
    // A one-shot poll answers at once and stops the continuous message.
    QCOMPARE(ids(frames(rx.receive(cmd(QByteArray("Ha\x00", 3)), T0 * 1000 + 400))), QList<QByteArray> { "Ha" });
    QCOMPARE(ids(frames(rx.secondOutput(T0 + 1))), (QList<QByteArray> { "Hn", "Bb" }));
    // Rate 1: nothing at once, then every second.
    QVERIFY(rx.receive(cmd(QByteArray("Ha\x01")), T0 * 1000 + 1400).isEmpty());
    QCOMPARE(ids(frames(rx.secondOutput(T0 + 2))), (QList<QByteArray> { "Ha", "Hn", "Bb" }));
    // Rate 3: every third second.
    rx.receive(cmd(QByteArray("Bb\x03")), T0 * 1000 + 2400);
    int bbs = 0;
    for (qint64 t = T0 + 3; t < T0 + 12; ++t)
        bbs += ids(frames(rx.secondOutput(t))).count("Bb");
    QCOMPARE(bbs, 3);
    // The one-shot answer describes the coming pulse.
    const QByteArray ha = frames(rx.receive(cmd(QByteArray("Ha\x00", 3)), (T0 + 42) * 1000 + 999)).value(0);
    QCOMPARE(uint8_t(ha[10]), 43);
    const QByteArray ha2 = frames(rx.receive(cmd(QByteArray("Ha\x00", 3)), (T0 + 43) * 1000)).value(0);
    QCOMPARE(uint8_t(ha2[10]), 44);
}

void TestSimulator::commandsSplitOrBuriedInNoise()
{
    SimulatedReceiver rx;
    const QByteArray cj = cmd("Cj");
    // Byte by byte.
    QByteArray out;
    for (char c : cj)
        out += rx.receive(QByteArrayView(&c, 1), T0 * 1000);
    QCOMPARE(ids(frames(out)), QList<QByteArray> { "Cj" });
    // Behind noise, an NMEA sentence, a lone '@' and a broken start.
    out = rx.receive(QByteArray("\x01\x02@x$PMOTG,FOR,0*3A\r\n@@Zz\x17\r") + cmd("Bj") + cmd("Cj"), T0 * 1000);
    QCOMPARE(ids(frames(out)), (QList<QByteArray> { "Bj", "Cj" }));
    // A wrong checksum is no command.
    QByteArray bad = cmd("Cj");
    bad[4] = char(bad[4] ^ 0x20);
    QVERIFY(rx.receive(bad, T0 * 1000).isEmpty());
    QVERIFY(!rx.receive(cmd("Cj"), T0 * 1000).isEmpty());
    // Endless noise does not pile up.
    for (int i = 0; i < 200; ++i)
        rx.receive(QByteArray(1000, '@'), T0 * 1000);
    QCOMPARE(ids(frames(rx.receive(QByteArray("\r\n") + cmd("Cj"), T0 * 1000))), QList<QByteArray> { "Cj" });
}

void TestSimulator::rateMismatchSilentOrGarbage_data()
{
    QTest::addColumn<bool>("garbage");
    QTest::newRow("silent") << false;
    QTest::newRow("garbage") << true;
}

void TestSimulator::rateMismatchSilentOrGarbage()
{
    QFETCH(bool, garbage);
    SimulatedReceiverConfig c = SimulatedReceiverConfig::forModel("M12+");
    c.dataRate = 9600;
    c.rateMismatch = garbage ? RateMismatch::Garbage : RateMismatch::Silent;
    SimulatedReceiver rx(c);
    rx.setLinkRate(4800);
    QVERIFY(!rx.rateMatches());
    QVERIFY(rx.receive(cmd("Cj"), T0 * 1000).isEmpty());
    const QByteArray second = rx.secondOutput(T0);
    QCOMPARE(second.isEmpty(), !garbage);
    QVERIFY(frames(second).isEmpty());
    QVERIFY(!second.contains('@') && !second.contains('$'));
    QCOMPARE(rx.answersSent(), 0);
    // At the right rate it speaks again.
    rx.setLinkRate(9600);
    QCOMPARE(ids(frames(rx.receive(cmd("Cj"), T0 * 1000))), QList<QByteArray> { "Cj" });
    QCOMPARE(ids(frames(rx.secondOutput(T0 + 1))).first(), QByteArray("Ha"));
}

void TestSimulator::rateChangeCommandMovesTheReceiver()
{
    SimulatedReceiver rx;
    const QByteArray wb = cmd(QByteArray("Wb\x40\x48"));   // 4800
    // The echo still comes at the old rate.
    QCOMPARE(rx.receive(wb, T0 * 1000), wb);
    QCOMPARE(rx.dataRate(), 4800);
    QVERIFY(rx.receive(cmd("Cj"), T0 * 1000).isEmpty());
    rx.setLinkRate(4800);
    QCOMPARE(ids(frames(rx.receive(cmd("Cj"), T0 * 1000))), QList<QByteArray> { "Cj" });
    // An unknown code changes nothing.
    rx.receive(cmd(QByteArray("Wb\x12\x34")), T0 * 1000);
    QCOMPARE(rx.dataRate(), 4800);
    rx.receive(cmd(QByteArray("Wb\x00\x00", 4)), T0 * 1000);
    QCOMPARE(rx.dataRate(), 9600);
}

void TestSimulator::droppedAndIgnoredAnswers()
{
    SimulatedReceiver rx;
    rx.dropNextAnswers(2);
    QVERIFY(rx.receive(cmd("Cj"), T0 * 1000).isEmpty());
    QVERIFY(rx.receive(cmd("Cj"), T0 * 1000).isEmpty());
    QVERIFY(!rx.receive(cmd("Cj"), T0 * 1000).isEmpty());
    QCOMPARE(rx.answersDropped(), 2);
    QCOMPARE(rx.answersSent(), 1);
    // Continuous output is not an answer and keeps coming.
    rx.dropNextAnswers(5);
    QVERIFY(!rx.secondOutput(T0).isEmpty());
    rx.dropNextAnswers(0);
    rx.setIgnoredCommands({ "Cj" });
    for (int i = 0; i < 3; ++i)
        QVERIFY(rx.receive(cmd("Cj"), T0 * 1000).isEmpty());
    QVERIFY(!rx.receive(cmd("Gj"), T0 * 1000).isEmpty());
    QCOMPARE(rx.receivedCount("Cj"), 6);
}

void TestSimulator::positionHoldFreezesPosition()
{
    SimulatedReceiver rx;   // M12+
    rx.receive(cmd(QByteArray("Gd\x01")), T0 * 1000);
    QVERIFY(rx.positionHold());
    const SimulatedEpoch a = rx.epochAt(T0 + 10), b = rx.epochAt(T0 + 700);
    QCOMPARE(a.latitudeMas, b.latitudeMas);
    QCOMPARE(a.heightCm, b.heightCm);
    const QByteArray ha = frames(rx.receive(cmd(QByteArray("Ha\x00", 3)), T0 * 1000)).value(0);
    QCOMPARE(uint8_t(ha[129]), 0x80);   // position hold
    rx.receive(cmd(QByteArray("Gd\x00", 3)), T0 * 1000);
    QVERIFY(!rx.positionHold());
    QVERIFY(rx.epochAt(T0 + 10).latitudeMas != rx.epochAt(T0 + 700).latitudeMas);
}

void TestSimulator::modelSettingIsRepaired_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing") << QVariant() << "M12+";
    QTest::newRow("VP") << QVariant("VP") << "VP";
    QTest::newRow("lower case") << QVariant("ut+") << "UT+";
    QTest::newRow("SSR plus") << QVariant("SSR-6Tf+") << "SSR-6Tf+";
    QTest::newRow("unknown") << QVariant("Z99") << "M12+";
}

void TestSimulator::modelSettingIsRepaired()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, expected);
    TestSupport::TemporarySettings temp;
    QSettings s;
    if (stored.isValid())
        s.setValue(SimulatedReceiverConfig::keyModel(), stored);
    QCOMPARE(SimulatedReceiverConfig::loadModelName(s), expected);
    if (!stored.isValid() || expected == "M12+")
        QCOMPARE(s.value(SimulatedReceiverConfig::keyModel()).toString(), expected);
    QCOMPARE(SimulatedReceiverConfig::keyModel(), QStringLiteral("GpsPortDialog/Simulator Model"));
}

void TestSimulator::dataRateSettingIsRepaired_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("writtenBack");
    QTest::newRow("missing") << QVariant() << 9600 << true;
    QTest::newRow("4800") << QVariant(4800) << 4800 << false;
    QTest::newRow("115000") << QVariant("115000") << 115000 << false;
    QTest::newRow("115200 is no choice") << QVariant(115200) << 9600 << true;
    QTest::newRow("text") << QVariant("fast") << 9600 << true;
}

void TestSimulator::dataRateSettingIsRepaired()
{
    QFETCH(QVariant, stored);
    QFETCH(int, expected);
    QFETCH(bool, writtenBack);
    TestSupport::TemporarySettings temp;
    QSettings s;
    if (stored.isValid())
        s.setValue(SimulatedReceiverConfig::keyDataRate(), stored);
    QCOMPARE(SimulatedReceiverConfig::loadDataRate(s), expected);
    if (writtenBack)
        QCOMPARE(s.value(SimulatedReceiverConfig::keyDataRate()).toInt(), 9600);
    else
        QCOMPARE(s.value(SimulatedReceiverConfig::keyDataRate()), stored);
}

void TestSimulator::selfTestPassesInOwnFamily_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answerHex");   // empty for none
    QTest::newRow("M12+ Ia") << "M12+" << QByteArray("Ia") << QByteArray("4040496100000028" "0d0a");
    QTest::newRow("M12+ Fa") << "M12+" << QByteArray("Fa") << QByteArray();
    QTest::newRow("VP Fa") << "VP" << QByteArray("Fa") << QByteArray("40404661000027" "0d0a");
    QTest::newRow("XT Ca") << "XT" << QByteArray("Ca") << QByteArray("40404361000022" "0d0a");
}

void TestSimulator::selfTestPassesInOwnFamily()
{
    QFETCH(QString, model);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answerHex);
    SimulatedReceiver rx(SimulatedReceiverConfig::forModel(model));
    const QByteArray got = rx.receive(cmd(command), T0 * 1000);
    QCOMPARE(got.toHex(), answerHex);
    if (!got.isEmpty())
        QCOMPARE(frames(got).size(), 1);
}

namespace {
QByteArray nmeaCmd(const QByteArray &body)
{
    uint8_t x = 0;
    for (char c : body)
        x ^= uint8_t(c);
    return "$" + body + "*" + QByteArray::number(x, 16).rightJustified(2, '0').toUpper() + "\r\n";
}
} // namespace

void TestSimulator::nmeaModeSwitchAndPolls()
{
    SimulatedReceiver rx;   // M12+
    // In binary mode NMEA commands go unheard.
    QVERIFY(rx.receive(nmeaCmd("PMOTG,ZDA,0000"), T0 * 1000).isEmpty());
    QVERIFY(rx.receive(cmd(QByteArray("Ci\x01")), T0 * 1000).isEmpty());
    QVERIFY(rx.nmeaMode());
    QVERIFY(rx.secondOutput(T0 + 1).isEmpty());   // no sentence enabled yet
    // A poll answers at once; a rate of 1 gives one sentence a second.
    QCOMPARE(rx.receive(nmeaCmd("PMOTG,ZDA,0000"), T0 * 1000 + 300),
             nmeaCmd("GPZDA,000001.00,01,01,2026,00,00"));
    QVERIFY(rx.receive(nmeaCmd("PMOTG,ZDA,0001"), (T0 + 1) * 1000 + 400).isEmpty());
    rx.receive(nmeaCmd("PMOTG,GGA,0002"), (T0 + 1) * 1000 + 500);
    QCOMPARE(rx.secondOutput(T0 + 2).count("$GP"), 2);   // GGA and ZDA
    QCOMPARE(rx.secondOutput(T0 + 3), nmeaCmd("GPZDA,000003.00,01,01,2026,00,00"));
    // A wrong checksum is ignored; binary commands go unheard.
    QVERIFY(rx.receive("$PMOTG,GGA,0000*5A\r\n", T0 * 1000).isEmpty());
    QVERIFY(rx.receive(cmd("Cj"), T0 * 1000).isEmpty());
    // Back to binary.
    QVERIFY(rx.receive(nmeaCmd("PMOTG,FOR,0"), T0 * 1000).isEmpty());
    QVERIFY(!rx.nmeaMode());
    QCOMPARE(ids(frames(rx.receive(cmd("Cj"), T0 * 1000))), QList<QByteArray> { "Cj" });
    QCOMPARE(ids(frames(rx.secondOutput(T0 + 4))).first(), QByteArray("Ha"));
}

void TestSimulator::nmeaSentencesCarryTheEpoch()
{
    SimulatedReceiverConfig c = SimulatedReceiverConfig::forModel("UT+");
    c.latitude = -33.856784;    // southern and western hemispheres
    c.longitude = -151.215297;
    SimulatedReceiver rx(c);
    const qint64 t = T0 + 13 * 3600 + 4 * 60 + 5;
    const SimulatedEpoch e = rx.epochAt(t);
    const QByteArray gga = rx.nmeaSentence(e, "GGA");
    QVERIFY(gga.startsWith("$GPGGA,130405.00,"));
    QVERIFY(gga.endsWith("\r\n"));
    const QList<QByteArray> f = gga.left(gga.indexOf('*')).split(',');
    QCOMPARE(f.size(), 15);
    const double lat = f[2].left(2).toDouble() + f[2].mid(2).toDouble() / 60.0;
    const double lon = f[4].left(3).toDouble() + f[4].mid(3).toDouble() / 60.0;
    QCOMPARE(f[3], QByteArray("S"));
    QCOMPARE(f[5], QByteArray("W"));
    QVERIFY(std::abs(-lat - e.latitude) < 0.00006 / 60.0);
    QVERIFY(std::abs(-lon - e.longitude) < 0.00006 / 60.0);
    QCOMPARE(f[7].toInt(), e.trackedCount);
    QVERIFY(std::abs(f[9].toDouble() - e.mslHeight) <= 0.05 + 1e-9);
    QCOMPARE(gga, nmeaCmd(gga.mid(1, gga.indexOf('*') - 1)));   // checksum right
    const QByteArray gsv = rx.nmeaSentence(e, "GSV");
    QCOMPARE(gsv.count("$GPGSV"), (e.visibleCount + 3) / 4);
    for (const SimulatedSatellite &s : e.satellites)
        QVERIFY(gsv.contains("," + QByteArray::number(s.svId).rightJustified(2, '0') + ","
                             + QByteArray::number(s.elevation).rightJustified(2, '0') + ","
                             + QByteArray::number(s.azimuth).rightJustified(3, '0') + ","));
    QVERIFY(rx.nmeaSentence(e, "RMC").startsWith("$GPRMC,130405.00,A,"));
    QVERIFY(rx.nmeaSentence(e, "RMC").contains(",010126,"));
}

void TestSimulator::randomInputIsSurvived()
{
    // Noise rich in '@', '$', CR and LF, in uneven pieces: no crash, no hang, and a proper
    // command afterwards is still understood.
    SimulatedReceiver rx;
    uint32_t x = 12345;
    const char alphabet[] = { '@', '@', '$', '\r', '\n', 'H', 'a', 'C', 'j', '\0', '\x01', ',' };
    for (int chunk = 0; chunk < 300; ++chunk) {
        QByteArray b(1 + chunk * 37 % 3000, '\0');
        for (char &c : b) {
            x = x * 1664525u + 1013904223u;
            c = (x >> 28) < 12 ? alphabet[x >> 28] : char(x >> 16);
        }
        rx.receive(b, T0 * 1000);
    }
    QCOMPARE(ids(frames(rx.receive(QByteArray("\r\n") + cmd("Cj"), T0 * 1000))).value(0), QByteArray("Cj"));
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
