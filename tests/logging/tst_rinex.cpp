// The RINEX observation log: epoch and header text at its boundaries, the file across
// restarts, and the LEA-4T capture's log against RTKLIB's convbin conversion of the capture.

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
    UbxRawMeasurement m;
    m.sv = uint8_t(sv);
    m.pseudorange = pr;
    m.carrierPhase = cp;
    m.doppler = dop;
    m.cno = int8_t(cno);
    m.lli = uint8_t(lli);
    return m;
}

// One RINEX 2 observation file as a reader sees it: per epoch the time text and, per
// satellite, each type's value (NaN when blank) and LLI digit.
struct Observations
{
    QStringList types;
    struct Value { double value; int lli; };
    QList<std::pair<QList<double>, QMap<QByteArray, QMap<QString, Value>>>> epochs;
};

Observations parse(const QString &path)
{
    Observations r;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return r;
    const QList<QByteArray> lines = f.readAll().split('\n');
    qsizetype i = 0;
    for (; i < lines.size() && !lines[i].contains("END OF HEADER"); ++i) {
        if (lines[i].mid(60).startsWith("# / TYPES OF OBSERV"))
            r.types += QString::fromLatin1(lines[i].left(60).mid(6)).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    const qsizetype linesPerSat = (r.types.size() + 4) / 5;
    for (++i; i < lines.size() && lines[i].size() >= 32;) {
        // The epoch time as numbers (readers take "01" and " 1" alike).
        QList<double> time;
        for (const QByteArray &n : lines[i].left(26).simplified().split(' '))
            time.append(n.toDouble());
        const int count = lines[i].mid(29, 3).trimmed().toInt();
        QByteArray codes;
        for (int n = 0; n < count; n += 12)
            codes += lines[i++].mid(32, 36).trimmed();
        QMap<QByteArray, QMap<QString, Observations::Value>> sats;
        for (int s = 0; s < count; ++s, i += linesPerSat) {
            QMap<QString, Observations::Value> &values = sats[codes.mid(3 * s, 3).replace(' ', '0')];
            for (int t = 0; t < r.types.size(); ++t) {
                const QByteArray cell = lines.value(i + t / 5).mid(16 * (t % 5), 16).leftJustified(16, ' ');
                const QByteArray text = cell.left(14).trimmed();
                values[r.types[t]] = { text.isEmpty() ? qQNaN() : text.toDouble(), cell[14] == ' ' ? 0 : cell[14] - '0' };
            }
        }
        r.epochs.append({ time, sats });
    }
    return r;
}

// Every epoch, satellite and value of `want` found in `got` (values to the last printed digit,
// with the same loss-of-lock digit; convbin also writes the digit of a blank phase, which
// means nothing and which it drops itself when reading).
void compare(const Observations &got, const Observations &want, const QString &what)
{
    QCOMPARE(got.epochs.size(), want.epochs.size());
    for (qsizetype e = 0; e < want.epochs.size(); ++e) {
        QCOMPARE(got.epochs[e].first, want.epochs[e].first);
        QCOMPARE(got.epochs[e].second.keys(), want.epochs[e].second.keys());
        for (auto s = want.epochs[e].second.cbegin(); s != want.epochs[e].second.cend(); ++s) {
            for (auto v = s.value().cbegin(); v != s.value().cend(); ++v) {
                const Observations::Value g = got.epochs[e].second[s.key()].value(v.key(), { -1, -1 });
                const QString where = QStringLiteral("%1 epoch %2 %3 %4: %5 against %6")
                                          .arg(what).arg(e).arg(QString::fromLatin1(s.key()), v.key()).arg(g.value).arg(v->value);
                QVERIFY2(qIsNaN(g.value) == qIsNaN(v->value) && (qIsNaN(g.value) || qAbs(g.value - v->value) < 0.0006),
                         qPrintable(where));
                QVERIFY2(qIsNaN(v->value) || g.lli == v->lli, qPrintable(where + QStringLiteral(" LLI")));
            }
        }
    }
}

struct EpochLog : GpsLogRecorder
{
    RinexObservationWriter *writer = nullptr;
    bool want = true;
    void writeBinaryRecord(const QByteArray &) override {}
    void writeRawEpoch(const UbxRawEpoch &epoch) override { writer->writeEpoch(epoch); }
    bool wantsRawEpochs() const override { return want; }
};

// The receiver's end of the send path: every command reaches the simulated receiver.
struct ReceiverLine : ReceiverCommandSink
{
    SimulatedReceiver *rx = nullptr;
    qint64 nowMs = 0;
    QByteArray answers;
    QList<QByteArray> sent;
    void sendGpsRxCommand(const QByteArray &command) override
    {
        sent.append(command);
        answers += rx->receive(Ubx::withChecksum(command), nowMs);
    }
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
    void simulatedReceiver_data();
    void simulatedReceiver();
};

void TestRinex::epochText_data()
{
    QTest::addColumn<UbxRawEpoch>("epoch");
    QTest::addColumn<QByteArray>("text");

    UbxRawEpoch e { 333358001, 1516, { sat(21, 20549870.60649379, 107990247.08782241, 3225.5322f, 33, 2) } };
    QTest::newRow("one satellite") << e
        << QByteArray(" 09  1 28 20 35 58.0010000  0  1G21\n"
                      "  20549870.606 5 107990247.08825      3225.532 5        33.000  \n");

    e = { 604799999, 2399, {} };
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

    QTest::newRow("no time") << UbxRawEpoch { 1000, 0, { sat(5, 2e7, 0, 0, 40) } } << QByteArray();
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
    info.program = QStringLiteral("Chronode 1.2.3");
    info.runBy = QStringLiteral("a run-by name longer than twenty");
    info.created = QDateTime(QDate(2026, 12, 6), QTime(2, 16, 43), QTimeZone::utc());
    info.markerName = QStringLiteral("VORA");
    info.agency = QStringLiteral("Observatoř");
    info.receiverType = QStringLiteral("LEA-4T");
    info.receiverVersion = QStringLiteral("5.00");
    info.approxPosition = { -1510299.1234, -3360000.5, 5100000.25 };
    info.antennaDelta = { 1.5, 0, 0 };
    info.intervalSeconds = 30;
    QCOMPARE(RinexObservationWriter::headerText(info, 1516, 333358001),
             QByteArray("     2.11           OBSERVATION DATA    M (MIXED)           RINEX VERSION / TYPE\n"
                        "Chronode 1.2.3      a run-by name longer20261206 021643 UTC PGM / RUN BY / DATE\n"
                        "VORA                                                        MARKER NAME\n"
                        "                    Observato?                              OBSERVER / AGENCY\n"
                        "                    LEA-4T              5.00                REC # / TYPE / VERS\n"
                        "                                                            ANT # / TYPE\n"
                        " -1510299.1234 -3360000.5000  5100000.2500                  APPROX POSITION XYZ\n"
                        "        1.5000        0.0000        0.0000                  ANTENNA: DELTA H/E/N\n"
                        "     1     0                                                WAVELENGTH FACT L1/2\n"
                        "     4    C1    L1    D1    S1                              # / TYPES OF OBSERV\n"
                        "    30.000                                                  INTERVAL\n"
                        "  2009     1    28    20    35   58.0010000     GPS         TIME OF FIRST OBS\n"
                        "                                                            END OF HEADER\n"));
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

    QVERIFY(w.open(path, {}));
    const auto epoch = [](int second, std::vector<UbxRawMeasurement> m) { return UbxRawEpoch { 1000 * second, 2399, m }; };
    w.writeEpoch(epoch(0, { sat(5, 2e7, 1e8, 1, 40), sat(6, 2e7, 1e8, 1, 40) }));
    w.skipEpoch(epoch(1, { sat(5, 2e7, 1e8, 1, 40, 2) }));                        // 6 gone for a second
    w.skipEpoch(epoch(2, { sat(5, 2e7, 1e8, 1, 40), sat(6, 2e7, 1e8, 1, 40) }));
    w.writeEpoch(epoch(3, { sat(5, 2e7, 1e8, 1, 40), sat(6, 2e7, 1e8, 1, 40) }));
    w.writeEpoch(epoch(4, { sat(5, 2e7, 1e8, 1, 40), sat(6, 2e7, 0, 1, 40, 1) }));   // 6 without phase
    QCOMPARE(QFileInfo(path).size(), 0);   // pending until the flush
    w.flush();
    const qint64 flushed = QFileInfo(path).size();
    w.writeEpoch(epoch(5, { sat(5, 2e7, 1e8, 1, 40), sat(6, 2e7, 1e8, 1, 40) }));
    w.writeEpoch(epoch(6, { sat(5, 2e7, 1e8, 1, 40) }));
    w.close();
    QVERIFY(QFileInfo(path).size() > flushed);

    // The restart appends to the day's file, without a second header.
    QVERIFY(w.open(path, {}));
    w.writeEpoch(epoch(7, { sat(5, 2e7, 1e8, 1, 40), sat(6, 2e7, 1e8, 1, 40) }));
    w.close();
    const Observations o = parse(path);
    QCOMPARE(o.types, QStringList({ "C1", "L1", "D1", "S1" }));
    QList<QList<int>> lli;
    for (const auto &e : o.epochs) {
        lli.append(QList<int>());
        for (const auto &s : e.second)
            lli.last().append(s.value(QStringLiteral("L1")).lli);
    }
    // First sight; the skipped half cycle and gap; a blank phase; its flag on the next phase;
    // 6 missing; after the restart.
    QCOMPARE(lli, QList<QList<int>>({ { 1, 1 }, { 2, 1 }, { 0, 0 }, { 0, 1 }, { 0 }, { 1, 1 } }));

    QFile other(dir.filePath(QStringLiteral("notes.txt")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("not an observation file\n");
    other.close();
    QVERIFY(!w.open(other.fileName(), {}));
    QVERIFY(w.errorString().contains(QLatin1String("not a RINEX observation file")));
    QCOMPARE(other.size(), 24);
}

void TestRinex::captureAgainstConvbin()
{
    const QString capture = TestSupport::capturesDir() + QStringLiteral("/ublox-lea-4t.log");
    const QString convbin = QStandardPaths::findExecutable(QStringLiteral("convbin"));
    if (TestSupport::capturesDir().isEmpty())
        QSKIP("captures not present");
    if (convbin.isEmpty())
        QSKIP("RTKLIB's convbin not installed (Debian package rtklib)");

    QTemporaryDir dir;
    RinexObservationWriter writer;
    QVERIFY(writer.open(dir.filePath(QStringLiteral("ours.obs")), {}));
    ReceiverState state;
    state.receiverMode = ReceiverMode::UbloxUbx;
    EpochLog log;
    log.writer = &writer;
    DecoderContext ctx { &state, nullptr, nullptr, nullptr, {}, &log };
    UbxDecoder ubx(ctx);
    StreamFramer framer(ReceiverMode::UbloxUbx);
    framer.feed(TestSupport::captureBytes(QStringLiteral("ublox-lea-4t.log")), [&](const QByteArray &m) {
        if (m.startsWith("\xB5\x62"))
            ubx.decodeUbxFrame(m);
    });
    writer.close();
    QCOMPARE(writer.epochsWritten(), 2);

    const auto run = [&](const QStringList &args) {
        QProcess p;
        p.start(convbin, args);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
    };
    run({ "-r", "ubx", "-v", "2.11", "-od", "-os", "-o", dir.filePath("convbin.obs"), capture });
    // RTKLIB reading our file back gives the same observations again.
    run({ "-r", "rinex", "-v", "2.11", "-od", "-os", "-o", dir.filePath("reread.obs"), dir.filePath("ours.obs") });
    const Observations want = parse(dir.filePath("convbin.obs"));
    QCOMPARE(want.epochs.size(), 2);
    QCOMPARE(want.epochs.first().second.size(), 11);
    compare(parse(dir.filePath("ours.obs")), want, QStringLiteral("ours"));
    compare(parse(dir.filePath("reread.obs")), want, QStringLiteral("read back"));
}

void TestRinex::simulatedReceiver_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("epochs");
    QTest::addColumn<QList<QByteArray>>("sent");   // the RXM-RAW rate commands, by second
    const QByteArray on = Ubx::cfgMsg(Ubx::Rxm, 0x10, 1);
    QTest::newRow("LEA-4T: on while wanted, off after") << "LEA-4T" << 40 << QList<QByteArray>({ on, Ubx::cfgMsg(Ubx::Rxm, 0x10, 0) });
    QTest::newRow("NEO-M8T refuses: asked every 30 s") << "NEO-M8T" << 0 << QList<QByteArray>({ on, on });
}

// A station without hardware: the simulated timing module, asked by the u-blox driver, feeds
// a RINEX file whose observables move together as real ones do.
void TestRinex::simulatedReceiver()
{
    QFETCH(QString, model);
    QFETCH(int, epochs);
    QFETCH(QList<QByteArray>, sent);
    constexpr qint64 T0 = 1767225600 + 5 * 3600 + 17;   // 2026-01-01 05:00:17 UTC
    SimulatedReceiver rx(SimulatedReceiverConfig::forModel(model));
    rx.setLinkRate(rx.dataRate());
    rx.ublox()->configureForTiming();

    QTemporaryDir dir;
    RinexObservationWriter writer;
    QVERIFY(writer.open(dir.filePath(QStringLiteral("sim.obs")), {}));
    ReceiverState state;
    state.receiverMode = ReceiverMode::UbloxUbx;
    EpochLog log;
    log.writer = &writer;
    ReceiverLine line;
    line.rx = &rx;
    UbxDriver driver(DecoderContext { &state, nullptr, nullptr, &line, {}, &log });
    StreamFramer framer(ReceiverMode::UbloxUbx);
    for (int s = 0; s < 65; ++s) {
        line.nowMs = (T0 + s) * 1000;
        framer.feed(rx.secondOutput(T0 + s) + line.answers, [&](const QByteArray &m) { driver.decode(m); });
        line.answers.clear();
        log.want = s < 40;
        driver.tick(int((T0 + s) % 60), line.nowMs);
    }
    writer.close();
    QList<QByteArray> rawCommands;
    for (const QByteArray &c : line.sent)
        if (c.startsWith(Ubx::cfgMsg(Ubx::Rxm, 0x10, 0).left(8)))
            rawCommands.append(c);
    QCOMPARE(rawCommands, sent);
    QCOMPARE(writer.epochsWritten(), epochs);
    if (epochs == 0)
        return;

    const Observations o = parse(writer.fileName());
    QCOMPARE(o.epochs.size(), epochs);
    // The first pulse after the request, 05:00:18 UTC, in GPS time.
    QCOMPARE(o.epochs.first().first, QList<double>({ 26, 1, 1, 5, 0, 36 }));
    constexpr double Lambda = 299792458.0 / 1575.42e6;
    int pairs = 0;
    for (qsizetype e = 1; e < o.epochs.size(); ++e) {
        for (auto s = o.epochs[e].second.cbegin(); s != o.epochs[e].second.cend(); ++s) {
            const auto before = o.epochs[e - 1].second.value(s.key());
            const double l0 = before.value(QStringLiteral("L1"), { qQNaN(), 0 }).value;
            const double l1 = s->value(QStringLiteral("L1")).value;
            if (qIsNaN(l0) || qIsNaN(l1))
                continue;
            const double doppler = (before.value(QStringLiteral("D1")).value + s->value(QStringLiteral("D1")).value) / 2;
            const double dRange = s->value(QStringLiteral("C1")).value - before.value(QStringLiteral("C1")).value;
            QVERIFY2(qAbs(l1 - l0 + doppler) < 1.5, qPrintable(QStringLiteral("%1: phase %2, Doppler %3").arg(QString::fromLatin1(s.key())).arg(l1 - l0).arg(doppler)));
            QVERIFY2(qAbs(dRange - Lambda * (l1 - l0)) < 5, qPrintable(QStringLiteral("%1: range %2").arg(QString::fromLatin1(s.key())).arg(dRange)));
            ++pairs;
        }
    }
    QVERIFY(pairs > 39 * 4);
}

CHRONODE_TEST_MAIN(TestRinex)
#include "tst_rinex.moc"
