// The RINEX observation log: epoch and header text at its boundaries, the file across
// restarts, and the LEA-4T capture's log against RTKLIB's convbin conversion of the capture.

#include "support/RecordingAveraging.h"
#include "support/TestSupport.h"

#include "core/ReceiverMode.h"
#include "core/ReceiverState.h"
#include "logging/RinexObservationWriter.h"
#include "receiver/framing/StreamFramer.h"
#include "receiver/ubx/UbxConfiguration.h"
#include "receiver/ubx/UbxDecoder.h"
#include "receiver/ubx/UbxDriver.h"
#include "sim/SimulatedReceiver.h"
#include "sim/SimulatedUblox.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {

UbxRawMeasurement sat(int sv, double pr, double cp, float dop, int cno, int lli = 0)
{
    return { cp, pr, dop, uint8_t(sv), 7, int8_t(cno), uint8_t(lli) };
}

// A RINEX 2 observation file as a reader sees it: the epoch times (as numbers: readers take
// "01" and " 1" alike) and every value (NaN when blank) with its LLI digit, keyed
// "epoch/satellite/type" ("0/G21/L1").
struct Observations
{
    QList<QList<double>> times;
    QMap<QString, std::pair<double, int>> values;
};

Observations parse(const QString &path)
{
    Observations r;
    QFile f(path);
    QStringList types;
    const QList<QByteArray> lines = f.open(QIODevice::ReadOnly) ? f.readAll().split('\n') : QList<QByteArray>();
    qsizetype i = 0;
    for (; i < lines.size() && !lines[i].contains("END OF HEADER"); ++i)
        if (lines[i].mid(60).startsWith("# / TYPES OF OBSERV"))
            types += QString::fromLatin1(lines[i].left(60).mid(6)).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (++i; i < lines.size() && lines[i].size() >= 32;) {
        r.times.append(QList<double>());
        for (const QByteArray &n : lines[i].left(26).simplified().split(' '))
            r.times.last().append(n.toDouble());
        const int count = lines[i].mid(29, 3).trimmed().toInt();
        QByteArray codes;
        for (int n = 0; n < count; n += 12)
            codes += lines[i++].mid(32, 36).trimmed();
        for (int s = 0; s < count; ++s, i += (types.size() + 4) / 5) {
            for (int t = 0; t < types.size(); ++t) {
                const QByteArray cell = lines.value(i + t / 5).mid(16 * (t % 5), 16).leftJustified(16, ' ');
                const QString key = QStringLiteral("%1/%2/%3").arg(r.times.size() - 1).arg(QLatin1String(codes.mid(3 * s, 3))).arg(types[t]);
                r.values[key] = { cell.left(14).trimmed().isEmpty() ? qQNaN() : cell.left(14).toDouble(), cell[14] == ' ' ? 0 : cell[14] - '0' };
            }
        }
    }
    return r;
}

// The same epochs, satellites and values (to the last printed digit) with the same LLI digits
// (convbin also writes the digit of a blank phase, which means nothing and which it drops
// itself when reading).
void compare(const Observations &got, const Observations &want, const char *what)
{
    QCOMPARE(got.times, want.times);
    QCOMPARE(got.values.keys(), want.values.keys());
    for (auto w = want.values.cbegin(); w != want.values.cend(); ++w) {
        const auto [value, lli] = got.values.value(w.key());
        QVERIFY2((qIsNaN(value) ? qIsNaN(w->first) : qAbs(value - w->first) < 0.0006) && (qIsNaN(w->first) || lli == w->second),
                 qPrintable(QStringLiteral("%1 %2: %3 LLI %4 against %5 LLI %6").arg(what, w.key()).arg(value).arg(lli).arg(w->first).arg(w->second)));
    }
}

struct EpochLog : GpsLogRecorder
{
    RinexObservationWriter writer;
    bool want = true;
    void writeBinaryRecord(const QByteArray &) override {}
    void writeRawEpoch(const UbxRawEpoch &epoch) override { writer.writeEpoch(epoch); }
    bool wantsRawEpochs() const override { return want; }
};

} // namespace

class TestRinex : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void epochText_data();
    void epochText();
    void header();
    void fileAcrossRestarts();
    void captureAgainstConvbin();
    void simulatedReceiver();
};

void TestRinex::epochText_data()
{
    QTest::addColumn<UbxRawEpoch>("epoch");
    QTest::addColumn<QByteArray>("text");

    UbxRawEpoch e { 604799999, 2399, {} };
    for (int sv = 1; sv <= 13; ++sv)
        e.measurements.push_back(sat(sv, 2e7 + sv, 0, 0, 0));
    QByteArray thirteen(" 26  1  3 23 59 59.9990000  0 13G01G02G03G04G05G06G07G08G09G10G11G12\n"
                        "                                G13\n");
    for (int sv = 1; sv <= 13; ++sv)
        thirteen += QString::asprintf("%14.3f%50s\n", 2e7 + sv, "").toLatin1();
    QTest::newRow("13 satellites at the end of a week") << e << thirteen;

    e = { 0, 2400, { sat(7, 25218084.666, 0, 1360.5f, 25, 3), sat(5, -1e9, 1e9, 12, 54, 1), sat(1, 0, 999999999.9994, -0.25f, 5) } };
    QTest::newRow("blank values, LLI, strengths 1 and 9") << e
        << QByteArray(" 26  1  4  0  0  0.0000000  0  3G07G05G01\n"
                      "  25218084.666 4                      1360.500 4        25.000  \n"
                      "                                        12.000 9        54.000  \n"
                      "                 999999999.999 1        -0.250 1         5.000  \n");

    e = { 1000, 2400, { sat(120, 40e6, 0, 0, 40), sat(33, 1, 1, 1, 40), sat(200, 1, 1, 1, 40), sat(158, 40e6, 0, 0, 0) } };
    QTest::newRow("SBAS kept, other numbers left out") << e
        << QByteArray(" 26  1  4  0  0  1.0000000  0  2S20S58\n"
                      "  40000000.000 6                                        40.000  \n"
                      "  40000000.000                                                  \n");

    QTest::newRow("week overrun") << UbxRawEpoch { 604800000, 2400, { sat(5, 2e7, 0, 0, 40) } } << QByteArray();
}

void TestRinex::epochText()
{
    QFETCH(UbxRawEpoch, epoch);
    QFETCH(QByteArray, text);
    QCOMPARE(RinexObservationWriter::epochText(epoch), text);
}

void TestRinex::header()
{
    RinexHeaderInfo info;
    info.runBy = QStringLiteral("a run-by name longer than twenty");
    info.created = QDateTime(QDate(2026, 12, 6), QTime(2, 16, 43), QTimeZone::utc());
    info.agency = QStringLiteral("Observatoř");
    info.setApproxPosition(90, 0, 100);   // the ellipsoid's polar semi-axis is 6356752.3142 m
    // The other records' columns are what RTKLIB reads back in captureAgainstConvbin().
    const QList<QByteArray> lines = RinexObservationWriter::headerText(info, 1516, 333358001).split('\n');
    QCOMPARE(lines.mid(1, 1) + lines.mid(3, 1) + lines.mid(6, 1) + lines.mid(10, 1),
             QList<QByteArray>({ "Chronode            a run-by name longer20261206 021643 UTC PGM / RUN BY / DATE",
                                 "                    Observato?                              OBSERVER / AGENCY",
                                 "        0.0000        0.0000  6356852.3142                  APPROX POSITION XYZ",
                                 "  2009     1    28    20    35   58.0010000     GPS         TIME OF FIRST OBS" }));
}

// Lock flags across written and skipped epochs, and what a restart finds in the file.
void TestRinex::fileAcrossRestarts()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("VORA_2025_362R.obs"));
    RinexObservationWriter w;
    QVERIFY(w.open(path, {}));
    w.close();
    QCOMPARE(QFileInfo(path).size(), 0);   // no epoch, no header

    // Satellites 5 and 6 by second: LLI and whether the phase is there.
    const auto epoch = [](int second, int lli5, int lli6, bool phase6 = true, bool has6 = true) {
        UbxRawEpoch e { 1000 * second, 2399, { sat(5, 2e7, 1e8, 1, 40, lli5) } };
        if (has6)
            e.measurements.push_back(sat(6, 2e7, phase6 ? 1e8 : 0, 1, 40, lli6));
        return e;
    };
    QVERIFY(w.open(path, {}));
    w.writeEpoch(epoch(0, 0, 0));
    w.skipEpoch(epoch(1, 2, 0, true, false));   // a half cycle on 5; 6 gone for a second
    w.skipEpoch(epoch(2, 0, 0));
    w.writeEpoch(epoch(3, 0, 0));
    w.writeEpoch(epoch(4, 0, 1, false));        // 6 lost lock, no phase
    QCOMPARE(QFileInfo(path).size(), 0);        // pending until the flush
    w.flush();
    QVERIFY(QFileInfo(path).size() > 0);
    w.writeEpoch(epoch(5, 0, 0));
    w.writeEpoch(epoch(6, 0, 0, true, false));
    w.close();
    QFile cut(path);   // a line the last run never finished
    QVERIFY(cut.open(QIODevice::Append) && cut.write(" 25 12 28  0  0 ") == 16);
    cut.close();
    QVERIFY(w.open(path, {}));   // the restart appends, without a second header
    w.writeEpoch(epoch(7, 0, 0));
    w.close();

    QStringList lli;
    const Observations o = parse(path);
    for (auto v = o.values.cbegin(); v != o.values.cend(); ++v)
        if (v.key().endsWith(QLatin1String("/L1")))
            lli << v.key().chopped(3) + QLatin1Char('=') + (qIsNaN(v->first) ? QStringLiteral("-") : QString::number(v->second));
    QCOMPARE(lli.join(QLatin1Char(' ')), QStringLiteral("0/G05=1 0/G06=1 1/G05=2 1/G06=1 2/G05=0 2/G06=- 3/G05=0 3/G06=1 "
                                                       "4/G05=0 5/G05=1 5/G06=1"));

    // Any other file is left alone.
    QFile other(dir.filePath(QStringLiteral("notes.txt")));
    QVERIFY(other.open(QIODevice::WriteOnly) && other.write("notes\n") == 6);
    other.close();
    QVERIFY(!w.open(other.fileName(), {}));
    QCOMPARE(w.errorString(), other.fileName() + QStringLiteral(" is not a RINEX observation file"));
    QCOMPARE(other.size(), 6);
}

void TestRinex::captureAgainstConvbin()
{
    const QString capture = TestSupport::capturesDir() + QStringLiteral("/ublox-lea-4t.log");
    const QString convbin = QStandardPaths::findExecutable(QStringLiteral("convbin"));
    if (TestSupport::capturesDir().isEmpty() || convbin.isEmpty())
        QSKIP("needs ../shared/captures and RTKLIB's convbin (Debian package rtklib)");

    QTemporaryDir dir;
    EpochLog log;
    QVERIFY(log.writer.open(dir.filePath(QStringLiteral("ours.obs")), {}));
    ReceiverState state;
    UbxDecoder ubx(DecoderContext { &state, nullptr, nullptr, nullptr, {}, &log });
    StreamFramer(ReceiverMode::UbloxUbx).feed(TestSupport::captureBytes(QStringLiteral("ublox-lea-4t.log")),
                                              [&](const QByteArray &m) { ubx.decodeUbxFrame(m); });
    log.writer.close();

    for (const QStringList &args : { QStringList { "-r", "ubx", "-o", dir.filePath("convbin.obs"), capture },
                                     // RTKLIB reading our file gives the same observations again.
                                     QStringList { "-r", "rinex", "-o", dir.filePath("reread.obs"), dir.filePath("ours.obs") } }) {
        QProcess p;
        p.start(convbin, QStringList { "-v", "2.11", "-od", "-os" } + args);
        QVERIFY(p.waitForFinished(30000) && p.exitCode() == 0);
    }
    const Observations want = parse(dir.filePath("convbin.obs"));
    QCOMPARE(want.values.size(), 2 * 11 * 4);
    compare(parse(dir.filePath("ours.obs")), want, "ours");
    compare(parse(dir.filePath("reread.obs")), want, "read back");
}

// A station without hardware: the simulated timing module, asked by the u-blox driver while
// the log wants raw epochs, feeds a RINEX file whose observables move together as real ones do.
void TestRinex::simulatedReceiver()
{
    constexpr qint64 T0 = 1767225600 + 5 * 3600 + 17;   // 2026-01-01 05:00:17 UTC
    SimulatedReceiver rx(SimulatedReceiverConfig::forModel(QStringLiteral("LEA-4T")));
    rx.setLinkRate(rx.dataRate());
    rx.ublox()->configureForTiming();
    QTemporaryDir dir;
    EpochLog log;
    QVERIFY(log.writer.open(dir.filePath(QStringLiteral("sim.obs")), {}));
    ReceiverState state;
    state.receiverMode = ReceiverMode::UbloxUbx;
    RecordingCommands line;   // every command reaches the receiver
    QByteArray answers;
    qint64 nowMs = 0;
    line.onSend = [&](const QByteArray &c) { answers += rx.receive(Ubx::withChecksum(c), nowMs); };
    UbxDriver driver(DecoderContext { &state, nullptr, nullptr, &line, {}, &log });
    StreamFramer framer(ReceiverMode::UbloxUbx);
    for (int s = 0; s < 65; ++s) {
        nowMs = (T0 + s) * 1000;
        framer.feed(rx.secondOutput(T0 + s) + std::exchange(answers, {}), [&](const QByteArray &m) { driver.decode(m); });
        log.want = s < 40;
        driver.tick(int((T0 + s) % 60), nowMs);
    }
    log.writer.close();
    const QByteArray on = Ubx::cfgMsg(Ubx::Rxm, 0x10, 1), off = Ubx::cfgMsg(Ubx::Rxm, 0x10, 0);
    QVERIFY(line.sent.count(on) == 1 && line.sent.count(off) == 1 && line.sent.indexOf(on) < line.sent.indexOf(off));
    const Observations o = parse(log.writer.fileName());
    QCOMPARE(o.times.size(), 40);
    QCOMPARE(o.times.first(), QList<double>({ 26, 1, 1, 5, 0, 36 }));   // 05:00:18 UTC, the pulse after the request
    // From one second to the next the phase moves by minus the Doppler, the range by as many
    // wavelengths.
    int pairs = 0;
    for (auto v = o.values.cbegin(); v != o.values.cend(); ++v) {
        const QString now = v.key().chopped(2);   // "e/Gnn/"
        const QString before = QString::number(now.section('/', 0, 0).toInt() - 1) + '/' + now.section('/', 1);
        const auto change = [&](const char *type) { return o.values.value(now + type).first - o.values.value(before + type, { qQNaN(), 0 }).first; };
        if (!v.key().endsWith(QLatin1String("L1")) || qIsNaN(change("L1")))
            continue;
        const double doppler = (o.values[now + "D1"].first + o.values[before + "D1"].first) / 2;
        QVERIFY2(qAbs(change("L1") + doppler) < 1.5 && qAbs(change("C1") - change("L1") * 299792458.0 / 1575.42e6) < 5, qPrintable(v.key()));
        ++pairs;
    }
    QVERIFY(pairs > 39 * 4);
}

CHRONODE_TEST_MAIN(TestRinex)
#include "tst_rinex.moc"
