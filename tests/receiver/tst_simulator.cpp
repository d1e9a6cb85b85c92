#include "core/ReceiverState.h"
#include "receiver/framing/MotorolaFramer.h"
#include "receiver/framing/StreamFramer.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "receiver/motorola/MotorolaDecoder.h"
#include "receiver/motorola/MotorolaEncoder.h"
#include "receiver/nmea/NmeaDecoder.h"
#include "receiver/ubx/UbxConfiguration.h"
#include "receiver/ubx/UbxDecoder.h"
#include "receiver/ubx/UbxEncoder.h"
#include "sim/SimulatedReceiver.h"
#include "sim/SimulatedReceiverTransport.h"
#include "sim/SimulatedUblox.h"
#include "support/FramingHelpers.h"
#include "support/RecordingAveraging.h"
#include "support/TestSupport.h"
#include "transport/GpsPortSettings.h"
#include "transport/GpsTransportFactory.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QSignalSpy>
#include <QtTest>
#include <cmath>

// The simulated receiver model: its frames byte for byte, its sky and clock, and how it answers.
namespace simulator_tests {

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

constexpr qint64 T0 = 1767225600;   // 2026-01-01 00:00:00 UTC

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void smallFramesAreByteExact_data()
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
    void smallFramesAreByteExact()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, hex);
        QCOMPARE(frame.toHex(), hex);
    }

    void everyFrameVerifiesAtItsTableLength_data()
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
    void everyFrameVerifiesAtItsTableLength()
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

    void amuConversionRoundTrips()
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

    void skyStaysWithinEightToEleven_data()
    {
        QTest::addColumn<quint64>("seed");
        QTest::newRow("seed 1") << quint64(1);
        QTest::newRow("seed 2") << quint64(2);
        QTest::newRow("seed 77") << quint64(77);
    }
    void skyStaysWithinEightToEleven()
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

    void satellitesMoveSmoothlyRiseAndSet()
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

    void signalFollowsElevation()
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

    void stationWandersByMetres()
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

    void sawtoothWithinTenNanoseconds()
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

    void sameSeedSameBytes()
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

    void answersOwnFamilyOnly_data()
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
    void answersOwnFamilyOnly()
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

    void settingCommandsAreEchoed_data()
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
    void settingCommandsAreEchoed()
    {
        QFETCH(QString, model);
        QFETCH(QByteArray, command);
        SimulatedReceiver rx(SimulatedReceiverConfig::forModel(model));
        const QByteArray wire = cmd(command);
        const QByteArray got = rx.receive(wire, T0 * 1000);
        QCOMPARE(got.toHex(), wire.toHex());
        QCOMPARE(frames(got).size(), 1);   // the link takes it at its table length
    }

    void pollRateStartsAndStopsOutput()
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

    void commandsSplitOrBuriedInNoise()
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

    void rateMismatchSilentOrGarbage_data()
    {
        QTest::addColumn<bool>("garbage");
        QTest::newRow("silent") << false;
        QTest::newRow("garbage") << true;
    }
    void rateMismatchSilentOrGarbage()
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

    void rateChangeCommandMovesTheReceiver()
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

    void droppedAndIgnoredAnswers()
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

    void positionHoldFreezesPosition()
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

    void modelSettingIsRepaired_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing") << QVariant() << "M12+";
        QTest::newRow("VP") << QVariant("VP") << "VP";
        QTest::newRow("lower case") << QVariant("ut+") << "UT+";
        QTest::newRow("SSR plus") << QVariant("SSR-6Tf+") << "SSR-6Tf+";
        QTest::newRow("unknown") << QVariant("Z99") << "M12+";
    }
    void modelSettingIsRepaired()
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

    void dataRateSettingIsRepaired_data()
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
    void dataRateSettingIsRepaired()
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

    void selfTestPassesInOwnFamily_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("answerHex");   // empty for none
        QTest::newRow("M12+ Ia") << "M12+" << QByteArray("Ia") << QByteArray("4040496100000028" "0d0a");
        QTest::newRow("M12+ Fa") << "M12+" << QByteArray("Fa") << QByteArray();
        QTest::newRow("VP Fa") << "VP" << QByteArray("Fa") << QByteArray("40404661000027" "0d0a");
        QTest::newRow("XT Ca") << "XT" << QByteArray("Ca") << QByteArray("40404361000022" "0d0a");
    }
    void selfTestPassesInOwnFamily()
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

    void nmeaModeSwitchAndPolls()
    {
        SimulatedReceiver rx;   // M12+
        // In binary mode NMEA commands go unheard.
        QVERIFY(rx.receive(Frames::nmea("PMOTG,ZDA,0000"), T0 * 1000).isEmpty());
        QVERIFY(rx.receive(cmd(QByteArray("Ci\x01")), T0 * 1000).isEmpty());
        QVERIFY(rx.nmeaMode());
        QVERIFY(rx.secondOutput(T0 + 1).isEmpty());   // no sentence enabled yet
        // A poll answers at once; a rate of 1 gives one sentence a second.
        QCOMPARE(rx.receive(Frames::nmea("PMOTG,ZDA,0000"), T0 * 1000 + 300),
                 Frames::nmea("GPZDA,000001.00,01,01,2026,00,00"));
        QVERIFY(rx.receive(Frames::nmea("PMOTG,ZDA,0001"), (T0 + 1) * 1000 + 400).isEmpty());
        rx.receive(Frames::nmea("PMOTG,GGA,0002"), (T0 + 1) * 1000 + 500);
        QCOMPARE(rx.secondOutput(T0 + 2).count("$GP"), 2);   // GGA and ZDA
        QCOMPARE(rx.secondOutput(T0 + 3), Frames::nmea("GPZDA,000003.00,01,01,2026,00,00"));
        // A wrong checksum is ignored; binary commands go unheard.
        QVERIFY(rx.receive("$PMOTG,GGA,0000*5A\r\n", T0 * 1000).isEmpty());
        QVERIFY(rx.receive(cmd("Cj"), T0 * 1000).isEmpty());
        // Back to binary.
        QVERIFY(rx.receive(Frames::nmea("PMOTG,FOR,0"), T0 * 1000).isEmpty());
        QVERIFY(!rx.nmeaMode());
        QCOMPARE(ids(frames(rx.receive(cmd("Cj"), T0 * 1000))), QList<QByteArray> { "Cj" });
        QCOMPARE(ids(frames(rx.secondOutput(T0 + 4))).first(), QByteArray("Ha"));
    }

    void randomInputIsSurvived()
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
};

} // namespace simulator_tests

// The simulated receiver's stream, framed by the link and decoded by the Motorola decoder, gives
// back what the simulation meant: identification, times, positions, satellites, sawtooth.
// The expectations come from the simulation's own truth (its epochs), never from the decoder.
namespace simulatordecode_tests {

namespace {

constexpr qint64 T0 = 1767225600 + 5 * 3600 + 17;   // 2026-01-01 05:00:17 UTC
constexpr double MasDegrees = 1.0 / 3600000.0;

} // namespace

class TestSimulatorDecode : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void decodesToTheSimulatedTruth_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("modelCode");
        QTest::addColumn<QString>("firmware");
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("traim");
        QTest::newRow("M12+") << "M12+" << int(ReceiverModelCode::M12Plus) << "2.0" << 12 << true;
        QTest::newRow("UT+") << "UT+" << int(ReceiverModelCode::UTPlus) << "3.1" << 8 << true;
        QTest::newRow("VP (AMU)") << "VP" << int(ReceiverModelCode::VP) << "10.2" << 8 << false;
        QTest::newRow("M12") << "M12" << int(ReceiverModelCode::M12) << "1.3" << 12 << false;
        QTest::newRow("GT") << "GT" << int(ReceiverModelCode::GT) << "2.1" << 8 << false;
        QTest::newRow("XT (6-ch, AMU)") << "XT" << int(ReceiverModelCode::XT) << "5.1" << 6 << false;
        QTest::newRow("SSR-6Tr+") << "SSR-6Tr+" << int(ReceiverModelCode::Ssr6Tr) << "4.21" << 12 << true;
        QTest::newRow("SSR-M8T") << "SSR-M8T" << int(ReceiverModelCode::SsrM8T) << "4.21" << 12 << true;
        QTest::newRow("TX Oncore") << "TX Oncore" << int(ReceiverModelCode::TxOncore) << "1.1" << 8 << true;
        QTest::newRow("CNXT/NVMN") << "CNXT/NVMN" << int(ReceiverModelCode::CnxtNavman) << "3.2" << 8 << false;
        QTest::newRow("SIGNAV") << "SIGNAV" << int(ReceiverModelCode::Signav) << "1.2" << 12 << false;
    }
    void decodesToTheSimulatedTruth()
    {
        QFETCH(QString, model);
        QFETCH(int, modelCode);
        QFETCH(QString, firmware);
        QFETCH(int, channels);
        QFETCH(bool, traim);

        SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel(model);
        config.seed = 7;
        SimulatedReceiver rx(config);
        QCOMPARE(rx.config().channels, channels);

        ReceiverState state;
        DecoderContext ctx;
        ctx.state = &state;
        MotorolaDecoder decoder(ctx);
        StreamFramer framer(2);
        QList<QByteArray> frames;
        const auto sink = [&frames](const QByteArray &f) { frames << f; };

        framer.feed(rx.streamHeader(), sink);
        for (const QByteArray &f : std::as_const(frames))
            decoder.decodeMotorolaFrame(f);
        QCOMPARE(state.receiverModel, modelCode);
        QCOMPARE(state.firmwareVersionText, firmware);
        QCOMPARE(state.ssrPlus, model.startsWith("SSR-6T") && model.endsWith("+") && !model.endsWith("++"));
        QCOMPARE(state.utcOffsetSeconds, 18);

        const char family = channels >= 12 ? 'H' : channels >= 8 ? 'E' : 'B';
        const QByteArray positionId = QByteArray("@@") + family + 'a';
        int positions = 0, lists = 0, sawtooths = 0;
        for (qint64 t = T0; t < T0 + 90; ++t) {
            const SimulatedEpoch truth = rx.epochAt(t);
            frames.clear();
            framer.feed(rx.secondOutput(t), sink);
            for (const QByteArray &f : std::as_const(frames)) {
                decoder.decodeMotorolaFrame(f);
                if (f.startsWith(positionId)) {
                    ++positions;
                    QCOMPARE(state.receiverUtcDateTime.dateTime(), truth.utc);
                    const MotorolaDecoder::Position &p = decoder.lastPosition();
                    QVERIFY(std::abs(p.latitude - truth.latitude) <= 0.5 * MasDegrees + 1e-12);
                    QVERIFY(std::abs(p.longitude - truth.longitude) <= 0.5 * MasDegrees + 1e-12);
                    QVERIFY(std::abs(p.altEllipsoid - truth.height) <= 0.005 + 1e-9);
                    QVERIFY(std::abs(p.altMsl - truth.mslHeight) <= 0.005 + 1e-9);
                    QCOMPARE(state.trackedCount.value, truth.trackedCount);
                    QCOMPARE(state.visibleCount.value, truth.visibleCount);
                    // Idle channels (ID 0) land in record 0; the real satellites are the rest.
                    int inTrack = 0;
                    for (size_t i = 1; i < state.satellites.size(); ++i)
                        inTrack += state.satellites[i].inTrack;
                    QCOMPARE(inTrack, truth.trackedCount);
                    for (const SimulatedSatellite &s : truth.satellites) {
                        if (s.channel < 0)
                            continue;
                        const SatelliteRecord &r = state.satellites[size_t(s.svId)];
                        QCOMPARE(r.svId, s.svId);
                        QCOMPARE(r.cNo, s.cNo);
                        QCOMPARE(int(r.trackMode), 8);
                        QCOMPARE(int(r.inTrack), 1);
                    }
                } else if (f.startsWith("@@Bb")) {
                    ++lists;
                    for (const SimulatedSatellite &s : truth.satellites) {
                        const SatelliteRecord &r = state.satellites[size_t(s.svId)];
                        QCOMPARE(r.elevation, s.elevation);
                        QCOMPARE(r.azimuth, s.azimuth);
                        QCOMPARE(r.riseSet, s.dopplerHz > 0 ? 1 : s.dopplerHz < 0 ? -1 : r.riseSet);
                    }
                } else if (f.startsWith("@@Hn") || f.startsWith("@@En") || f.startsWith("@@Bn")) {
                    ++sawtooths;
                    QVERIFY(state.ppsQuantizationErrorValid);
                    QCOMPARE(state.ppsQuantizationError, double(truth.sawtoothNs));
                }
            }
        }
        QCOMPARE(positions, 90);
        QCOMPARE(lists, 90);
        QCOMPARE(sawtooths, traim ? 90 : 0);
    }

    // The tool writes exactly the simulation's continuous stream (which decodes to the truth:
    // decodesToTheSimulatedTruth of both families).
    void toolWritesTheSimulatedStream_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("ubx");
        QTest::newRow("M12+") << "M12+" << false;
        QTest::newRow("UT+") << "UT+" << false;
        QTest::newRow("VP") << "VP" << false;
        QTest::newRow("LEA-6T factory NMEA") << "LEA-6T" << false;
        QTest::newRow("LEA-6T --ubx timing output") << "LEA-6T" << true;
    }
    void toolWritesTheSimulatedStream()
    {
        QFETCH(QString, model);
        QFETCH(bool, ubx);
        const QString sim = QStringLiteral(CHRONODE_BINARY_DIR "/chronode-sim");
        if (!QFileInfo::exists(sim))
            QSKIP("chronode-sim not built");
        QStringList args { "--model", model, "--seconds", "20", "--start", "2026-01-01T05:00:17Z", "--seed", "7" };
        if (ubx)
            args << "--ubx";
        QProcess simP;
        simP.start(sim, args);
        QVERIFY(simP.waitForFinished(30000));
        QCOMPARE(simP.exitCode(), 0);

        SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel(model);
        config.seed = 7;
        SimulatedReceiver rx(config);
        if (ubx)
            rx.ublox()->configureForTiming();
        QByteArray expected = rx.streamHeader();
        for (qint64 t = T0; t < T0 + 20; ++t)
            expected += rx.secondOutput(t);
        QCOMPARE(simP.readAllStandardOutput(), expected);
    }

    void nmeaOutputDecodesToTheTruth()
    {
        SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel("UT+");
        config.latitude = -41.2865;
        config.longitude = -174.7762;
        SimulatedReceiver rx(config);
        // Switched to NMEA the way set-up does it, GGA once a second.
        rx.receive(QByteArray("@@Ci\x01\x2b\r\n"), T0 * 1000);
        QVERIFY(rx.nmeaMode());
        rx.receive(QByteArray("$PMOTG,GGA,0001*01\r\n"), T0 * 1000);
        ReceiverState state;
        DecoderContext ctx;
        ctx.state = &state;
        NmeaDecoder decoder(ctx);
        StreamFramer framer(1);
        int fixes = 0;
        for (qint64 t = T0; t < T0 + 30; ++t) {
            const SimulatedEpoch truth = rx.epochAt(t);
            framer.feed(rx.secondOutput(t), [&](const QByteArray &sentence) {
                QVERIFY(decoder.decodeNmeaSentence(sentence));
                if (!sentence.startsWith("$GPGGA"))
                    return;
                ++fixes;
                const NmeaGgaFix &fix = decoder.lastFix();
                QVERIFY(fix.present);
                QCOMPARE(fix.hours * 3600 + fix.minutes * 60 + int(fix.seconds), int(t % 86400));
                // Four decimals of a minute: within 0.000051 minute.
                QVERIFY(std::abs(fix.latitude - truth.latitude) <= 0.000051 / 60.0);
                QVERIFY(std::abs(fix.longitude - truth.longitude) <= 0.000051 / 60.0);
                QVERIFY(std::abs(fix.mslHeight - truth.mslHeight) <= 0.05 + 1e-9);
                QCOMPARE(fix.satellitesUsed, truth.trackedCount);
            });
        }
        QCOMPARE(fixes, 30);
    }
};

} // namespace simulatordecode_tests

// The simulated receiver behind the transport seam: pulse on DCD, one second of bytes after
// each edge, answers after a command, and the whole thing driving the real link.
namespace simulatortransport_tests {

namespace {

constexpr qint64 T0ms = 1767225600000;   // 2026-01-01 00:00:00 UTC

QByteArray cmd(const QByteArray &idAndParams)
{
    return Frames::command(idAndParams);
}

QList<QByteArray> frameIds(const QByteArray &bytes)
{
    MotorolaFramer framer;
    bool pps = false;
    QList<QByteArray> out;
    framer.feed(bytes, pps, [&out](const QByteArray &f) { out << f.mid(2, 2); });
    return out;
}

GpsPortSettings portAt(int rate)
{
    GpsPortSettings s;
    s.portName = GpsPortSettings::simulatorPortName();
    s.dataRate = rate;
    return s;
}

} // namespace

class TestSimulatorTransport : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void edgeThenTheSecondsBytes()
    {
        SimulatedReceiverTransport t(SimulatedReceiverConfig(), SimulationClock::manual(T0ms + 500));
        QSignalSpy ready(&t, &GpsTransport::readyRead);
        QSignalSpy edges(&t, &SimulatedReceiverTransport::ppsEdge);
        QVERIFY(t.open(portAt(9600)));
        QVERIFY(t.isOpen());
        QCOMPARE(t.name(), QStringLiteral("SIMULATOR"));

        t.pump();
        QCOMPARE(t.modemSignals(), 0);
        QCOMPARE(edges.count(), 0);

        t.clock().setNowMs(T0ms + 1000);   // the edge of second T0+1
        t.pump();
        QCOMPARE(edges.count(), 1);
        QCOMPARE(edges.first().first().toLongLong(), T0ms / 1000 + 1);
        QCOMPARE(t.modemSignals(), int(GpsTransport::Dcd));
        QCOMPARE(ready.count(), 0);   // bytes follow the edge, not with it

        // The whole second arrives once its last byte has crossed the line at 9600 baud; it
        // describes the next pulse.
        SimulatedReceiver twin;
        const QByteArray expected = twin.secondOutput(T0ms / 1000 + 2);
        const qint64 due = PacedPpsSource::MessageDelayMs + SimulatedReceiverTransport::transmitMs(expected.size(), 9600);
        t.clock().setNowMs(T0ms + 1000 + due - 1);
        t.pump();
        QCOMPARE(ready.count(), 0);
        t.clock().setNowMs(T0ms + 1000 + due);
        t.pump();
        QCOMPARE(ready.count(), 1);
        QCOMPARE(t.readAll(), expected);
        QVERIFY(t.readAll().isEmpty());

        // The pulse ends; the next second brings the next edge.
        t.clock().setNowMs(T0ms + 1000 + PacedPpsSource::PulseWidthMs);
        QCOMPARE(t.modemSignals(), 0);
        t.clock().setNowMs(T0ms + 2000);
        t.pump();
        QCOMPARE(edges.count(), 2);
        QCOMPARE(t.modemSignals(), int(GpsTransport::Dcd));
    }

    void everyEdgeIsSeenWhateverThePolling_data()
    {
        QTest::addColumn<int>("pollMs");
        QTest::newRow("10 ms polls") << 10;
        QTest::newRow("250 ms polls") << 250;
        QTest::newRow("polls slower than the pulse") << 400;
        QTest::newRow("one poll a second") << 1000;
    }
    void everyEdgeIsSeenWhateverThePolling()
    {
        QFETCH(int, pollMs);
        SimulatedReceiverTransport t(SimulatedReceiverConfig(), SimulationClock::manual(T0ms + 3));
        t.open(portAt(9600));
        bool previous = false;
        int rising = 0;
        for (qint64 ms = 0; ms < 10000; ms += pollMs) {
            t.clock().setNowMs(T0ms + 3 + ms);
            t.pump();
            const bool level = t.modemSignals() & GpsTransport::Dcd;
            if (level && !previous)
                ++rising;
            previous = level;
        }
        // Nine edges fall in the window (T0+1 ... T0+9); a reader that polls once a second sees
        // high, low, high ... and so one edge every other poll at worst.
        if (pollMs < 1000)
            QCOMPARE(rising, 9);
        else
            QVERIFY(rising >= 4);
    }

    void answerArrivesAfterTheCommand()
    {
        SimulatedReceiverTransport t(SimulatedReceiverConfig::forModel("VP"), SimulationClock::manual(T0ms + 100));
        QSignalSpy ready(&t, &GpsTransport::readyRead);
        t.open(portAt(9600));
        QCOMPARE(t.write(cmd(QByteArray("Ea\x00", 3))), qint64(8));
        t.pump();
        QCOMPARE(ready.count(), 0);
        t.clock().advanceMs(200);
        t.pump();
        QCOMPARE(ready.count(), 1);
        QCOMPARE(frameIds(t.readAll()), QList<QByteArray> { "Ea" });
        // A 12-channel poll gets nothing from an 8-channel unit.
        t.write(cmd(QByteArray("Ha\x00", 3)));
        t.clock().advanceMs(500);
        t.pump();
        QVERIFY(t.readAll().isEmpty());
        QCOMPARE(t.receiver().receivedCount("Ha"), 1);
    }

    void linkRateReachesTheReceiver()
    {
        SimulatedReceiverConfig c;
        c.dataRate = 9600;
        SimulatedReceiverTransport t(c, SimulationClock::manual(T0ms + 100));
        t.open(portAt(4800));
        QCOMPARE(t.receiver().linkRate(), 4800);
        t.write(cmd("Cj"));
        t.clock().advanceMs(1500);
        t.pump();
        QVERIFY(t.readAll().isEmpty());   // silent at the wrong rate, even across a second
        t.open(portAt(9600));             // the link re-opens at another rate
        t.write(cmd("Cj"));
        t.clock().advanceMs(600);
        t.pump();
        QVERIFY(frameIds(t.readAll()).contains("Cj"));
    }

    void clockJumpDoesNotFlood()
    {
        SimulatedReceiverTransport t(SimulatedReceiverConfig(), SimulationClock::manual(T0ms));
        QSignalSpy edges(&t, &SimulatedReceiverTransport::ppsEdge);
        t.open(portAt(9600));
        t.clock().advanceMs(3600 * 1000);   // an hour later
        t.pump();
        QVERIFY(edges.count() <= 2);
        t.clock().advanceMs(1000);
        t.pump();
        QCOMPARE(edges.last().first().toLongLong(), T0ms / 1000 + 3601);
    }

    void closedTransportIsQuiet()
    {
        SimulatedReceiverTransport t(SimulatedReceiverConfig(), SimulationClock::manual(T0ms));
        QCOMPARE(t.write("x"), qint64(-1));
        t.open(portAt(9600));
        t.clock().advanceMs(1000);
        t.pump();
        t.close();
        QVERIFY(!t.isOpen());
        QCOMPARE(t.modemSignals(), 0);
        t.clock().advanceMs(2000);
        t.pump();
        QVERIFY(t.readAll().isEmpty());
    }

    void registeredUnderSimulatorName()
    {
        TestSupport::TemporarySettings temp;
        QSettings().setValue(SimulatedReceiverConfig::keyModel(), QStringLiteral("UT+"));
        QSettings().setValue(SimulatedReceiverConfig::keyDataRate(), 4800);
        GpsTransportFactory factory;
        SimulatedReceiverTransport::registerIn(factory);
        auto stored = factory.create(QStringLiteral("SIMULATOR"));
        QVERIFY(stored);
        QCOMPARE(static_cast<SimulatedReceiverTransport *>(stored.get())->receiver().config().modelName, QStringLiteral("UT+"));
        QCOMPARE(static_cast<SimulatedReceiverTransport *>(stored.get())->receiver().dataRate(), 4800);
        SimulatedReceiverTransport::registerIn(factory, QStringLiteral("VP"));
        auto named = factory.create(QStringLiteral("SIMULATOR"));
        QCOMPARE(static_cast<SimulatedReceiverTransport *>(named.get())->receiver().config().channels, 8);
        QVERIFY(static_cast<SimulatedReceiverTransport *>(named.get())->receiver().config().amuSignal);
    }

    void drivesTheLink()
    {
        // The real link, polled by hand every 10 ms of simulated time: one "-- PPS --" and one
        // PpsTick per second, each followed by that second's messages.
        TestSupport::TemporarySettings temp;
        ReceiverState state;
        state.receiverMode = ReceiverMode::MotorolaBinary;
        GpsSerialPortThread link(&state);
        link.setPpsInterface(1);   // DCD
        QList<QByteArray> texts;
        int ticks = 0;
        connect(&link, &GpsSerialPortThread::newGpsText, this, [&texts](const QByteArray &t) { texts << t; });
        connect(&link, &GpsSerialPortThread::PpsTick, this, [&ticks, &texts] {
            ++ticks;
            texts << "tick";
        });
        auto owned = std::make_unique<SimulatedReceiverTransport>(SimulatedReceiverConfig(), SimulationClock::manual(T0ms + 5));
        SimulatedReceiverTransport *t = owned.get();
        GpsPortSettings settings = portAt(9600);
        settings.ppsInterface = 1;
        link.useTransport(std::move(owned), settings);
        QVERIFY(link.isPortOpen());
        for (int ms = 10; ms <= 3000; ms += 10) {
            t->clock().setNowMs(T0ms + 5 + ms);
            t->pump();            // the transport's own timer
            link.handleTimedPolls();
            QCoreApplication::processEvents();
        }
        link.stopGpsSerialPort();
        QCOMPARE(ticks, 3);
        QList<QByteArray> shape;
        for (const QByteArray &x : texts)
            shape << (x.startsWith("@@") ? x.mid(2, 2) : x);
        const QList<QByteArray> second { "tick", "-- PPS --", "Ha", "Hn", "Bb" };
        QCOMPARE(shape.mid(0, 5), second);
        QCOMPARE(shape.mid(5, 5), second);
        QCOMPARE(shape.mid(10, 1), QList<QByteArray> { "tick" });
        // The position message after the pulse of 00:00:01 announces 00:00:02, the next pulse.
        QCOMPARE(uint8_t(texts.at(2).at(10)), 2);
        QCOMPARE(uint8_t(texts.at(7).at(10)), 3);
    }

    void runsOnItsOwnTimers()
    {
        // Sixty simulated seconds at thirty times real speed, on real timers.
        SimulatedReceiverTransport t(SimulatedReceiverConfig::forModel("UT+"),
                                     SimulationClock::startingAt(QDateTime::fromMSecsSinceEpoch(T0ms + 900, Qt::UTC), 30.0));
        QSignalSpy edges(&t, &SimulatedReceiverTransport::ppsEdge);
        QByteArray all;
        connect(&t, &GpsTransport::readyRead, this, [&] { all += t.readAll(); });
        t.open(portAt(9600));
        QTRY_VERIFY_WITH_TIMEOUT(edges.count() >= 5, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(frameIds(all).count("Ea") >= 4, 5000);
        const QList<QByteArray> ids = frameIds(all);
        QCOMPARE(ids.count("Ea"), ids.count("Bb"));
    }
};

} // namespace simulatortransport_tests

// The simulated u-blox timing module: its factory output, its answers to polls and settings
// (byte for byte), the port rate change, and its stream decoded by the program's own framer and
// UBX decoder giving back what the simulation meant. Expectations come from the simulation's
// truth (its epochs), never from the decoder.
namespace simulatedublox_tests {

namespace {

constexpr qint64 T0 = 1767225600 + 5 * 3600 + 17;   // 2026-01-01 05:00:17 UTC
constexpr qint64 NowMs = (T0 - 1) * 1000 + 300;

SimulatedReceiverConfig lea6t()
{
    bool ok = false;
    SimulatedReceiverConfig c = SimulatedReceiverConfig::forModel(QStringLiteral("LEA-6T"), &ok);
    Q_ASSERT(ok);
    c.seed = 7;
    return c;
}

// As the link sends it: checksum appended, then CR LF.
QByteArray sent(const QByteArray &withoutChecksum)
{
    return Ubx::withChecksum(withoutChecksum) + "\r\n";
}

// The class/ID pairs of the UBX frames and the NMEA sentence heads of a byte stream, in order.
QStringList heads(const QByteArray &bytes)
{
    QStringList out;
    StreamFramer framer(ReceiverMode::UbloxUbx);
    framer.feed(bytes, [&out](const QByteArray &f) {
        if (f.startsWith('$'))
            out << QString::fromLatin1(f.mid(1, 5));
        else
            out << QString::fromLatin1(f.mid(2, 2).toHex(' ').toUpper());
    });
    return out;
}

} // namespace

class TestSimulatedUblox : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void modelNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("ublox");
        QTest::addColumn<QString>("modelName");
        QTest::addColumn<QByteArray>("firmware");
        QTest::newRow("LEA-6T") << "LEA-6T" << true << "LEA-6T" << QByteArray("7.03 (45970)");
        QTest::newRow("lower case, spaces") << " lea-4t " << true << "LEA-4T" << QByteArray("5.00 (32068)");
        QTest::newRow("u-blox") << "u-blox" << true << "u-blox" << QByteArray("7.03 (45970)");
        QTest::newRow("Motorola stays Motorola") << "M12+" << false << "M12+" << QByteArray();
    }
    void modelNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, ublox);
        QFETCH(QString, modelName);
        QFETCH(QByteArray, firmware);
        bool ok = false;
        const SimulatedReceiverConfig c = SimulatedReceiverConfig::forModel(name, &ok);
        QVERIFY(ok);
        QCOMPARE(c.ublox, ublox);
        QCOMPARE(c.modelName, modelName);
        QVERIFY(SimulatedReceiverConfig::modelNames().contains(modelName));
        SimulatedReceiver rx(c);
        QCOMPARE(rx.ublox() != nullptr, ublox);
        if (ublox) {
            QCOMPARE(c.channels, 16);
            QCOMPARE(rx.dataRate(), 9600);
            // MON-VER carries the software version in its first 30 bytes.
            QCOMPARE(rx.ublox()->monVerFrame().mid(6, 30), firmware.leftJustified(30, '\0'));
        }
    }

    void factoryOutput()
    {
        SimulatedReceiver rx(lea6t());
        QVERIFY(rx.streamHeader().startsWith("$GPTXT,01,01,02,u-blox ag - www.u-blox.com*"));
        const QByteArray first = rx.secondOutput(T0);
        const SimulatedEpoch e = rx.epochAt(T0);
        const int gsv = (int(e.satellites.size()) + 3) / 4;
        QStringList expected { "GPGGA", "GPGLL", "GPGSA" };
        for (int i = 0; i < gsv; ++i)
            expected << "GPGSV";
        expected << "GPRMC" << "GPVTG";
        // The antenna text goes out once, with the first second.
        QCOMPARE(heads(first), expected + QStringList { "GPTXT" });
        QVERIFY(first.contains("$GPTXT,01,01,02,ANTSTATUS=OK*"));
        const QByteArray second = rx.secondOutput(T0 + 1);
        QCOMPARE(heads(second), expected);
        QVERIFY(!second.contains("ZDA"));
        QVERIFY(!second.contains('\xB5'));
        // The sentences are the simulation's own NMEA for the same epoch.
        QVERIFY(first.startsWith(rx.nmeaSentence(e, "GGA")));
    }

    void answers_data()
    {
        QTest::addColumn<QByteArray>("command");   // without checksum
        QTest::addColumn<QByteArray>("answer");    // whole frames, hex
        // ACK-ACK / ACK-NAK: B5 62 05 01|00 02 00 class id CK_A CK_B.
        QTest::newRow("CFG-MSG NAV-TIMEUTC on") << Ubx::cfgMsg(0x01, 0x21, 1) << QByteArray("b5620501020006010f38");
        QTest::newRow("CFG-MSG ZDA on") << Ubx::cfgMsg(0xF0, 0x08, 1) << QByteArray("b5620501020006010f38");
        QTest::newRow("CFG-ANT") << Ubx::cfgAnt() << QByteArray("b562050102000613214a");
        QTest::newRow("CFG-CFG save") << Ubx::cfgCfgSave() << QByteArray("b5620501020006091740");
        QTest::newRow("CFG-NAV5") << Ubx::cfgNav5(2, 10) << QByteArray("b562050102000624325b");
        QTest::newRow("CFG-TMODE2 survey") << Ubx::cfgTmode2SurveyIn() << QByteArray("b56205010200063d4b74");
        QTest::newRow("CFG-MSG of wrong length") << Ubx::frame(Ubx::Cfg, 0x01, QByteArray(5, '\1'))
                                                  << QByteArray("b5620500020006010e33");
        QTest::newRow("unknown CFG ID") << Ubx::frame(Ubx::Cfg, 0x77, QByteArray(4, '\0'))
                                        << QByteArray("b56205000200067784a9");
        QTest::newRow("MON-VER poll") << Ubx::monVerPoll() << QByteArray();
        QTest::newRow("NAV-PVT poll: not a LEA-6T message") << Ubx::frame(Ubx::Nav, 0x07) << QByteArray("");
    }
    void answers()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, answer);
        SimulatedReceiver rx(lea6t());
        const QByteArray got = rx.receive(sent(command), NowMs);
        if (command == Ubx::monVerPoll()) {
            QCOMPARE(got, rx.ublox()->monVerFrame());
            ReceiverState state;
            DecoderContext ctx;
            ctx.state = &state;
            UbxDecoder decoder(ctx);
            QVERIFY(decoder.decodeUbxFrame(got).startsWith("UBX-MON-VER"));
            QCOMPARE(state.firmwareVersionText, QStringLiteral("7.03 (45970)"));
            QVERIFY(state.answered(AnswerFamily::Ublox));
        } else {
            QCOMPARE(got.toHex(), answer);
        }
        QCOMPARE(rx.ublox()->receivedFrames().size(), 1);
    }

    void pollsEchoTheSetting()
    {
        SimulatedReceiver rx(lea6t());
        // CFG-PRT: the port as it stands (UART 1, 8N1, 9600, UBX+NMEA+RTCM in, UBX+NMEA out), then ACK-ACK.
        QByteArray got = rx.receive(sent(Ubx::frame(Ubx::Cfg, 0x00)), NowMs);
        QCOMPARE(got.toHex(), QByteArray("b5620600140001000000c008000080250000070003000000000092b5"
                                         "b5620501020006000e37"));
        ReceiverState state;
        DecoderContext ctx;
        ctx.state = &state;
        UbxDecoder decoder(ctx);
        QVERIFY(decoder.decodeUbxFrame(got.left(28)).contains("portID = UART #1, res0 = 0, res1 = 0, mode = 000008C0, baudRate = 9600"));

        // CFG-MSG poll: the rate of the message on UART 1 (GGA on from the factory, ZDA off).
        got = rx.receive(sent(Ubx::frame(Ubx::Cfg, 0x01, QByteArray::fromHex("f000"))), NowMs);
        QCOMPARE(got.toHex(), QByteArray("b56206010800f0000001000000000028b5620501020006010f38"));
        got = rx.receive(sent(Ubx::frame(Ubx::Cfg, 0x01, QByteArray::fromHex("f008"))), NowMs);
        QCOMPARE(got.mid(6, 8).toHex(), QByteArray("f008000000000000"));

        // A time-pulse setting comes back as it was set.
        QByteArray tp5(32, '\0');
        tp5[0] = 0;
        tp5[4] = char(0x32);
        tp5[28] = char(0x77);
        QCOMPARE(rx.receive(sent(Ubx::frame(Ubx::Cfg, 0x31, tp5)), NowMs).left(6).toHex(), QByteArray("b56205010200"));
        got = rx.receive(sent(Ubx::frame(Ubx::Cfg, 0x31)), NowMs);
        QCOMPARE(got.left(40), Ubx::withChecksum(Ubx::frame(Ubx::Cfg, 0x31, tp5)));
        QCOMPARE(got.mid(40).toHex(), QByteArray("b5620501020006313f68"));
    }

    void pollsOfMessages()
    {
        // A poll is answered once with the message for the coming pulse; output stays off.
        SimulatedReceiver rx(lea6t());
        ReceiverState state;
        DecoderContext ctx;
        ctx.state = &state;
        UbxDecoder decoder(ctx);
        const QByteArray utc = rx.receive(sent(Ubx::frame(Ubx::Nav, 0x21)), NowMs);
        QCOMPARE(utc, SimulatedUblox::navTimeUtc(rx.epochAt(T0), 18));
        QVERIFY(!decoder.decodeUbxFrame(utc).isEmpty());
        QCOMPARE(state.receiverUtcDateTime.dateTime(), QDateTime::fromSecsSinceEpoch(T0, Qt::UTC));
        QCOMPARE(rx.ublox()->rate(Ubx::Nav, 0x21), 0);

        // AID-HUI: UTC parameters valid, no leap second announced.
        const QByteArray hui = rx.receive(sent(Ubx::aidHuiPoll()), NowMs);
        QCOMPARE(hui.size(), 72 + 8);
        state.leapSecondPending = 1;
        const QString text = decoder.decodeUbxFrame(hui);
        QVERIFY2(text.contains("utcLS = 18,") && text.contains("utcLSF = 18 ") && text.contains("LS Pending = 0,"),
                 qPrintable(text));
        QCOMPARE(state.leapSecondPending, 0);
        QVERIFY(state.answered(AnswerFamily::Ublox));
    }

    void rateSwitch_data()
    {
        QTest::addColumn<int>("mismatch");
        QTest::newRow("silent") << int(RateMismatch::Silent);
        QTest::newRow("garbage") << int(RateMismatch::Garbage);
    }
    void rateSwitch()
    {
        QFETCH(int, mismatch);
        SimulatedReceiverConfig c = lea6t();
        c.rateMismatch = RateMismatch(mismatch);
        SimulatedReceiver rx(c);
        rx.setLinkRate(9600);
        // The acknowledgement still goes out at 9600; then the port is at 115000.
        QCOMPARE(rx.receive(sent(Ubx::cfgPrt(115000)), NowMs).toHex(), QByteArray("b5620501020006000e37"));
        QCOMPARE(rx.dataRate(), 115000);

        // At the old rate: nothing the link could frame, and commands go unheard.
        const QByteArray noise = rx.secondOutput(T0);
        QCOMPARE(noise.isEmpty(), mismatch == int(RateMismatch::Silent));
        QVERIFY(heads(noise).isEmpty());
        QVERIFY(rx.receive(sent(Ubx::monVerPoll()), NowMs).isEmpty());
        QCOMPARE(rx.ublox()->receivedFrames().size(), 1);

        // At the new rate it talks again, and reports the new rate when asked.
        rx.setLinkRate(115000);
        QVERIFY(heads(rx.secondOutput(T0 + 1)).contains("GPGGA"));
        QCOMPARE(rx.receive(sent(Ubx::monVerPoll()), NowMs), rx.ublox()->monVerFrame());
        const QByteArray prt = rx.receive(sent(Ubx::frame(Ubx::Cfg, 0x00)), NowMs);
        QCOMPARE(prt.mid(6 + 8, 4).toHex(), QByteArray("38c10100"));

        // A rate nobody uses is refused and changes nothing.
        QCOMPARE(rx.receive(sent(Ubx::cfgPrt(0)), NowMs).toHex(), QByteArray("b5620500020006000d32"));
        QCOMPARE(rx.dataRate(), 115000);
    }

    void timingOutputsAfterSetUp()
    {
        // The program's UBX set-up, message by message, as the link sends it in one stream.
        SimulatedReceiver rx(lea6t());
        QByteArray stream;
        for (const Ubx::MessageId &m : Ubx::messagesSwitchedOff())
            stream += sent(Ubx::cfgMsg(m.cls, m.id, 0));
        for (const Ubx::MessageId &m : Ubx::ubxModeMessages())
            stream += sent(Ubx::cfgMsg(m.cls, m.id, 1));
        const QByteArray acks = rx.receive(stream, NowMs);
        const int commands = int(Ubx::messagesSwitchedOff().size() + Ubx::ubxModeMessages().size());
        QCOMPARE(acks, UbxEncoder::ackAck(Ubx::Cfg, 0x01).repeated(commands));

        rx.secondOutput(T0);
        QCOMPARE(heads(rx.secondOutput(T0 + 1)),
                 QStringList({ "01 21", "01 20", "01 02", "01 03", "01 04", "01 30", "0D 01", "0D 04", "0A 09" }));
        // configureForTiming() leaves the unit the same way.
        SimulatedReceiver other(lea6t());
        other.ublox()->configureForTiming();
        other.secondOutput(T0);
        QCOMPARE(other.secondOutput(T0 + 1), rx.secondOutput(T0 + 1));
    }

    void decodesToTheSimulatedTruth()
    {
        SimulatedReceiver rx(lea6t());
        rx.ublox()->configureForTiming();
        ReceiverState state;
        RecordingAveraging averaging;
        RecordingCommands commands;
        DecoderContext ctx;
        ctx.state = &state;
        ctx.averaging = &averaging;
        ctx.commands = &commands;
        UbxDecoder decoder(ctx);
        StreamFramer framer(ReceiverMode::UbloxUbx);

        QSet<int> sawtooths;
        for (qint64 t = T0; t < T0 + 120; ++t) {
            const SimulatedEpoch truth = rx.epochAt(t);
            QList<QByteArray> frames;
            framer.feed(rx.secondOutput(t), [&frames](const QByteArray &f) { frames << f; });
            QCOMPARE(frames.size(), 9);
            averaging.positions.clear();
            averaging.dops.clear();
            state.ppsQuantizationErrorValid = false;
            for (const QByteArray &f : std::as_const(frames))
                QVERIFY2(!decoder.decodeUbxFrame(f).isEmpty(), f.toHex().constData());

            QCOMPARE(state.receiverUtcDateTime.dateTime(), truth.utc);
            QCOMPARE(state.leapSeconds, 18);
            QVERIFY(state.ppsQuantizationErrorValid);
            QCOMPARE(state.ppsQuantizationError, double(truth.sawtoothNs));
            sawtooths.insert(truth.sawtoothNs);
            QCOMPARE(state.visibleCount.value, truth.visibleCount);
            QCOMPARE(state.trackedCount.value, truth.trackedCount);
            for (const SimulatedSatellite &s : truth.satellites) {
                const SatelliteRecord &r = state.satellites[size_t(s.svId)];
                QCOMPARE(r.svId, s.svId);
                QCOMPARE(r.elevation, s.elevation);
                QCOMPARE(r.azimuth, s.azimuth);
                QCOMPARE(r.cNo, s.cNo);
                QCOMPARE(int(r.inTrack), s.channel >= 0 ? 1 : 0);
                QCOMPARE(int(r.svFlags & 0x01), s.channel >= 0 ? 1 : 0);
            }
            QCOMPARE(averaging.positions.size(), 1);
            QVERIFY(std::abs(averaging.positions[0].lat - truth.latitude) <= 0.5e-7 + 1e-12);
            QVERIFY(std::abs(averaging.positions[0].lon - truth.longitude) <= 0.5e-7 + 1e-12);
            QVERIFY(std::abs(averaging.positions[0].altGps - truth.height) <= 0.0005 + 1e-9);
            QVERIFY(std::abs(averaging.positions[0].altMsl - truth.mslHeight) <= 0.0005 + 1e-9);
            QCOMPARE(averaging.dops.size(), 1);
            QCOMPARE(averaging.dops[0].pdop, truth.dopTenths / 10.0);
            QCOMPARE(averaging.fixTypes.last(), truth.trackedCount >= 4 ? 3 : truth.trackedCount == 3 ? 2 : 0);
            QCOMPARE(state.antennaState, 0);
        }
        // Two minutes cover the sawtooth's sweep through both signs.
        QVERIFY(*std::min_element(sawtooths.begin(), sawtooths.end()) < 0);
        QVERIFY(*std::max_element(sawtooths.begin(), sawtooths.end()) > 0);
        QVERIFY(commands.sent.isEmpty());
    }

    void timeOnlyFixTurnsSurveyOff()
    {
        // A unit told its fixed position reports a time-only fix; the decoder answers each such
        // NAV-STATUS with TIM-SVIN off, which the unit acknowledges and obeys.
        SimulatedReceiver rx(lea6t());
        rx.ublox()->configureForTiming();
        const Ubx::EcefCm p = Ubx::ecefCentimetres(47.366389, 8.548611, 510.0);
        QCOMPARE(rx.receive(sent(Ubx::cfgTmode2Fixed(p.x, p.y, p.z)), NowMs), UbxEncoder::ackAck(Ubx::Cfg, 0x3D));
        QVERIFY(rx.ublox()->timeOnlyFix());
        QVERIFY(rx.positionHold());

        ReceiverState state;
        RecordingCommands commands;
        DecoderContext ctx;
        ctx.state = &state;
        ctx.commands = &commands;
        UbxDecoder decoder(ctx);
        StreamFramer framer(ReceiverMode::UbloxUbx);
        framer.feed(rx.secondOutput(T0), [&](const QByteArray &f) { decoder.decodeUbxFrame(f); });
        QVERIFY(decoder.timeOnlyFix());
        QCOMPARE(state.navigationState, 1);
        QCOMPARE(commands.sent, QList<QByteArray>({ Ubx::timSvinOff() }));
        QCOMPARE(rx.receive(sent(commands.sent.first()), NowMs), UbxEncoder::ackAck(Ubx::Cfg, 0x01));
        QVERIFY(!heads(rx.secondOutput(T0 + 1)).contains("0D 04"));
        // Holding its position, the unit reports the same place every second.
        QCOMPARE(rx.epochAt(T0).latitude, rx.epochAt(T0 + 500).latitude);
    }

    void garbledInputIsBounded()
    {
        SimulatedReceiver rx(lea6t());
        // A frame with a wrong checksum, a length beyond any frame, noise and NMEA: nothing answers,
        // and a good poll after all that still does.
        QByteArray bad = Ubx::withChecksum(Ubx::monVerPoll());
        bad[bad.size() - 1] = char(bad.back() ^ 0x01);
        QByteArray noise = bad + QByteArray::fromHex("b56206010005") + "$PUBX,00*33\r\n";
        for (int i = 0; i < 3000; ++i)
            noise += char(i * 37 % 251);
        QVERIFY(rx.receive(noise, NowMs).isEmpty());
        QVERIFY(rx.ublox()->receivedFrames().isEmpty());
        QCOMPARE(rx.receive(sent(Ubx::monVerPoll()), NowMs), rx.ublox()->monVerFrame());
        // A frame split over many writes is taken when complete.
        const QByteArray poll = Ubx::withChecksum(Ubx::monVerPoll());
        for (int i = 0; i < poll.size() - 1; ++i)
            QVERIFY(rx.receive(poll.mid(i, 1), NowMs).isEmpty());
        QCOMPARE(rx.receive(poll.right(1), NowMs), rx.ublox()->monVerFrame());
    }
};

} // namespace simulatedublox_tests

CHRONODE_TEST_MAIN(simulator_tests::TestSimulator, simulatordecode_tests::TestSimulatorDecode, simulatortransport_tests::TestSimulatorTransport, simulatedublox_tests::TestSimulatedUblox)
#include "tst_simulator.moc"
