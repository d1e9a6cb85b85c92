#include "receiver/motorola/MotorolaFrame.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

// The regression runner: chronode-decode over every capture, its output compared byte for
// byte with the golden NAME.jsonl beside the capture. Hand-made captures live in tests/regress
// (written by make_captures.py, '#' header naming "mode:" and "model:"); the shared real
// captures are read where they lie; their golden output is kept in tests/regress/shared as one
// digest per line (the first 16 hex digits of the line's SHA-256), so the captures' contents
// are never copied into this project.
// CHRONODE_REGENERATE=1 rewrites the golden files instead of comparing.
namespace regression_tests {

namespace {

const QString Regress = QStringLiteral(CHRONODE_SOURCE_DIR "/tests/regress");

// Arguments from the capture's "# mode: ..." and "# model: ..." header lines.
QStringList headerArguments(const QString &path)
{
    QFile f(path);
    QStringList args;
    if (!f.open(QIODevice::ReadOnly))
        return args;
    for (QByteArray line = f.readLine(); line.startsWith('#'); line = f.readLine()) {
        for (const char *key : { "mode", "model" }) {
            const QByteArray prefix = QByteArray("# ") + key + ": ";
            if (line.startsWith(prefix))
                args << QStringLiteral("--%1").arg(QLatin1String(key)) << QString::fromLatin1(line.mid(prefix.size()).trimmed());
        }
    }
    return args;
}

} // namespace

// One digest line per output line.
QByteArray lineDigests(const QByteArray &output)
{
    QByteArray out;
    for (const QByteArray &line : output.split('\n')) {
        if (!line.isEmpty())
            out += QCryptographicHash::hash(line, QCryptographicHash::Sha256).toHex().left(16) + '\n';
    }
    return out;
}

class TestRegression : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decode_data()
    {
        QTest::addColumn<QString>("capture");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("golden");
        const QStringList own = QDir(Regress).entryList({ QStringLiteral("*.log") }, QDir::Files, QDir::Name);
        QVERIFY(own.size() >= 10);
        for (const QString &name : own) {
            const QString path = Regress + QLatin1Char('/') + name;
            const QStringList args = headerArguments(path);
            QVERIFY2(args.contains(QStringLiteral("--mode")), qPrintable(name + QStringLiteral(" names no mode")));
            QTest::newRow(qPrintable(name)) << path << args << Regress + QLatin1Char('/') + QFileInfo(name).completeBaseName() + QStringLiteral(".jsonl");
        }

        // The real captures: gpsd's regression logs, in the mode their receiver ran in.
        const QString shared = TestSupport::capturesDir();
        struct Real { const char *row, *file; QStringList args; };
        const Real real[] = {
            { "oncore-binary", "oncore-binary.log", { "--mode", "motorola" } },
            { "oncore-binary-utplus", "oncore-binary.log", { "--mode", "motorola-rx", "--model", "UT+" } },
            { "oncore", "oncore.log", { "--mode", "motorola-nmea" } },
            { "garmin15x", "garmin15x.log", { "--mode", "generic-nmea" } },
            { "ublox-lea-4t", "ublox-lea-4t.log", { "--mode", "ubx" } },
            { "ublox-lea-4t-nmea", "ublox-lea-4t.log", { "--mode", "ublox-nmea" } },
            { "u-blox-m8t-time", "u-blox-m8t-time.log", { "--mode", "ubx" } },
            { "ublox-zed-f9t-ubx_nmea_l5", "ublox-zed-f9t-ubx_nmea_l5.log", { "--mode", "ublox-nmea" } },
        };
        for (const Real &r : real) {
            QTest::newRow(r.row) << (shared.isEmpty() ? QString() : shared + QLatin1Char('/') + QLatin1String(r.file))
                                 << r.args << Regress + QStringLiteral("/shared/") + QLatin1String(r.row) + QStringLiteral(".digest");
        }
    }
    void decode()
    {
        QFETCH(QString, capture);
        QFETCH(QStringList, args);
        QFETCH(QString, golden);
        if (capture.isEmpty())
            QSKIP("shared captures not present");

        QProcess p;
        p.start(QStringLiteral(CHRONODE_BINARY_DIR "/chronode-decode"), args << capture);
        QVERIFY2(p.waitForFinished(60000), "chronode-decode did not finish");
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        const QByteArray output = p.readAllStandardOutput();
        QVERIFY(!output.isEmpty());
        const bool digests = golden.endsWith(QLatin1String(".digest"));
        const QByteArray out = digests ? lineDigests(output) : output;

        QFile file(golden);
        if (qEnvironmentVariableIntValue("CHRONODE_REGENERATE") == 1) {
            QDir().mkpath(QFileInfo(golden).path());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(out);
            qInfo("rewrote %s", qPrintable(golden));
            return;
        }
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(golden + QStringLiteral(" missing: run with CHRONODE_REGENERATE=1")));
        const QByteArray want = file.readAll();
        if (out == want)
            return;
        const QList<QByteArray> got = out.split('\n'), expected = want.split('\n');
        for (qsizetype i = 0; i < qMax(got.size(), expected.size()); ++i) {
            const QByteArray g = got.value(i, "<end of output>"), e = expected.value(i, "<end of golden file>");
            if (g != e) {
                const QByteArray shown = digests ? output.split('\n').value(i, "<end of output>") + " (digest " + g + ")" : g;
                QFAIL(qPrintable(QStringLiteral("line %1 differs\n  got:  %2\n  want: %3")
                                     .arg(i + 1).arg(QString::fromLatin1(shown), QString::fromLatin1(e))));
            }
        }
    }
};

} // namespace regression_tests

// chronode-decode as a user runs it: arguments, exit status and the JSON lines it prints.
namespace chronode_decode_tests {

namespace {

struct Run
{
    int exitCode = -1;
    QList<QJsonObject> lines;
    QByteArray stderrText;
};

QString toolPath() { return QStringLiteral(CHRONODE_BINARY_DIR "/chronode-decode"); }

Run runTool(const QStringList &args, const QByteArray &input = {})
{
    Run r;
    QProcess p;
    p.start(toolPath(), args);
    if (!p.waitForStarted(10000))
        return r;
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.stderrText = p.readAllStandardError();
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            r.lines.append(QJsonDocument::fromJson(line).object());
    }
    return r;
}

QByteArray cjWire(const QByteArray &model)
{
    QByteArray t(291, ' ');
    t.replace(0, 4, "@@Cj");
    t.replace(6, 33, "COPYRIGHT 1991-2000 MOTOROLA INC.");
    t.replace(84, 1, "4");
    t.replace(112, 2, "21");
    t.replace(140, 11, "MODEL #    ");
    t.replace(148, model.size(), model);
    return t + char(MotorolaFrame::checksum(t)) + "\r\n";
}

} // namespace

class TestChronodeDecode : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void initTestCase()
    {
        QVERIFY2(QFile::exists(toolPath()), "chronode-decode is not built");
    }

    void badArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("unknown option") << QStringList{ "--frobnicate" } << QByteArray("unknown option '--frobnicate'");
        QTest::newRow("unknown mode") << QStringList{ "--mode", "sirf", "-" } << QByteArray("unknown mode 'sirf'");
        QTest::newRow("mode without value") << QStringList{ "--mode" } << QByteArray("--mode needs a value");
        QTest::newRow("unknown model") << QStringList{ "--model=ZX81", "-" } << QByteArray("unknown receiver model 'ZX81'");
        QTest::newRow("missing file") << QStringList{ "/nonexistent/capture.log" } << QByteArray("cannot read '/nonexistent/capture.log'");
        QTest::newRow("two files") << QStringList{ "a", "b" } << QByteArray("more than one input file");
    }
    void badArguments()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, message);
        const Run r = runTool(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.stderrText.contains(message), r.stderrText.constData());
        QVERIFY(r.lines.isEmpty());
    }

    void stdinWithHeaderAndIdentification()
    {
        QByteArray input = "# Name: synthetic\n# second comment line\n";
        input += "garbage \x01" + cjWire("P283T12T11");
        MotorolaFrame::Builder bo("Bo");
        bo.u8(17).wireLength(8);
        input += bo.wire();
        const Run r = runTool({ "-" }, input);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.lines.size(), 2);
        QCOMPARE(r.lines[0].value("frame").toString(), QStringLiteral("@@Cj"));
        QCOMPARE(r.lines[0].value("model").toString(), QStringLiteral("M12+"));
        QCOMPARE(r.lines[0].value("firmware").toString(), QStringLiteral("4.21"));
        QCOMPARE(r.lines[1].value("text").toString(), QStringLiteral("@@Bo - UTC offset = 17 seconds"));
        QVERIFY(!r.lines[1].contains("utc"));

        // A header line that starts with '#' and is never ended leaves nothing to decode.
        const Run empty = runTool({}, "# only a comment");
        QCOMPARE(empty.exitCode, 0);
        QVERIFY(empty.lines.isEmpty());
    }
};

} // namespace chronode_decode_tests

CHRONODE_TEST_MAIN(regression_tests::TestRegression, chronode_decode_tests::TestChronodeDecode)
#include "tst_regression.moc"
