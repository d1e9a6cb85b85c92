#include "support/TestSupport.h"
#include "app/Station.h"
#include "core/MotorolaModels.h"
#include "core/ReceiverState.h"
#include "receiver/framing/StreamFramer.h"
#include "receiver/motorola/MotorolaDecoder.h"
#include "sim/SimulatedReceiver.h"
#include "sim/SimulatedCounter.h"
#include "tic/CoaxCalculator.h"
#include "tic/CounterProcessing.h"

#include <QtTest>
#include <cmath>

// The arithmetic of the counter readings: units, corrections, the sawtooth vote and pairing,
// averages; and the cable delay calculator.
class TestCounterProcessing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void normalise_data();
    void normalise();
    void wrap_data();
    void wrap();
    void epochOffsets_data();
    void epochOffsets();
    void timingRepair_data();
    void timingRepair();
    void correctedValue_data();
    void correctedValue();
    void tenVotesBeforeASign();
    void pairingByPulse();
    void averagesFromWrittenLines();
    void simulatedHour_data();
    void simulatedHour();
    void stationPairsTheDecodedSawtooth();
    void coax_data();
    void coax();

private:
    std::unique_ptr<TestSupport::TemporarySettings> m_settings;
};

namespace {

constexpr qint64 kDay = 1767225600;   // 2026-01-01 00:00:00 UTC

// The corrected value (µs) of a processed line: the fifth field from the end.
double correctedOf(const QString &processedText)
{
    const QStringList f = processedText.split(QLatin1Char(' '));
    return f.at(f.size() - 4).toDouble();
}

struct Recorder
{
    QStringList processed;
    QList<QPair<int, QString>> averages;
    QList<QByteArray> remote;
    QList<double> port1;
    explicit Recorder(CounterProcessing &p)
    {
        QObject::connect(&p, &CounterProcessing::processedText, [this](const QString &t) { processed << t; });
        QObject::connect(&p, &CounterProcessing::averageRecord,
                         [this](int port, const QString &t) { averages << qMakePair(port, t); });
        QObject::connect(&p, &CounterProcessing::remoteLine, [this](const QByteArray &t) { remote << t; });
        QObject::connect(&p, &CounterProcessing::port1Value, [this](double v) { port1 << v; });
    }
};

TimingDelays plainDelays(int sawtoothMode = TimingDelays::Off)
{
    TimingDelays d;
    d.rxDelayNs = 0;
    d.ticAutoCorrect = false;
    d.sawtoothMode = sawtoothMode;
    return d;
}

double stddev(const QList<double> &v)
{
    double mean = 0, m2 = 0;
    for (int i = 0; i < v.size(); ++i) {
        const double d = v[i] - mean;
        mean += d / (i + 1);
        m2 += d * (v[i] - mean);
    }
    return std::sqrt(m2 / v.size());
}

} // namespace

void TestCounterProcessing::initTestCase()
{
    m_settings = std::make_unique<TestSupport::TemporarySettings>();
}

void TestCounterProcessing::normalise_data()
{
    QTest::addColumn<QByteArray>("reading");
    QTest::addColumn<int>("bare");
    QTest::addColumn<bool>("isReading");
    QTest::addColumn<double>("us");
    QTest::addColumn<QString>("text");
    const int s = int(CounterProcessing::BareUnit::Seconds);
    QTest::newRow("u suffix") << QByteArray("123.456 us") << s << true << 123.456 << "123.456000";
    QTest::newRow("micro sign") << QByteArray("12.5 \xc2\xb5s") << s << true << 12.5 << "12.500000";
    QTest::newRow("ms") << QByteArray("1.5 ms") << s << true << 1500.0 << "1500.000000";
    QTest::newRow("ns") << QByteArray("250 ns") << s << true << 0.25 << "00.250000";
    QTest::newRow("ps") << QByteArray("125ps") << s << true << 0.000125 << "00.000125";
    QTest::newRow("exponent") << QByteArray("1.25e-7") << s << true << 0.125 << "0.125000";
    QTest::newRow("SCPI NR3") << QByteArray("+1.234567890123E-07") << s << true << 0.1234567890123 << "0.123457";
    QTest::newRow("TICC TI") << QByteArray("0.000000012 TI(A->B)") << s << true << 0.012 << "00.012000";
    QTest::newRow("TICC chB") << QByteArray("-0.000000012345 chB") << s << true << -0.012345 << "-0.012345";
    QTest::newRow("bare seconds") << QByteArray("0.000000123") << s << true << 0.123 << "00.123000";
    QTest::newRow("bare ns port") << QByteArray("250") << int(CounterProcessing::BareUnit::Nanoseconds) << true
                                  << 0.25 << "00.250000";
    QTest::newRow("comma decimal") << QByteArray("0,000123") << s << true << 123.0 << "123.000000";
    QTest::newRow("grouping commas") << QByteArray("1,234,567.5 ns") << s << true << 1234.5675 << "1234.567500";
    QTest::newRow("grouping stops") << QByteArray("1.234.567,5 ns") << s << true << 1234.5675 << "1234.567500";
    QTest::newRow("one of each") << QByteArray("1.234,5 ns") << s << true << 1.2345 << "01.234500";
    QTest::newRow("SCPI not a number") << QByteArray("9.91E+37") << s << false << 0.0 << "9.91E+37";
    QTest::newRow("1e9 us") << QByteArray("1000 s") << s << false << 0.0 << "1000 s";
    QTest::newRow("just below 1e9 us") << QByteArray("999.999 s") << s << true << 999999000.0 << "999999000.000000";
    QTest::newRow("nan") << QByteArray("nan") << s << false << 0.0 << "nan";
    QTest::newRow("colon") << QByteArray("12:00:01 0.5") << s << false << 0.0 << "12:00:01 0.5";
    QTest::newRow("summary") << QByteArray("; MIN 0.1 MAX 0.2") << s << false << 0.0 << "; MIN 0.1 MAX 0.2";
    QTest::newRow("header") << QByteArray("# TICC") << s << false << 0.0 << "# TICC";
    QTest::newRow("unknown unit") << QByteArray("5 furlongs") << s << false << 0.0 << "5 furlongs";
    QTest::newRow("empty") << QByteArray("") << s << false << 0.0 << "";
}

void TestCounterProcessing::normalise()
{
    QFETCH(QByteArray, reading);
    QFETCH(int, bare);
    QFETCH(bool, isReading);
    QFETCH(double, us);
    QFETCH(QString, text);
    const auto n = CounterProcessing::normalise(reading, CounterProcessing::BareUnit(bare));
    QCOMPARE(n.reading, isReading);
    QCOMPARE(n.text, text);
    if (isReading)
        QVERIFY2(std::fabs(n.us - us) <= 1e-9 * std::max(1.0, std::fabs(us)), qPrintable(QString::number(n.us, 'g', 15)));
}

void TestCounterProcessing::wrap_data()
{
    QTest::addColumn<double>("in");
    QTest::addColumn<double>("out");
    QTest::newRow("600000") << 600000.0 << -400000.0;
    QTest::newRow("-600000") << -600000.0 << 400000.0;
    QTest::newRow("500000 stays") << 500000.0 << 500000.0;
    QTest::newRow("-500000 stays") << -500000.0 << -500000.0;
    QTest::newRow("1000000") << 1000000.0 << 0.0;
    QTest::newRow("many seconds") << 123456789.25 << 456789.25;
    QTest::newRow("many seconds, late") << 123656789.25 << 656789.25 - 1000000.0;
    QTest::newRow("huge, at once") << 9.9e15 << 0.0;
}

void TestCounterProcessing::wrap()
{
    QFETCH(double, in);
    QFETCH(double, out);
    QCOMPARE(CounterProcessing::wrap(in), out);
}

void TestCounterProcessing::epochOffsets_data()
{
    QTest::addColumn<int>("epochMs");
    QTest::addColumn<double>("fineUs");
    QTest::addColumn<double>("extraUs");
    QTest::addColumn<double>("early");
    QTest::addColumn<double>("late");
    QTest::addColumn<double>("used");
    QTest::newRow("none") << 0 << 0.0 << 0.0 << 0.0 << 1000000.0 << 0.0;
    QTest::newRow("999 ms 500 us") << 999 << 500.0 << 0.0 << -500.0 << 999500.0 << -500.0;
    QTest::newRow("extra early") << 0 << 0.0 << 0.5 << -0.5 << 999999.5 << -0.5;
    QTest::newRow("tie takes late") << 500 << 0.0 << 0.0 << -500000.0 << 500000.0 << 500000.0;
    QTest::newRow("rounded") << 0 << 1.0004 << 0.0 << -999999.0 << 1.0 << 1.0;
}

void TestCounterProcessing::epochOffsets()
{
    QFETCH(int, epochMs);
    QFETCH(double, fineUs);
    QFETCH(double, extraUs);
    QFETCH(double, early);
    QFETCH(double, late);
    QFETCH(double, used);
    TimingDelays d;
    d.epochOffsetMs = epochMs;
    d.ppsFineOffsetUs = fineUs;
    d.extraDelayUs = extraUs;
    const auto e = d.epochOffsets();
    QCOMPARE(e.earlyUs, early);
    QCOMPARE(e.lateUs, late);
    QCOMPARE(e.usedUs, used);
}

void TestCounterProcessing::timingRepair_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("after");
    QTest::newRow("missing sawtooth") << TimingDelays::keySawtooth() << QVariant() << "0";
    QTest::newRow("sawtooth 7 is off") << TimingDelays::keySawtooth() << QVariant("7") << "3";
    QTest::newRow("missing rx") << TimingDelays::keyRxDelay() << QVariant() << "55.0";
    QTest::newRow("rx 2000") << TimingDelays::keyRxDelay() << QVariant("2000") << "55.0";
    QTest::newRow("epoch 1000") << TimingDelays::keyEpoch() << QVariant("1000") << "0";
    QTest::newRow("fine text") << TimingDelays::keyPpsDelay() << QVariant("abc") << "0.000";
    QTest::newRow("traim 100") << TimingDelays::keyTraim() << QVariant("100") << "500.0";
    QTest::newRow("autocorrect kept") << TimingDelays::keyAutoCorrect() << QVariant("false") << "false";
    QTest::newRow("cable kept") << TimingDelays::keyAntennaCable() << QVariant("121.0") << "121.0";
}

void TestCounterProcessing::timingRepair()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(QString, after);
    TestSupport::TemporarySettings temp;
    QSettings s;
    if (stored.isValid())
        s.setValue(key, stored);
    const TimingDelays d = TimingDelays::load(s);
    QCOMPARE(s.value(key).toString(), after);
    QCOMPARE(TimingDelays::load(s), d);
}

void TestCounterProcessing::correctedValue_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("epochMs");
    QTest::addColumn<double>("fineUs");
    QTest::addColumn<QByteArray>("reading");
    QTest::addColumn<double>("corrected");
    // Delays: antenna 100 ns, measurement 20 ns, receiver 55 ns.
    QTest::newRow("999 ms 500 us, Motorola") << 2 << 999 << 500.0 << QByteArray("999500.075 us") << 0.0;
    QTest::newRow("Motorola takes 75 ns") << 2 << 0 << 0.0 << QByteArray("1.0 us") << 0.925;
    QTest::newRow("u-blox takes 175 ns") << 9 << 0 << 0.0 << QByteArray("1.0 us") << 0.825;
    QTest::newRow("600000 wraps") << 9 << 0 << 0.0 << QByteArray("600000.175 us") << -400000.0;
}

void TestCounterProcessing::correctedValue()
{
    QFETCH(int, mode);
    QFETCH(int, epochMs);
    QFETCH(double, fineUs);
    QFETCH(QByteArray, reading);
    QFETCH(double, corrected);
    CounterProcessing p;
    Recorder r(p);
    TimingDelays d = plainDelays();
    d.ticAutoCorrect = true;
    d.epochOffsetMs = epochMs;
    d.ppsFineOffsetUs = fineUs;
    d.antennaCableDelayNs = 100;
    d.measurementCableDelayNs = 20;
    d.rxDelayNs = 55;
    p.setDelays(d);
    p.setReceiverMode(mode);
    p.processTicLine("1 " + reading, kDay + 5);
    QCOMPARE(r.port1.size(), 1);
    QVERIFY2(std::fabs(r.port1[0] - corrected) < 1e-6, qPrintable(QString::number(r.port1[0], 'f', 9)));
    QCOMPARE(correctedOf(r.processed.last()), QString::asprintf("%08.6f", corrected).toDouble());
}

void TestCounterProcessing::tenVotesBeforeASign()
{
    CounterProcessing p;
    Recorder r(p);
    p.setDelays(plainDelays(TimingDelays::Automatic));
    p.setAveragingPeriod(0);
    // The reading holds minus the sawtooth: adding it back is right.
    for (int i = 0; i < 20; ++i) {
        const qint64 second = kDay + i;
        const double saw = ((i * 7) % 21) - 10.0;   // ns
        p.receiverSawtooth(second, saw);
        p.processTicLine(QByteArray("1 ") + QByteArray::number(0.1 - saw / 1000.0, 'f', 9) + " us", second);
        // Votes start at the third reading; the tenth agreeing one (reading 12) decides.
        QCOMPARE(p.sawtoothDecided(1), i >= 11);
        QCOMPARE(std::fabs(r.port1.last() - 0.1) < 1e-9, i >= 11 || saw == 0.0);
    }
    QVERIFY(p.sawtoothAdds(1));
}

void TestCounterProcessing::pairingByPulse()
{
    CounterProcessing p;
    Recorder r(p);
    p.setDelays(plainDelays(TimingDelays::Add));
    p.setAveragingPeriod(0);
    // The value comes first for one second, after the readings for the next; eight ports
    // share each value.
    p.receiverSawtooth(kDay, 4.0);
    for (int port = 1; port <= 8; ++port)
        p.processTicLine(QByteArray::number(port) + " 1.000 us", kDay);
    for (int port = 1; port <= 8; ++port)
        p.processTicLine(QByteArray::number(port) + " 2.000 us", kDay + 1);
    QCOMPARE(p.pendingReadings(8), 1);
    p.receiverSawtooth(kDay + 1, -6.0);
    QCOMPARE(r.processed.size(), 16);
    for (int i = 0; i < 16; ++i) {
        const QStringList f = r.processed[i].split(QLatin1Char(' '));
        QCOMPARE(f[0].toInt(), i % 8 + 1);
        QCOMPARE(f[3], i < 8 ? QStringLiteral("4.000") : QStringLiteral("-6.000"));
        QCOMPARE(correctedOf(r.processed[i]), i < 8 ? 1.004 : 1.994);
    }
    // A pulse without a value: the reading goes uncorrected and the gap is counted and shown.
    p.processTicLine("3 3.000 us", kDay + 2);
    p.receiverSawtooth(kDay + 3, 1.0);
    QCOMPARE(p.missingSawtooth(3), 1);
    QVERIFY(r.processed.contains(QStringLiteral("3 ; no receiver sawtooth for this pulse (1 so far)")));
    QCOMPARE(correctedOf(r.processed.last()), 3.0);
}

void TestCounterProcessing::averagesFromWrittenLines()
{
    CounterProcessing p;
    Recorder r(p);
    p.setDelays(plainDelays());
    p.setAveragingPeriod(60);
    p.setRemoteAverageLines(2);
    QList<QList<double>> written(9);
    QList<QList<double>> expected(9);
    for (int i = 1; i <= 200; ++i) {
        for (int port = 1; port <= 8; ++port) {
            // Near the top of the range, 1 ns of scatter: the sum-of-squares form loses it.
            const double us = 499999.0 + 0.001 * std::sin(i * 1.3 + port) + 0.0001 * port;
            p.processTicLine(QByteArray::number(port) + ' ' + QByteArray::number(us, 'f', 6) + " us", kDay + i);
            if (i == 13)
                p.processTicLine(QByteArray::number(port) + " 12:00:00 summary", kDay + i);
        }
    }
    for (const QString &t : std::as_const(r.processed)) {
        const QStringList f = t.split(QLatin1Char(' '));
        if (f.size() == 10)
            written[f[0].toInt()] << correctedOf(t);
    }
    // Averages end at each minute of the day: readings 1..60, 61..120, 121..180.
    QCOMPARE(r.averages.size(), 24);
    for (const auto &[port, line] : std::as_const(r.averages)) {
        const QStringList f = line.split(QLatin1Char(' '));
        const int n = f[1].toInt();
        const QList<double> window = written[port].mid(0, n);
        written[port].remove(0, n);
        double mean = 0;
        for (double v : window)
            mean += v / n;
        QCOMPARE(n, 60);
        QVERIFY2(std::fabs(f[2].toDouble() - stddev(window)) < 2e-6,
                 qPrintable(line + QStringLiteral(" / %1").arg(stddev(window), 0, 'f', 9)));
        QVERIFY(f[2].toDouble() > 0.0005);
        QVERIFY(std::fabs(f[3].toDouble() - mean) < 2e-6);
        QCOMPARE(f[4].toDouble(), *std::max_element(window.begin(), window.end()));
        QCOMPARE(f[5].toDouble(), *std::min_element(window.begin(), window.end()));
    }
    QCOMPARE(r.remote.size(), 2);
    QVERIFY(r.remote[0].startsWith("$PKTWL,TICDATA,AVERAGE,1,26001.000694 60 "));
}

void TestCounterProcessing::simulatedHour_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("valueFirst");
    QTest::newRow("automatic, value first") << int(TimingDelays::Automatic) << true;
    QTest::newRow("automatic, reading first") << int(TimingDelays::Automatic) << false;
    QTest::newRow("wrong sign") << int(TimingDelays::Subtract) << true;
}

void TestCounterProcessing::simulatedHour()
{
    QFETCH(int, mode);
    QFETCH(bool, valueFirst);
    SimulatedCounterConfig c = SimulatedCounterConfig::forPort(2);
    c.driftNsPerHour = 0;
    c.receiverModel = QStringLiteral("M12+");
    const SimulatedCounter counter(c);
    CounterProcessing p;
    Recorder r(p);
    p.setDelays(plainDelays(mode));
    p.setAveragingPeriod(0);
    QList<double> raw, corrected;
    int decidedAt = -1;
    QObject::connect(&p, &CounterProcessing::processedText, [&](const QString &t) {
        if (t.startsWith(QLatin1String("2 ")) && !t.contains(QLatin1Char(';')))
            corrected << correctedOf(t);
    });
    for (int i = 0; i < 3600; ++i) {
        const qint64 second = kDay + 43200 + i;
        QByteArray line = counter.line(second);
        line.chop(2);
        raw << CounterProcessing::normalise(line).us;
        if (valueFirst)
            p.receiverSawtooth(second, counter.sawtoothNs(second));
        p.processTicLine("2 " + line, second);
        if (!valueFirst)
            p.receiverSawtooth(second, counter.sawtoothNs(second));
        if (decidedAt < 0 && p.sawtoothDecided(2))
            decidedAt = i;
    }
    QCOMPARE(corrected.size(), 3600);
    QCOMPARE(p.missingSawtooth(2), 0);
    const double rawNs = stddev(raw) * 1000;
    const double correctedNs = stddev(corrected.mid(20)) * 1000;
    QVERIFY2(rawNs > 4.5 && rawNs < 7.5, qPrintable(QString::number(rawNs)));
    if (mode == TimingDelays::Automatic) {
        QVERIFY(decidedAt >= 0 && decidedAt < 15);
        QVERIFY(p.sawtoothAdds(2));
        QVERIFY2(correctedNs <= 0.5, qPrintable(QString::number(correctedNs)));
    } else {
        QVERIFY2(correctedNs > 1.5 * rawNs, qPrintable(QString::number(correctedNs)));
    }
}

// The whole road: the simulated receiver's messages through the framer and the Motorola
// decoder into the station, the counter's readings through the station's entry point. Each
// reading carries the sawtooth of its own pulse, announced in the second before it.
void TestCounterProcessing::stationPairsTheDecodedSawtooth()
{
    Station station;
    station.state().receiverMode = 2;
    station.state().receiverModel = ReceiverModelCode::M12Plus;
    QSettings settings;
    settings.setValue(TimingDelays::keyAutoCorrect(), "false");
    station.readCounterSettings(settings);
    SimulatedReceiver rx(SimulatedReceiverConfig::forModel(QStringLiteral("M12+")));
    SimulatedCounterConfig c = SimulatedCounterConfig::forPort(2);
    c.receiverModel = QStringLiteral("M12+");
    const SimulatedCounter counter(c);
    QStringList processed;
    connect(&station.counterProcessing(), &CounterProcessing::processedText, this,
            [&processed](const QString &t) { processed << t; });
    StreamFramer framer(2);
    qint64 nowMs = 0;
    station.setClock([&nowMs] { return nowMs; });
    for (qint64 s = kDay; s < kDay + 30; ++s) {
        nowMs = (s - 1) * 1000 + 100;   // the receiver describes the coming pulse
        framer.feed(rx.secondOutput(s), [&station](const QByteArray &f) { station.OnNewGpsText(f); });
        nowMs = s * 1000 + 60;          // the counter's reading follows the pulse
        QByteArray line = counter.line(s);
        line.chop(2);
        station.OnNewTicText("2 " + line);
    }
    QCOMPARE(processed.size(), 30);
    QCOMPARE(station.counterProcessing().missingSawtooth(2), 0);
    for (int i = 0; i < 30; ++i)
        QCOMPARE(processed[i].split(QLatin1Char(' '))[3], QString::asprintf("%05.3f", double(counter.sawtoothNs(kDay + i))));
    QVERIFY(station.counterProcessing().sawtoothDecided(2));
}

void TestCounterProcessing::coax_data()
{
    QTest::addColumn<QString>("cable");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<double>("vf");
    QTest::addColumn<double>("delay");
    QTest::newRow("100 ft LMR-240") << "LMR-240" << 100 << "Feet" << 0.84 << 121.0;
    QTest::newRow("typed .66") << ".66" << 10 << "Meters" << 0.66 << 50.5;
    QTest::newRow("choice text") << "0.780 Foam" << 0 << "Feet" << 0.78 << 0.0;
    QTest::newRow("lower case name") << "lmr-400" << 75 << "feet" << 0.85 << 89.7;
    QTest::newRow("unknown cable") << "RG-999" << 100 << "Feet" << 0.0 << 0.0;
    QTest::newRow("above 1") << "1.5" << 100 << "Feet" << 1.5 << 0.0;
}

void TestCounterProcessing::coax()
{
    QFETCH(QString, cable);
    QFETCH(int, length);
    QFETCH(QString, unit);
    QFETCH(double, vf);
    QFETCH(double, delay);
    QCOMPARE(CoaxCalculator::velocityFactor(cable), vf);
    QCOMPARE(CoaxCalculator::delayNs(length, unit, CoaxCalculator::velocityFactor(cable)), delay);
}

QTEST_GUILESS_MAIN(TestCounterProcessing)
#include "tst_counterprocessing.moc"
