#include "support/TestSupport.h"

#include "app/Station.h"
#include "transport/GpsPortSettings.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "transport/GpsTransport.h"
#include "receiver/framing/LoranFramer.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "receiver/setup/ReceiverDetection.h"
#include "core/ReceiverMode.h"
#include "receiver/framing/StreamFramer.h"

#include <QtTest>
#include <functional>
#include <memory>

namespace {

// A chunk that stands for a 1PPS edge between two reads.
const QByteArray Pulse = QByteArrayLiteral("<pulse>");

struct Framed
{
    QList<QByteArray> frames;
    bool ppsPending = false;
};

Framed frameLoran(const QList<QByteArray> &chunks)
{
    StreamFramer framer(ReceiverMode::MotorolaLoran);
    Framed out;
    for (const QByteArray &c : chunks) {
        if (c == Pulse) {
            out.ppsPending = true;
            continue;
        }
        framer.feed(c, out.ppsPending, [&](const QByteArray &f) { out.frames.append(f); });
    }
    return out;
}

// A receiver played by a script: it answers a written command after a short delay, but only
// when the port runs at `answerRate`.
class LoranResponder : public GpsTransport
{
public:
    LoranResponder(QByteArray answer, int answerRate, QList<QByteArray> &written)
        : m_answer(std::move(answer)), m_answerRate(answerRate), m_written(written)
    {
    }
    bool open(const GpsPortSettings &settings) override
    {
        m_rate = settings.dataRate;
        m_open = true;
        return true;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QByteArray readAll() override { return std::exchange(m_buffer, {}); }
    qint64 write(const QByteArray &bytes) override
    {
        m_written.append(bytes);
        if (bytes == "T0\r\n" && m_rate == m_answerRate && !m_answer.isEmpty())
            QTimer::singleShot(20, this, [this] {
                m_buffer += m_answer;
                emit readyRead();
            });
        return bytes.size();
    }
    QString name() const override { return GpsPortSettings::simulatorPortName(); }

private:
    QByteArray m_answer;
    int m_answerRate;
    QList<QByteArray> &m_written;
    QByteArray m_buffer;
    int m_rate = 0;
    bool m_open = false;
};

// A station whose receiver port is a LoranResponder answering "T0" at 1200 baud; the raw-data
// window's texts other than the echo of sent commands are recorded.
struct LoranRig
{
    TestSupport::TemporarySettings settings;
    QList<QByteArray> written;
    QStringList rawTexts;
    Station station;

    LoranRig(int portRate, const QString &modeText, const QByteArray &answer)
    {
        QSettings s;
        s.setValue(GpsPortSettings::keyPort(), GpsPortSettings::simulatorPortName());
        s.setValue(GpsPortSettings::keyDataRate(), portRate);
        s.setValue(GpsPortSettings::keyMode(), modeText);
        s.setValue(GpsPortSettings::keyPpsInterface(), 0);
        station.link().transportFactory().registerTransport(GpsPortSettings::simulatorPortName(), [this, answer] {
            return std::make_unique<LoranResponder>(answer, 1200, written);
        });
        station.commandChannel().setPauseMs(0);
        station.detection().setTiming({ 300, 300, 5 });
        station.readPortSettings(s);
        QObject::connect(&station, &Station::rawDataText, [this](const QString &t) {
            if (!t.startsWith(QLatin1String("<- ")))
                rawTexts << t;
        });
        station.link().startGpsSerialPort(false);
    }
};

} // namespace

class TestLoran : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lines_data();
    void lines();
    void endlessLineStaysBounded();
    void modeChangeDropsPartialLine();
    void probe_data();
    void probe();
    void searchEndsInLoranMode();
};

void TestLoran::lines_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<QByteArray>>("expected");
    QTest::addColumn<bool>("stillPending");

    const QByteArray marker = ppsMarker();
    const int cap = LoranFramer::MaxLineLength;
    using L = QList<QByteArray>;

    QTest::newRow("CR LF") << L { "T0123\r\nT0124\r\n" } << L { "T0123", "T0124" } << false;
    QTest::newRow("LF only") << L { "A1\nB2\n" } << L { "A1", "B2" } << false;
    QTest::newRow("CR only") << L { "A1\rB2\r" } << L { "A1", "B2" } << false;
    QTest::newRow("LF CR") << L { "A1\n\rB2\n\r" } << L { "A1", "B2" } << false;
    QTest::newRow("split at every place") << L { "T", "0", "12", "3\r", "\nX9", "\r\n" } << L { "T0123", "X9" } << false;
    QTest::newRow("empty lines dropped") << L { "\r\n\r\n\n\rAB\r\n\r\n", "\n" } << L { "AB" } << false;
    QTest::newRow("unterminated line held") << L { "ABC" } << L {} << false;
    QTest::newRow("spaces and punctuation kept") << L { " T0 12:00:00 \r\n" } << L { " T0 12:00:00 " } << false;
    QTest::newRow("non-printable bytes kept") << L { QByteArray("T0\x01\xff\x00Z\r\n", 8) }
                                              << L { QByteArray("T0\x01\xff\x00Z", 6) } << false;
    QTest::newRow("binary frame cut at its CR LF")
        << L { QByteArray("@@Cj\x00\x01\x6a\r\n", 9) } << L { QByteArray("@@Cj\x00\x01\x6a", 7) } << false;

    // The length cap.
    QTest::newRow("line at the cap kept") << L { QByteArray(cap, 'A') + "\r\n" } << L { QByteArray(cap, 'A') } << false;
    QTest::newRow("line over the cap dropped")
        << L { QByteArray(cap + 1, 'B') + "\r\nC1\r\n" } << L { "C1" } << false;
    QTest::newRow("over-long line split over reads dropped")
        << L { QByteArray(200, 'B'), QByteArray(100, 'B'), "\nD2\n" } << L { "D2" } << false;
    QTest::newRow("very long line dropped whole")
        << L { QByteArray(10000, 'B') + "\r\nE3\r\n" } << L { "E3" } << false;
    QTest::newRow("CR after a long line ends skipping, LF is an empty line")
        << L { QByteArray(cap + 5, 'B') + "\r", "\nF4\n" } << L { "F4" } << false;

    // The 1PPS marker goes in at a line boundary.
    QTest::newRow("marker before the next line") << L { Pulse, "T01\r\n" } << L { marker, "T01" } << false;
    QTest::newRow("marker waits for the end of the line")
        << L { "T0", Pulse, "12\r\nX\r\n" } << L { "T012", marker, "X" } << false;
    QTest::newRow("marker at a bare terminator") << L { Pulse, "\r\n" } << L { marker } << false;
    QTest::newRow("marker stays pending after the last line of a read")
        << L { "T0", Pulse, "12\r" } << L { "T012" } << true;
    QTest::newRow("LF of a CR LF is a boundary for the marker")
        << L { "T0", Pulse, "12\r\n" } << L { "T012", marker } << false;
    QTest::newRow("marker held while a long line is skipped")
        << L { QByteArray(cap + 44, 'L'), Pulse, QByteArray(50, 'L') + "\r\nG5\r\n" } << L { marker, "G5" } << false;
    QTest::newRow("nothing fed keeps the marker") << L { Pulse } << L {} << true;
}

void TestLoran::lines()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<QByteArray>, expected);
    QFETCH(bool, stillPending);
    const Framed out = frameLoran(chunks);
    QCOMPARE(out.frames, expected);
    QCOMPARE(out.ppsPending, stillPending);
}

void TestLoran::endlessLineStaysBounded()
{
    LoranFramer framer;
    bool pps = false;
    int frames = 0;
    const QByteArray block(4096, 'Z');
    for (int i = 0; i < 256; ++i) {
        framer.feed(block, pps, [&](const QByteArray &) { ++frames; });
        QVERIFY(framer.pendingBytes() <= LoranFramer::MaxLineLength);
    }
    QCOMPARE(frames, 0);
    QVERIFY(framer.skippingLongLine());
    framer.feed("\nH6\n", pps, [&](const QByteArray &f) {
        ++frames;
        QCOMPARE(f, QByteArray("H6"));
    });
    QCOMPARE(frames, 1);
    QVERIFY(!framer.skippingLongLine());
}

void TestLoran::modeChangeDropsPartialLine()
{
    StreamFramer framer(ReceiverMode::MotorolaLoran);
    QList<QByteArray> out;
    const auto sink = [&](const QByteArray &f) { out.append(f); };
    framer.feed("T01", sink);
    QCOMPARE(framer.loran().pendingBytes(), 3);
    QVERIFY(framer.setMode(ReceiverMode::MotorolaBinary));
    QVERIFY(framer.setMode(ReceiverMode::MotorolaLoran));
    framer.feed("23\r\n", sink);
    QCOMPARE(out, QList<QByteArray> { "23" });

    // Skipping an over-long line is forgotten as well.
    framer.feed(QByteArray(LoranFramer::MaxLineLength + 1, 'X'), sink);
    QVERIFY(framer.loran().skippingLongLine());
    framer.reset();
    framer.feed("J7\r\n", sink);
    QCOMPARE(out, (QList<QByteArray> { "23", "J7" }));
}

void TestLoran::probe_data()
{
    QTest::addColumn<int>("portRate");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("raw");   // what the raw-data window got from the answer

    QTest::newRow("LORAN line") << 1200 << QByteArray("T0123456\r\n") << true << QStringLiteral("->  T0123456");
    QTest::newRow("LORAN line split by a LF only") << 1200 << QByteArray("\nLORAN42\n") << true
                                                   << QStringLiteral("->  LORAN42");
    QTest::newRow("text that is not LORAN output") << 1200 << QByteArray("T0 12:00\r\n") << false
                                                   << QStringLiteral("?  T0 12:00");
    QTest::newRow("answer without line end") << 1200 << QByteArray("T0123456") << false << QString();
    QTest::newRow("wrong port rate") << 9600 << QByteArray("T0123456\r\n") << false << QString();
}

void TestLoran::probe()
{
    QFETCH(int, portRate);
    QFETCH(QByteArray, answer);
    QFETCH(bool, answered);
    QFETCH(QString, raw);

    LoranRig rig(portRate, QStringLiteral("Motorola Binary"), answer);
    const int before = rig.station.state().receiverMode;

    QCOMPARE(rig.station.detection().probeMode(ReceiverMode::MotorolaLoran), answered);
    QCOMPARE(rig.station.state().loranSeen, answered);
    QCOMPARE(rig.written, QList<QByteArray> { "T0\r\n" });
    QCOMPARE(rig.rawTexts, raw.isEmpty() ? QStringList() : QStringList { raw });
    QCOMPARE(rig.station.state().receiverMode, before);   // the mode is set for the probe only
}

void TestLoran::searchEndsInLoranMode()
{
    // Neither NMEA nor binary answers at 4800; the LORAN step at 1200 does.
    LoranRig rig(4800, QStringLiteral("Search"), "T0123456\r\n");
    QCOMPARE(rig.station.state().receiverMode, int(ReceiverMode::Search));

    QVERIFY(rig.station.detection().searchReceiver());
    QCOMPARE(rig.station.state().receiverMode, int(ReceiverMode::MotorolaLoran));
    QVERIFY(rig.station.state().loranSeen);
    QCOMPARE(rig.written.last(), QByteArray("T0\r\n"));
    QVERIFY(rig.written.first().startsWith("$PMOTG"));
    QCOMPARE(rig.rawTexts.last(), QStringLiteral("->  T0123456"));
}

QTEST_GUILESS_MAIN(TestLoran)
#include "tst_loran.moc"
