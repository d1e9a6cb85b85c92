// chronode-decode as a user runs it: arguments, exit status and the JSON lines it prints.

#include "receiver/motorola/MotorolaFrame.h"
#include "support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

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
    void initTestCase();
    void badArguments_data();
    void badArguments();
    void stdinWithHeaderAndIdentification();
};

void TestChronodeDecode::initTestCase()
{
    QVERIFY2(QFile::exists(toolPath()), "chronode-decode is not built");
}

void TestChronodeDecode::badArguments_data()
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

void TestChronodeDecode::badArguments()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, message);
    const Run r = runTool(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.stderrText.contains(message), r.stderrText.constData());
    QVERIFY(r.lines.isEmpty());
}

void TestChronodeDecode::stdinWithHeaderAndIdentification()
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

QTEST_GUILESS_MAIN(TestChronodeDecode)
#include "tst_chronode_decode.moc"
