#include "app/Station.h"
#include "core/ReceiverMode.h"
#include "receiver/framing/LoranFramer.h"
#include "receiver/framing/StreamFramer.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "receiver/motorola/MotorolaDecoder.h"
#include "receiver/motorola/MotorolaEncoder.h"
#include "receiver/nmea/NmeaDecoder.h"
#include "receiver/setup/ReceiverDetection.h"
#include "receiver/setup/ReceiverDetectionPort.h"
#include "receiver/ubx/UbxConfiguration.h"
#include "receiver/ubx/UbxDecoder.h"
#include "sim/SimulatedReceiverTransport.h"
#include "sim/SimulatedUblox.h"
#include "support/FakeTransport.h"
#include "support/SharedReceiverPort.h"
#include "support/FramingHelpers.h"
#include "support/TestSupport.h"
#include "transport/GpsPortSettings.h"
#include "transport/GpsTransport.h"

#include <QElapsedTimer>
#include <QtTest>
#include <functional>
#include <memory>

namespace detection_tests {

namespace {

// The simulated receiver runs this many times faster than real time, so its answers come
// quickly; the detection's waits are shortened to match.
constexpr double SimSpeed = 20.0;
constexpr int AnswerMs = 450;
constexpr int DelayPercent = 5;

// A station with its decoders, a receiver behind the port name "SIMULATOR" and recorders of
// everything the detection reports.
struct Rig
{
    TestSupport::TemporarySettings settings;
    SimulatedReceiverTransport rx;
    QList<Written> written;
    std::function<void(const QByteArray &)> onWrite;
    Station station;
    QStringList raw, status, descriptions;
    QStringList warnings, informations;   // "title|text"
    QList<bool> actionStates;
    QList<QPair<double, double>> terms;

    Rig(const SimulatedReceiverConfig &config, int portRate, const QString &modeText,
        std::function<QByteArray(const QByteArray &)> script = {})
        : rx(config, SimulationClock::startingAt(QDateTime::currentDateTimeUtc(), SimSpeed))
    {
        QSettings s;
        s.setValue(GpsPortSettings::keyPort(), GpsPortSettings::simulatorPortName());
        s.setValue(GpsPortSettings::keyDataRate(), portRate);
        s.setValue(GpsPortSettings::keyMode(), modeText);
        s.setValue(GpsPortSettings::keyPpsInterface(), 0);
        if (script) {
            station.link().transportFactory().registerTransport(
                GpsPortSettings::simulatorPortName(),
                [this, script] {
                    auto t = std::make_unique<FakeTransport>(GpsPortSettings::simulatorPortName());
                    t->log = &written;
                    t->answer = [script](const QByteArray &w, int) { return script(w); };
                    return t;
                });
        } else {
            station.link().transportFactory().registerTransport(GpsPortSettings::simulatorPortName(), [this] {
                return std::make_unique<SharedReceiverPort>(rx, &written, [this](const QByteArray &b) {
                    if (onWrite)
                        onWrite(b);
                });
            });
        }
        station.commandChannel().setPauseMs(0);

        ReceiverDetection &d = detection();
        d.setTiming({ AnswerMs, AnswerMs, DelayPercent });
        d.hooks().setTimingErrorTerms = [this](double a, double b) { terms.append({ a, b }); };
        QObject::connect(&d, &ReceiverDetection::rawDataText, [this](const QString &t) { raw << t; });
        QObject::connect(&d, &ReceiverDetection::statusText, [this](const QString &t) { status << t; });
        QObject::connect(&d, &ReceiverDetection::receiverDescription,
                         [this](const QString &t) { descriptions << t; });
        QObject::connect(&d, &ReceiverDetection::warningBox,
                         [this](const QString &title, const QString &text) { warnings << title + '|' + text; });
        QObject::connect(&d, &ReceiverDetection::informationBox,
                         [this](const QString &title, const QString &text) { informations << title + '|' + text; });
        QObject::connect(&d, &ReceiverDetection::portSettingsActionEnabled,
                         [this](bool on) { actionStates << on; });

        station.readPortSettings(s);
        station.link().startGpsSerialPort(false);
    }

    ReceiverDetection &detection() { return station.detection(); }
    ReceiverState &state() { return station.state(); }

    // The writes that start with `head`, as "head@rate".
    QStringList sent(const QByteArray &head) const
    {
        QStringList out;
        for (const Written &w : written)
            if (w.bytes.startsWith(head))
                out << QString::fromLatin1(head) + '@' + QString::number(w.rate);
        return out;
    }
    int count(const QByteArray &head) const { return int(sent(head).size()); }
    QVariant stored(const QString &key) const { return QSettings().value(key); }
};

SimulatedReceiverConfig model(const QString &name)
{
    bool ok = false;
    SimulatedReceiverConfig c = SimulatedReceiverConfig::forModel(name, &ok);
    Q_ASSERT(ok);
    return c;
}

} // namespace

// Puts the simulated unit into NMEA output, as a previous session would have left it.
static void leaveInNmea(SimulatedReceiverTransport &rx)
{
    SimulatedReceiver &r = rx.receiver();
    const int linkRate = r.linkRate();
    r.setLinkRate(r.dataRate());
    r.receive(ReceiverCommandChannel::completeCommand("@@Ci\x01", nullptr) + "\r\n", 0);
    r.receive(ReceiverCommandChannel::completeCommand("$PMOTG,GGA,0001", nullptr) + "\r\n", 0);
    r.setLinkRate(linkRate);
}

class TestDetection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The rate codes of the port command, as the link sends them and the simulator reads them;
    // the search tries only the rates marked "searched".
    void portRateCommand_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<bool>("searched");
        QTest::newRow("0") << 0 << QByteArray("0000") << false;
        QTest::newRow("300") << 300 << QByteArray("4003") << false;
        QTest::newRow("1200") << 1200 << QByteArray("4012") << false;
        QTest::newRow("2400") << 2400 << QByteArray("4024") << false;
        QTest::newRow("4800") << 4800 << QByteArray("4048") << true;
        QTest::newRow("9600") << 9600 << QByteArray("0000") << true;
        QTest::newRow("14400") << 14400 << QByteArray("4144") << true;
        QTest::newRow("19200") << 19200 << QByteArray("4192") << true;
        QTest::newRow("38400") << 38400 << QByteArray("4384") << true;
        QTest::newRow("57600") << 57600 << QByteArray("4576") << true;
        QTest::newRow("115000") << 115000 << QByteArray("5150") << false;
        QTest::newRow("unknown") << 115200 << QByteArray("0000") << false;
    }
    void portRateCommand()
    {
        QFETCH(int, rate);
        QFETCH(QByteArray, code);
        QFETCH(bool, searched);
        QCOMPARE(ReceiverDetection::portRateCommand(rate).toHex(), "40405762" + code);
        QCOMPARE(ReceiverDetection::makeRateCommand(rate).toHex(), searched ? "40405762" + code : QByteArray());
        const auto c = MotorolaEncoder::rateCode(rate);
        if (rate != 115200)
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(c.data()), 2).toHex(), code);
        QCOMPARE(MotorolaEncoder::codeRate(uint8_t(code.left(2).toInt(nullptr, 16)), uint8_t(code.mid(2).toInt(nullptr, 16))),
                 rate == 115200 || rate == 0 ? 9600 : rate);
        QCOMPARE(MotorolaEncoder::codeRate(0x12, 0x34), 0);
    }

    void describe_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("flags");   // 1 ssrPlus, 2 ssrPlusPlus, 4 DGPS, 8 T-RAIM, 16 PVT6, 32 local time
        QTest::addColumn<QString>("expected");
        QTest::newRow("M12+ bin") << 4 << 2 << 12 << 8 << "Motorola M12+, Bin, 12 ch, V2.0, TRAIM";
        QTest::newRow("VP bin") << 10 << 2 << 8 << 0 << "Motorola VP, Bin, 8 ch, V2.0";
        QTest::newRow("no channels") << 8 << 2 << -1 << 0 << "Motorola UT, Bin, 0 ch, V2.0";
        QTest::newRow("all suffixes") << 9 << 2 << 8 << (4 | 8 | 16 | 32)
                                      << "Motorola UT+, Bin, 8 ch, V2.0, has DGPS, TRAIM, PVT6 Mode, Local Time Mode";
        QTest::newRow("SSR+") << 23 << 2 << 12 << 1 << "SSR-6Tr+, Bin, 12 ch, V2.0";
        QTest::newRow("SSR++ rx only") << 22 << 3 << 12 << 2 << "SSR-6Tf++, Rx Only, Bin, 12 ch, V2.0";
        QTest::newRow("M12 rx only") << 3 << 3 << 12 << 0 << "Motorola M12, Rx Only, Bin, 12 ch, V2.0";
        QTest::newRow("i-Lotus bin") << 21 << 2 << 8 << 8 << "i-Lotus TX Oncore, Bin, 8 ch, V2.0, TRAIM";
        QTest::newRow("M12M nmea") << 5 << 1 << 12 << 4 << "Motorola M12M, NMEA Mode, 12 ch, V2.0, has DGPS";
        QTest::newRow("i-Lotus nmea") << 21 << 1 << 8 << 0 << "i-Lotus TX Oncore, NMEA Mode, 8 ch, V2.0";
        QTest::newRow("SSR-6Tr nmea") << 23 << 1 << 12 << 1 << "Motorola SSR-6TrNMEA Mode, 12 ch, V2.0";
        QTest::newRow("SSR-M8F nmea") << 24 << 1 << 12 << 0 << "Motorola SSR-M8F, NMEA Mode, 12 ch, V2.0";
        QTest::newRow("nmea keeps -1") << 5 << 1 << -1 << 0 << "Motorola M12M, NMEA Mode, -1 ch, V2.0";
        QTest::newRow("generic nmea") << 15 << 6 << -1 << 0 << "";
        QTest::newRow("u-blox") << 20 << 9 << 16 << 0 << "";
    }
    void describe()
    {
        QFETCH(int, model);
        QFETCH(int, mode);
        QFETCH(int, channels);
        QFETCH(int, flags);
        QFETCH(QString, expected);
        ReceiverState s;
        s.receiverModel = model;
        s.channelCount = channels;
        s.firmwareVersionText = QStringLiteral("2.0");
        s.ssrPlus = flags & 1;
        s.ssrPlusPlus = flags & 2;
        s.hasDgps = flags & 4;
        s.hasTraim = flags & 8;
        QCOMPARE(ReceiverDetection::describe(s, mode, flags & 16, flags & 32), expected);
    }

    void portSetters()
    {
        TestSupport::TemporarySettings temp;
        int restarts = 0;
        StoredReceiverPort port([&] { ++restarts; });
        QCOMPARE(port.dataRate(), 9600);   // default, written back
        QCOMPARE(QSettings().value(GpsPortSettings::keyDataRate()).toInt(), 9600);

        port.setDataRate(19200);
        QCOMPARE(QSettings().value(GpsPortSettings::keyDataRate()).toInt(), 19200);
        QCOMPARE(restarts, 1);

        QTest::ignoreMessage(QtWarningMsg, "GpsPortDialog::SetBaud bad argument == 115200");
        port.setDataRate(115200);
        QCOMPARE(port.dataRate(), 19200);
        QCOMPARE(restarts, 1);

        port.setMode(10);
        QCOMPARE(QSettings().value(GpsPortSettings::keyMode()).toString(), QStringLiteral("u-blox NMEA"));
        QTest::ignoreMessage(QtWarningMsg, "GpsPortDialog::Set Mode bad argument == 0");
        port.setMode(0);
        QTest::ignoreMessage(QtWarningMsg, "GpsPortDialog::Set Mode bad argument == 11");
        port.setMode(11);
        QCOMPARE(QSettings().value(GpsPortSettings::keyMode()).toString(), QStringLiteral("u-blox NMEA"));

        QVERIFY(!port.minimizeInitialization());
        QSettings().setValue(GpsPortSettings::keyDoNotInitialize(), true);
        QVERIFY(port.minimizeInitialization());
    }

    void answerFilter_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("family");
        QTest::addColumn<bool>("answers");
        const QByteArray ha = MotorolaEncoder::ha({}).chopped(3);
        MotorolaEncoder::Identification id;
        id.modelNumber = "P283T12NR5";
        id.softwareVersion = "2";
        id.softwareRevision = "0";
        const QByteArray cj = MotorolaEncoder::cj(id).chopped(3);
        const int nmeaFamily = int(AnswerFamily::MotorolaNmea);
        const int binary = int(AnswerFamily::MotorolaBinary);
        QTest::newRow("GGA") << Frames::nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,").chopped(2)
                             << nmeaFamily << false;
        QTest::newRow("RMC") << Frames::nmea("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W").chopped(2)
                             << nmeaFamily << false;
        QTest::newRow("GNZDA") << Frames::nmea("GNZDA,123519.00,23,03,2024,00,00").chopped(2) << nmeaFamily << false;
        QTest::newRow("GPZDA") << Frames::nmea("GPZDA,123519.00,23,03,2024,00,00").chopped(2) << nmeaFamily << true;
        QTest::newRow("PMOTG") << Frames::nmea("PMOTG,ZDA,0001").chopped(2) << nmeaFamily << true;
        QTest::newRow("@@Ha for @@Cj") << ha << binary << false;
        QTest::newRow("@@Cj") << cj << binary << true;
    }
    void answerFilter()
    {
        QFETCH(QByteArray, message);
        QFETCH(int, family);
        QFETCH(bool, answers);
        ReceiverState s;
        DecoderContext ctx;
        ctx.state = &s;
        MotorolaDecoder motorola(ctx);
        NmeaDecoder nmeaDecoder(ctx);
        const auto f = AnswerFamily(family);
        s.awaitedAnswerHeads = f == AnswerFamily::MotorolaNmea ? QList<QByteArray> { "$GPZDA", "$PMOTG" }
                                                               : QList<QByteArray> { "@@Cj" };
        if (message.startsWith('$'))
            nmeaDecoder.decodeNmeaSentence(message);
        else
            motorola.decodeMotorolaFrame(message);
        QCOMPARE(s.answered(f), answers);
        // Without a filter any message of the family answers.
        s.awaitedAnswerHeads.clear();
        s.setAnswered(f, false);
        if (message.startsWith('$'))
            nmeaDecoder.decodeNmeaSentence(message);
        else
            motorola.decodeMotorolaFrame(message);
        QCOMPARE(s.answered(f), message.contains("ZDA") || message.contains("PMOTG") || message.startsWith("@@"));
    }

    void searchFindsBinaryAtItsRate()
    {
        SimulatedReceiverConfig config = model(QStringLiteral("M12+"));
        config.dataRate = 9600;
        Rig rig(config, 4800, QStringLiteral("Search"));
        QCOMPARE(rig.state().receiverMode, 11);
        rig.detection().setLastGoodRate(9600);

        QVERIFY(rig.detection().initialiseReceiver());

        QStringList probes;
        for (const Written &w : rig.written) {
            if (w.bytes.startsWith("$PMOTG,ZDA"))
                probes << QStringLiteral("ZDA@%1").arg(w.rate);
            else if (w.bytes.startsWith("@@Cj"))
                probes << QStringLiteral("Cj@%1").arg(w.rate);
        }
        QCOMPARE(probes, QStringList({ "ZDA@4800", "ZDA@9600", "Cj@4800", "Cj@9600", "Cj@9600" }));
        QCOMPARE(rig.raw.count(QStringLiteral("@@Cj Timeout - no valid version number!")), 1);
        QVERIFY(rig.status.contains(QStringLiteral("Initialization: Searching for GPS Receiver...")));
        QCOMPARE(rig.state().receiverMode, 2);
        QCOMPARE(rig.stored(GpsPortSettings::keyMode()).toString(), QStringLiteral("Motorola Binary"));
        QCOMPARE(rig.stored(QStringLiteral("MainWindow/Mode")).toInt(), 2);
        QCOMPARE(rig.stored(GpsPortSettings::keyDataRate()).toInt(), 9600);
        QCOMPARE(rig.detection().description(), QStringLiteral("Motorola M12+, Bin, 12 ch, V2.0, TRAIM"));
        QVERIFY(!rig.state().receiverBusy);
    }

    void identifiesModels_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("dgps");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("term");
        QTest::addColumn<QString>("description");
        QTest::newRow("M12+") << "M12+" << false << 4 << 12 << 100.0 << "Motorola M12+, Bin, 12 ch, V2.0, TRAIM";
        QTest::newRow("UT+") << "UT+" << false << 9 << 8 << 100.0 << "Motorola UT+, Bin, 8 ch, V3.1, TRAIM";
        QTest::newRow("VP") << "VP" << false << 10 << 8 << 100.0 << "Motorola VP, Bin, 8 ch, V10.2";
        QTest::newRow("GT") << "GT" << false << 1 << 8 << 500.0 << "Motorola GT, Bin, 8 ch, V2.1";
        QTest::newRow("XT") << "XT" << false << 11 << 6 << 100.0 << "Motorola XT, Bin, 6 ch, V5.1";
        QTest::newRow("SSR-6Tf++") << "SSR-6Tf++" << false << 22 << 12 << 100.0 << "SSR-6Tf++, Bin, 12 ch, V4.21, TRAIM";
    }
    void identifiesModels()
    {
        QFETCH(QString, name);
        QFETCH(bool, dgps);
        QFETCH(int, code);
        QFETCH(int, channels);
        QFETCH(double, term);
        QFETCH(QString, description);
        SimulatedReceiverConfig config = model(name);
        config.hasDgps = dgps;
        Rig rig(config, 9600, QStringLiteral("Motorola Binary"));

        QVERIFY(rig.detection().initialiseReceiver());
        QCOMPARE(rig.state().receiverModel, code);
        QCOMPARE(rig.state().channelCount, channels);
        QCOMPARE(rig.state().channelCountUsed, channels);
        QCOMPARE(rig.state().hasDgps, dgps);
        QVERIFY(!rig.terms.isEmpty());
        QCOMPARE(rig.terms.last(), qMakePair(10.0, term));
        QCOMPARE(rig.detection().description(), description);
        QCOMPARE(rig.descriptions.last(), description);
        QCOMPARE(rig.state().receiverMode, 2);
        // Left sending its visible satellites every second.
        QVERIFY(rig.rx.receiver().continuousMessages().contains(QStringLiteral("Bb")));
        QCOMPARE(rig.written.last().bytes.left(4), code >= 22 || code == 4 ? QByteArray("@@Gk") : QByteArray("@@Bb"));
    }

    void vpWithoutTwelveChannelsHasEight()
    {
        Rig rig(model(QStringLiteral("VP")), 9600, QStringLiteral("Motorola Binary"));
        QVERIFY(rig.detection().initialiseReceiver());
        QVERIFY(rig.raw.contains(QStringLiteral("@@Ha Timeout - not a 12-channel Rcvr")));
        QVERIFY(rig.raw.contains(QStringLiteral("@@Ea OK - must be a 8-channel Rcvr")));
        QVERIFY(rig.raw.contains(QStringLiteral("@@Bh Timeout - must be a non-DGPS Rcvr")));
        QVERIFY(rig.raw.contains(QStringLiteral("@@En Timeout - must not have T-RAIM")));
        // The 6-channel probe is not needed once the 8-channel one answered.
        QCOMPARE(rig.count("@@Ba"), 1);   // the stop command of step c only
        QCOMPARE(rig.state().channelCount, 8);
        QVERIFY(!rig.state().hasTraim);
    }

    void oldSsrFirmwareStaysInBinary()
    {
        SimulatedReceiverConfig config = model(QStringLiteral("SSR-6Tr"));
        config.identification.softwareRevision = "20";
        Rig rig(config, 9600, QStringLiteral("Motorola NMEA"));
        QCOMPARE(rig.state().receiverMode, 1);

        QVERIFY(rig.detection().initialiseReceiver());
        QCOMPARE(rig.state().firmwareVersionText, QStringLiteral("4.20"));
        QVERIFY(!rig.state().nmeaCapable);
        QCOMPARE(rig.informations,
                 QStringList({ "GPS Receiver|This receiver has no NMEA mode - staying in Motorola Binary.\n\nMotorola NMEA "
                               "needs Synergy SSR firmware V4.21 or later; this receiver reports V4.20." }));
        QVERIFY(rig.raw.contains(QStringLiteral("Receiver does not support NMEA mode - staying in Motorola Bin")));
        QVERIFY(rig.status.contains(QStringLiteral("Receiver has no NMEA mode - Motorola Bin")));
        QCOMPARE(rig.state().receiverMode, 2);
        QCOMPARE(rig.stored(GpsPortSettings::keyMode()).toString(), QStringLiteral("Motorola Binary"));
        QCOMPARE(rig.stored(QStringLiteral("MainWindow/Mode")).toInt(), 2);
        QCOMPARE(rig.count("@@Ci"), 0);          // never told to switch to NMEA
        QCOMPARE(rig.count("$PMOTG,FOR,0"), 3);  // twice to leave NMEA, once more when staying
        QCOMPARE(rig.written.last().bytes.toHex(), QByteArray("4040426201210d0a"));   // "@@Bb" 01
        QVERIFY(rig.state().lastBbTime > 0);
        QCOMPARE(rig.detection().description(), QStringLiteral("SSR-6Tr, Bin, 12 ch, V4.20, TRAIM"));
    }

    void nmeaWantedGoesToNmea()
    {
        Rig rig(model(QStringLiteral("M12+")), 9600, QStringLiteral("Motorola NMEA"));
        QVERIFY(rig.detection().initialiseReceiver());
        QCOMPARE(rig.state().receiverMode, 1);
        QCOMPARE(rig.detection().description(), QStringLiteral("Motorola M12+, NMEA Mode, 12 ch, V2.0, TRAIM"));
        QCOMPARE(rig.count("@@Ci"), 1);   // the unit answered the time sentence at once
        QCOMPARE(rig.stored(GpsPortSettings::keyMode()).toString(), QStringLiteral("Motorola NMEA"));
        QCOMPARE(rig.stored(QStringLiteral("MainWindow/Mode")).toInt(), 1);
        QStringList tail;
        for (qsizetype i = rig.written.size() - 6; i < rig.written.size(); ++i)
            tail << QString::fromLatin1(rig.written.at(i).bytes.left(15));
        QCOMPARE(tail, QStringList({ "$PMOTG,GLL,0000", "$PMOTG,VTG,0000", "$PMOTG,GGA,0001", "$PMOTG,GSA,0001",
                                     "$PMOTG,GSV,0001", "$PMOTG,RMC,0001" }));

        // Found in NMEA the next time: one request for binary output, then the same set-up.
        rig.written.clear();
        QVERIFY(rig.detection().initialiseReceiver());
        QCOMPARE(rig.count("$PMOTG,FOR,0"), 1);
        QCOMPARE(rig.state().receiverMode, 1);
        QCOMPARE(rig.detection().description(), QStringLiteral("Motorola M12+, NMEA Mode, 12 ch, V2.0, TRAIM"));
    }

    void searchFindsNmeaOutput()
    {
        SimulatedReceiverConfig config = model(QStringLiteral("UT+"));
        config.dataRate = 4800;
        Rig rig(config, 9600, QStringLiteral("Search"));
        leaveInNmea(rig.rx);
        QVERIFY(rig.detection().searchReceiver());
        QCOMPARE(rig.state().receiverMode, 1);
        QCOMPARE(rig.sent("$PMOTG,ZDA"), QStringList({ "$PMOTG,ZDA@9600", "$PMOTG,ZDA@4800" }));
        QCOMPARE(rig.count("@@Cj"), 0);
        QCOMPARE(rig.stored(GpsPortSettings::keyDataRate()).toInt(), 4800);
    }

    void nmeaSettingsReapplied()
    {
        Rig rig(model(QStringLiteral("M12+")), 9600, QStringLiteral("Motorola NMEA"));
        QVERIFY(rig.detection().initialiseReceiver());
        QList<int> modesWhileApplying;
        rig.detection().hooks().applyReceiverSettings = [&] { modesWhileApplying << rig.state().receiverMode; };
        rig.written.clear();
        rig.status.clear();

        rig.detection().applyMotorolaNmeaSettings();

        QCOMPARE(modesWhileApplying, QList<int>({ 2 }));
        QCOMPARE(rig.state().receiverMode, 1);
        QCOMPARE(rig.written.first().bytes, Frames::nmea("PMOTG,FOR,0"));
        QCOMPARE(rig.count("@@Ci"), 1);
        QCOMPARE(rig.status.first(), QStringLiteral("Applying receiver settings..."));
        // The label shows the description again.
        QCOMPARE(rig.status.last(), QStringLiteral("Motorola M12+, NMEA Mode, 12 ch, V2.0, TRAIM"));
        QCOMPARE(rig.written.last().bytes, Frames::nmea("PMOTG,RMC,0001"));

        // Nothing happens outside the NMEA mode.
        rig.state().receiverMode = 2;
        rig.written.clear();
        rig.detection().applyMotorolaNmeaSettings();
        QVERIFY(rig.written.isEmpty());
    }

    void ssrFollowsConfiguredRate_data()
    {
        QTest::addColumn<bool>("accepts");
        QTest::newRow("accepts 19200") << true;
        QTest::newRow("refuses") << false;
    }
    void ssrFollowsConfiguredRate()
    {
        // Configured for 19200, the unit is found in NMEA at 9600 (its last good rate): it is asked
        // to move to the configured rate before going back to NMEA.
        QFETCH(bool, accepts);
        SimulatedReceiverConfig config = model(QStringLiteral("SSR-6Tf"));
        config.dataRate = 9600;
        Rig rig(config, 19200, QStringLiteral("Search"));
        leaveInNmea(rig.rx);
        if (!accepts)
            rig.rx.receiver().setIgnoredCommands({ "Wb" });
        rig.detection().setLastGoodRate(9600);

        QVERIFY(rig.detection().initialiseReceiver());

        QCOMPARE(rig.sent("@@Wb"), QStringList({ "@@Wb@9600" }));
        const auto wb = std::find_if(rig.written.begin(), rig.written.end(),
                                     [](const Written &w) { return w.bytes.startsWith("@@Wb"); });
        QCOMPARE(wb->bytes.toHex(), QByteArray("404057624192e60d0a"));
        QCOMPARE(rig.state().receiverMode, 1);
        QCOMPARE(rig.detection().description(), QStringLiteral("Motorola SSR-6TfNMEA Mode, 12 ch, V4.21, TRAIM"));
        const int rate = accepts ? 19200 : 9600;
        QCOMPARE(rig.rx.receiver().dataRate(), rate);
        QCOMPARE(rig.stored(GpsPortSettings::keyDataRate()).toInt(), rate);
        QCOMPARE(rig.detection().pendingOldRate(), accepts ? 9600 : 0);
        QCOMPARE(rig.detection().pendingNewRate(), accepts ? 19200 : 0);
        QCOMPARE(rig.status.contains(QStringLiteral("Receiver did not accept the rate change - staying at the current rate")),
                 !accepts);
        // Identification after the change: at the new rate, and when unanswered there, twice more
        // at the old one.
        const QStringList cj = rig.sent("@@Cj");
        QCOMPARE(cj.mid(cj.size() - (accepts ? 1 : 3)),
                 accepts ? QStringList({ "@@Cj@19200" }) : QStringList({ "@@Cj@19200", "@@Cj@19200", "@@Cj@9600" }));
    }

    void nmeaProbeIgnoresOtherSentences_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("answered");
        QTest::newRow("default output") << Frames::nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,")
                + Frames::nmea("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W")
                + Frames::nmea("GPGSV,1,1,01,12,45,123,40")
                                        << false;
        QTest::newRow("another talker's ZDA") << Frames::nmea("GNZDA,123519.00,23,03,2024,00,00") << false;
        QTest::newRow("GPZDA") << Frames::nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,")
                + Frames::nmea("GPZDA,123519.00,23,03,2024,00,00")
                               << true;
        QTest::newRow("PMOTG") << Frames::nmea("PMOTG,ZDA,0001") << true;
    }
    void nmeaProbeIgnoresOtherSentences()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, answered);
        Rig rig(SimulatedReceiverConfig(), 4800, QStringLiteral("Motorola NMEA"),
                [reply](const QByteArray &w) { return w.startsWith("$PMOTG,ZDA") ? reply : QByteArray(); });
        QCOMPARE(rig.detection().probeMode(1), answered);
        QCOMPARE(rig.state().receiverMode, 1);
        QCOMPARE(rig.sent("$PMOTG,ZDA,0001"), QStringList({ "$PMOTG,ZDA,0001@4800" }));
        QCOMPARE(rig.written.first().bytes, Frames::nmea("PMOTG,ZDA,0001"));
    }

    void ubloxSetUp_data()
    {
        QTest::addColumn<bool>("answers");
        QTest::newRow("answers MON-VER") << true;
        QTest::newRow("silent") << false;
    }
    void ubloxSetUp()
    {
        QFETCH(bool, answers);
        QByteArray payload = QByteArray("ROM CORE 1.00 (59842)").leftJustified(30, '\0') + QByteArray("00070000").leftJustified(10, '\0');
        const QByteArray monVer = Ubx::withChecksum(Ubx::frame(Ubx::Mon, 0x04, payload));
        Rig rig(SimulatedReceiverConfig(), 9600, QStringLiteral("u-blox UBX"), [&](const QByteArray &w) {
            return answers && w.startsWith(Ubx::monVerPoll()) ? monVer : QByteArray();
        });
        QCOMPARE(rig.detection().initialiseReceiver(), answers);
        QCOMPARE(rig.state().receiverModel, 20);
        QCOMPARE(rig.state().channelCount, 16);
        QCOMPARE(rig.terms.last(), qMakePair(10.0, 100.0));
        QVERIFY(rig.status.contains(QStringLiteral("Initialization: Set up u-blox GPS Receiver...")));
        // The port set-up goes first, at the configured rate (9600 = 80 25 00 00).
        QVERIFY(rig.written.first().bytes.startsWith(QByteArray::fromHex("b5620600140001000000c0080000802500000300030000000000")));
        if (answers) {
            QCOMPARE(rig.detection().description(), QStringLiteral("u-blox UBX Mode"));
            QCOMPARE(rig.state().navigationState, 0);
            QCOMPARE(rig.state().firmwareVersionText, QStringLiteral("ROM CORE 1.00 (59842)"));
        } else {
            QCOMPARE(rig.status.last(), QStringLiteral("UBX ERROR: COM port setup failure"));
            QVERIFY(rig.raw.contains(QStringLiteral(" Timeout - no response to MON-VER request")));
            QCOMPARE(rig.written.size(), 2);   // nothing after the unanswered check
        }
    }

    void searchFallsBackToUblox()
    {
        // Nothing Motorola answers at the configured 4800; a u-blox unit answers MON-VER at 9600
        // and is then set up at the configured rate.
        const QByteArray monVer = Ubx::withChecksum(Ubx::frame(Ubx::Mon, 0x04, QByteArray(40, '1')));
        Rig rig(SimulatedReceiverConfig(), 4800, QStringLiteral("Search"), [&](const QByteArray &w) {
            return w.startsWith(Ubx::monVerPoll()) ? monVer : QByteArray();
        });

        QVERIFY(rig.detection().initialiseReceiver());

        QStringList probes;
        for (const Written &w : rig.written) {
            if (w.bytes.startsWith("$PMOTG,ZDA"))
                probes << QStringLiteral("ZDA@%1").arg(w.rate);
            else if (w.bytes.startsWith("@@Cj"))
                probes << QStringLiteral("Cj@%1").arg(w.rate);
            else if (w.bytes == "T0\r\n")
                probes << QStringLiteral("T0@%1").arg(w.rate);
            else if (w.bytes.startsWith(Ubx::monVerPoll()))
                probes << QStringLiteral("MON-VER@%1").arg(w.rate);
            else if (w.bytes.startsWith(Ubx::cfgPrt(4800)))
                probes << QStringLiteral("CFG-PRT@%1").arg(w.rate);
        }
        QCOMPARE(probes, QStringList({ "ZDA@4800", "Cj@4800", "T0@1200", "MON-VER@9600", "CFG-PRT@4800", "MON-VER@4800" }));
        QCOMPARE(rig.sent("$PMOTG"), QStringList({ "$PMOTG@4800", "$PMOTG@4800", "$PMOTG@4800", "$PMOTG@4800",
                                                   "$PMOTG@4800", "$PMOTG@4800", "$PMOTG@4800" }));
        QCOMPARE(rig.state().receiverMode, 9);
        QCOMPARE(rig.stored(GpsPortSettings::keyMode()).toString(), QStringLiteral("u-blox UBX"));
        QCOMPARE(rig.stored(GpsPortSettings::keyDataRate()).toInt(), 4800);
        QCOMPARE(rig.detection().description(), QStringLiteral("u-blox UBX Mode"));
    }

    void genericNmeaNeedsNoReceiver()
    {
        Rig rig(SimulatedReceiverConfig(), 4800, QStringLiteral("Generic NMEA"), [](const QByteArray &) { return QByteArray(); });
        rig.state().receiverModel = 4;
        rig.state().hasTraim = true;
        QVERIFY(rig.detection().initialiseReceiver());
        QCOMPARE(rig.state().receiverModel, 15);
        QCOMPARE(rig.state().channelCount, -1);
        QCOMPARE(rig.state().channelCountUsed, -1);
        QVERIFY(!rig.state().hasTraim);
        QCOMPARE(rig.descriptions, QStringList({ "Generic NMEA GPS Receiver" }));
        QVERIFY(rig.written.isEmpty());
        QCOMPARE(rig.stored(QStringLiteral("MainWindow/Mode")).toInt(), 6);
    }

    void threeFailuresWarnOnce()
    {
        Rig rig(model(QStringLiteral("M12+")), 9600, QStringLiteral("Motorola Binary"));
        rig.rx.receiver().setIgnoredCommands({ "Cj" });

        rig.detection().connectReceiver();

        QCOMPARE(rig.warnings,
                 QStringList({ "GPS Receiver not found|Go to the menu and select Edit/Set Serial Port. There you can select "
                               "a different serial port, and/or select a different receiver type." }));
        QCOMPARE(rig.status.count(QStringLiteral("GPS receiver not found - retrying (attempt 2 of 3)...")), 1);
        QCOMPARE(rig.status.count(QStringLiteral("GPS receiver not found - retrying (attempt 3 of 3)...")), 1);
        QCOMPARE(rig.status.count(QStringLiteral("ERROR: Motorola GPS Receiver Not Found")), 3);
        // Each attempt: the probe and its retry, then the identification of the set-up.
        QCOMPARE(rig.count("@@Cj"), 9);
        QCOMPARE(rig.raw.count(QStringLiteral("<- @@Cj (retry)")), 3);
        QCOMPARE(rig.actionStates, QList<bool>({ false, true }));
        QCOMPARE(rig.state().receiverMode, 2);
        QVERIFY(!rig.state().receiverBusy);
        QVERIFY(rig.descriptions.isEmpty());
    }

    void pendingRateChangeIsUndone()
    {
        // The receiver was told to go to 19200 and has not been heard since; once told to go back
        // to 9600 it answers again.
        SimulatedReceiverConfig config = model(QStringLiteral("M12+"));
        config.dataRate = 19200;
        Rig rig(config, 19200, QStringLiteral("Motorola Binary"));
        rig.rx.receiver().setIgnoredCommands({ "Cj" });
        rig.onWrite = [&rig](const QByteArray &bytes) {
            if (bytes.startsWith("@@Wb"))
                rig.rx.receiver().setIgnoredCommands({});
        };
        rig.detection().setPendingRates(9600, 19200);

        rig.detection().connectReceiver();

        QVERIFY(rig.warnings.isEmpty());
        QCOMPARE(rig.sent("@@Wb"), QStringList({ "@@Wb@19200" }));
        const auto wb = std::find_if(rig.written.begin(), rig.written.end(),
                                     [](const Written &w) { return w.bytes.startsWith("@@Wb"); });
        QCOMPARE(wb->bytes.toHex(), QByteArray("404057620000350d0a"));
        QVERIFY(rig.status.contains(QStringLiteral("GPS receiver not found - returning it to the previous rate...")));
        QVERIFY(rig.status.contains(QStringLiteral("GPS receiver returned to its previous rate")));
        QCOMPARE(rig.rx.receiver().dataRate(), 9600);
        QCOMPARE(rig.stored(GpsPortSettings::keyDataRate()).toInt(), 9600);
        QCOMPARE(rig.detection().pendingNewRate(), 0);
        QCOMPARE(rig.detection().pendingOldRate(), 0);
        QCOMPARE(rig.state().receiverMode, 2);
        QCOMPARE(rig.detection().description(), QStringLiteral("Motorola M12+, Bin, 12 ch, V2.0, TRAIM"));
    }

    void returnWithoutPendingRatesDoesNothing()
    {
        Rig rig(model(QStringLiteral("M12+")), 9600, QStringLiteral("Motorola Binary"));
        QVERIFY(!rig.detection().returnToPreviousRate());
        rig.detection().setPendingRates(2400, 9600);   // no rate command for 2400
        QVERIFY(!rig.detection().returnToPreviousRate());
        QVERIFY(rig.written.isEmpty());
        QVERIFY(rig.status.isEmpty());
    }

    void rateChangeWhileRunning()
    {
        Rig rig(model(QStringLiteral("M12+")), 9600, QStringLiteral("Motorola Binary"));
        QVERIFY(rig.detection().initialiseReceiver());
        rig.written.clear();

        rig.detection().changePortRate(9600, 19200);

        QCOMPARE(rig.written.first().bytes.toHex(), QByteArray("404057624192e60d0a"));
        QCOMPARE(rig.written.first().rate, 9600);
        QCOMPARE(rig.rx.receiver().dataRate(), 19200);
        QCOMPARE(rig.stored(GpsPortSettings::keyDataRate()).toInt(), 19200);
        QCOMPARE(rig.sent("@@Cj"), QStringList({ "@@Cj@19200" }));
        QCOMPARE(rig.detection().pendingNewRate(), 0);
        QCOMPARE(rig.count("$PMOTG"), 0);   // answered: no new search
        QVERIFY(rig.warnings.isEmpty());
    }

    void rateChangeWhileRunningInNmea()
    {
        Rig rig(model(QStringLiteral("SSR-6Tf")), 9600, QStringLiteral("Motorola NMEA"));
        QVERIFY(rig.detection().initialiseReceiver());
        QCOMPARE(rig.state().receiverMode, 1);
        rig.written.clear();

        rig.detection().changePortRate(9600, 19200);

        // The SSR rate command goes out at the old rate without waiting for its binary echo; the
        // unit is then heard at the new rate.
        QCOMPARE(rig.written.first().bytes.toHex(), QByteArray("404057624192e60d0a"));
        QCOMPARE(rig.written.first().rate, 9600);
        QCOMPARE(rig.rx.receiver().dataRate(), 19200);
        QCOMPARE(rig.sent("$PMOTG,ZDA").last(), QStringLiteral("$PMOTG,ZDA@19200"));
        QCOMPARE(rig.count("@@Cj"), 0);
        QCOMPARE(rig.state().receiverMode, 1);
        QVERIFY(rig.warnings.isEmpty());
    }

    void shutdownDuringRetryEndsAtOnce()
    {
        Rig rig(model(QStringLiteral("M12+")), 9600, QStringLiteral("Motorola Binary"));
        rig.rx.receiver().setIgnoredCommands({ "Cj" });
        // The first attempt fails quickly; the second waits as long as a real one would, and the
        // program starts to close while it waits.
        rig.detection().setTiming({ 200, 200, 5 });
        QElapsedTimer sinceClosing;
        qsizetype writesAtClosing = -1;
        QObject::connect(&rig.detection(), &ReceiverDetection::statusText, [&](const QString &text) {
            if (text != ReceiverDetection::retryText(2))
                return;
            rig.detection().setTiming({ 5000, 5000, 100 });
            QTimer::singleShot(100, [&] {
                rig.station.setClosing();
                writesAtClosing = rig.written.size();
                sinceClosing.start();
            });
        });

        rig.detection().connectReceiver();

        QVERIFY(sinceClosing.isValid());
        QVERIFY2(sinceClosing.elapsed() < 2500, qPrintable(QString::number(sinceClosing.elapsed())));
        QCOMPARE(rig.written.size(), writesAtClosing);
        QVERIFY(!rig.status.contains(ReceiverDetection::retryText(3)));
        QVERIFY(rig.warnings.isEmpty());
    }
};

} // namespace detection_tests

// Receiver detection against the simulated u-blox timing module, through the real link: the
// search falls through the Motorola probes to the UBX probe at 9600 and sets the unit up in
// "u-blox UBX"; a configured "u-blox NMEA" unit is set up for NMEA; a unit that never answers
// MON-VER fails the set-up. What the unit was left sending is read back from the simulation.
namespace detection_ublox_tests {

namespace {

// The simulated receiver runs this many times faster than real time; the detection's waits
// are shortened to match.
constexpr double SimSpeed = 20.0;
constexpr int AnswerMs = 450;
constexpr int DelayPercent = 5;

SimulatedReceiverConfig ubloxModel(int rate = 9600, const QString &model = QStringLiteral("LEA-6T"))
{
    bool ok = false;
    SimulatedReceiverConfig c = SimulatedReceiverConfig::forModel(model, &ok);
    Q_ASSERT(ok && c.ublox);
    c.dataRate = rate;
    return c;
}

struct Rig
{
    TestSupport::TemporarySettings settings;
    SimulatedReceiverTransport rx;
    QList<Written> written;
    Station station;
    QStringList raw, status, descriptions;

    Rig(const SimulatedReceiverConfig &config, int portRate, const QString &modeText)
        : rx(config, SimulationClock::startingAt(QDateTime::currentDateTimeUtc(), SimSpeed))
    {
        QSettings s;
        s.setValue(GpsPortSettings::keyPort(), GpsPortSettings::simulatorPortName());
        s.setValue(GpsPortSettings::keyDataRate(), portRate);
        s.setValue(GpsPortSettings::keyMode(), modeText);
        s.setValue(GpsPortSettings::keyPpsInterface(), 0);
        station.link().transportFactory().registerTransport(GpsPortSettings::simulatorPortName(), [this] {
            return std::make_unique<SharedReceiverPort>(rx, &written);
        });
        station.commandChannel().setPauseMs(0);

        ReceiverDetection &d = detection();
        d.setTiming({ AnswerMs, AnswerMs, DelayPercent });
        QObject::connect(&d, &ReceiverDetection::rawDataText, [this](const QString &t) { raw << t; });
        QObject::connect(&d, &ReceiverDetection::statusText, [this](const QString &t) { status << t; });
        QObject::connect(&d, &ReceiverDetection::receiverDescription,
                         [this](const QString &t) { descriptions << t; });
        station.readPortSettings(s);
        station.link().startGpsSerialPort(false);
    }

    ReceiverDetection &detection() { return station.detection(); }
    ReceiverState &state() { return station.state(); }
    SimulatedUblox &unit() { return *rx.receiver().ublox(); }
    QVariant stored(const QString &key) const { return QSettings().value(key); }

    // The probes in the order they went out, as "name@rate".
    QStringList probes() const
    {
        QStringList out;
        for (const Written &w : written) {
            if (w.bytes.startsWith("$PMOTG,ZDA"))
                out << QStringLiteral("ZDA@%1").arg(w.rate);
            else if (w.bytes.startsWith("@@Cj"))
                out << QStringLiteral("Cj@%1").arg(w.rate);
            else if (w.bytes == "T0\r\n")
                out << QStringLiteral("T0@%1").arg(w.rate);
            else if (w.bytes.startsWith(Ubx::monVerPoll()))
                out << QStringLiteral("MON-VER@%1").arg(w.rate);
            else if (w.bytes.startsWith(QByteArray::fromHex("b56206001400")))
                out << QStringLiteral("CFG-PRT@%1").arg(w.rate);
        }
        return out;
    }
};

// Output rates of the unit, as "name=rate" for the messages the set-up touches.
QStringList outputs(const SimulatedUblox &u)
{
    static const struct
    {
        const char *name;
        uint8_t cls, id;
    } messages[] = {
        { "GGA", 0xF0, 0x00 }, { "GLL", 0xF0, 0x01 }, { "GSA", 0xF0, 0x02 }, { "GSV", 0xF0, 0x03 },
        { "RMC", 0xF0, 0x04 }, { "VTG", 0xF0, 0x05 }, { "ZDA", 0xF0, 0x08 }, { "TXT", 0xF0, 0x41 },
        { "NAV-TIMEUTC", 0x01, 0x21 }, { "NAV-TIMEGPS", 0x01, 0x20 }, { "NAV-POSLLH", 0x01, 0x02 },
        { "NAV-STATUS", 0x01, 0x03 }, { "NAV-DOP", 0x01, 0x04 }, { "NAV-SVINFO", 0x01, 0x30 },
        { "TIM-TP", 0x0D, 0x01 }, { "TIM-SVIN", 0x0D, 0x04 }, { "MON-HW", 0x0A, 0x09 },
        { "NAV-SAT", 0x01, 0x35 }, { "NAV-PVT", 0x01, 0x07 }, { "MON-RF", 0x0A, 0x38 },
    };
    QStringList out;
    for (const auto &m : messages)
        out << QStringLiteral("%1=%2").arg(QLatin1String(m.name)).arg(u.rate(m.cls, m.id));
    return out;
}

// Runs the event loop until `done` or `ms` of real time.
bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QTest::qWait(10);
    return done();
}

} // namespace

class TestDetectionUblox : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void searchEndsInUbxMode_data()
    {
        QTest::addColumn<int>("mismatch");
        QTest::newRow("silent at other rates") << int(RateMismatch::Silent);
        QTest::newRow("noise at other rates") << int(RateMismatch::Garbage);
    }
    void searchEndsInUbxMode()
    {
        // A factory-fresh unit at 9600 streams GGA, RMC, GSV...: none of it answers a Motorola
        // probe, nor does what the link hears of it at 4800 and 1200, so the search ends with the
        // UBX probe at 9600.
        QFETCH(int, mismatch);
        SimulatedReceiverConfig config = ubloxModel();
        config.rateMismatch = RateMismatch(mismatch);
        Rig rig(config, 9600, QStringLiteral("Search"));
        QCOMPARE(rig.state().receiverMode, 11);

        QVERIFY(rig.detection().initialiseReceiver());

        QCOMPARE(rig.probes(), QStringList({ "ZDA@9600", "ZDA@4800", "Cj@9600", "Cj@4800", "T0@1200", "MON-VER@9600",
                                             "CFG-PRT@9600", "MON-VER@9600" }));
        QCOMPARE(rig.state().receiverMode, 9);
        QCOMPARE(rig.stored(GpsPortSettings::keyMode()).toString(), QStringLiteral("u-blox UBX"));
        QCOMPARE(rig.stored(GpsPortSettings::keyDataRate()).toInt(), 9600);
        QCOMPARE(rig.detection().description(), QStringLiteral("u-blox UBX Mode"));
        QCOMPARE(rig.state().receiverModel, 20);
        QCOMPARE(rig.state().channelCount, 16);
        QCOMPARE(rig.state().firmwareVersionText, QStringLiteral("7.03 (45970)"));
        QVERIFY(!rig.state().receiverBusy);
        // Left sending the UBX timing messages only.
        QCOMPARE(outputs(rig.unit()),
                 QStringList({ "GGA=0", "GLL=0", "GSA=0", "GSV=0", "RMC=0", "VTG=0", "ZDA=0", "TXT=0", "NAV-TIMEUTC=1",
                               "NAV-TIMEGPS=1", "NAV-POSLLH=1", "NAV-STATUS=1", "NAV-DOP=1", "NAV-SVINFO=1", "TIM-TP=1",
                               "TIM-SVIN=1", "MON-HW=1", "NAV-SAT=0", "NAV-PVT=0", "MON-RF=0" }));
        QVERIFY(rig.unit().receivedFrames().contains("06 09"));   // saved

        // Its messages now reach the station's state through the link.
        rig.state().ppsQuantizationErrorValid = false;
        QVERIFY(waitFor([&] { return rig.state().ppsQuantizationErrorValid; }, 3000));
        QVERIFY(waitFor([&] { return rig.state().trackedCount.value > 0; }, 3000));
        QCOMPARE(rig.state().leapSeconds, 18);
    }

    void configuredModes_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("modeText");
        QTest::addColumn<int>("rate");   // unit and port
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("firmware");
        QTest::addColumn<int>("valSets");   // CFG-VALSET frames the unit received
        QTest::addColumn<QStringList>("left");
        const QStringList ubx { "GGA=0", "GLL=0", "GSA=0", "GSV=0", "RMC=0", "VTG=0", "ZDA=0", "TXT=0", "NAV-TIMEUTC=1",
                                "NAV-TIMEGPS=1", "NAV-POSLLH=1", "NAV-STATUS=1", "NAV-DOP=1", "NAV-SVINFO=1", "TIM-TP=1",
                                "TIM-SVIN=1", "MON-HW=1", "NAV-SAT=0", "NAV-PVT=0", "MON-RF=0" };
        const QStringList nmea { "GGA=1", "GLL=0", "GSA=1", "GSV=1", "RMC=1", "VTG=0", "ZDA=1", "TXT=0", "NAV-TIMEUTC=0",
                                 "NAV-TIMEGPS=0", "NAV-POSLLH=0", "NAV-STATUS=0", "NAV-DOP=0", "NAV-SVINFO=0", "TIM-TP=0",
                                 "TIM-SVIN=0", "MON-HW=0", "NAV-SAT=0", "NAV-PVT=0", "MON-RF=0" };
        QStringList m8 = ubx;
        m8.replaceInStrings("NAV-SVINFO=1", "NAV-SVINFO=0").replaceInStrings("NAV-SAT=0", "NAV-SAT=1").replaceInStrings("NAV-PVT=0", "NAV-PVT=1");
        // Generation 9: the same outputs through configuration keys, MON-RF for MON-HW; its text
        // output is not a message rate and stays on.
        QStringList f9 = m8;
        f9.replaceInStrings("MON-HW=1", "MON-HW=0").replaceInStrings("MON-RF=0", "MON-RF=1").replaceInStrings("TXT=0", "TXT=1");
        QTest::newRow("u-blox NMEA at 9600") << "LEA-6T" << "u-blox NMEA" << 9600 << 10 << "u-blox NMEA Mode" << "7.03 (45970)" << 0 << nmea;
        QTest::newRow("u-blox NMEA at 38400") << "LEA-6T" << "u-blox NMEA" << 38400 << 10 << "u-blox NMEA Mode" << "7.03 (45970)" << 0 << nmea;
        QTest::newRow("u-blox UBX at 19200") << "LEA-6T" << "u-blox UBX" << 19200 << 9 << "u-blox UBX Mode" << "7.03 (45970)" << 0 << ubx;
        QTest::newRow("NEO-M8T") << "NEO-M8T" << "u-blox UBX" << 9600 << 9 << "u-blox UBX Mode" << "ROM CORE 3.01 (107888)" << 0 << m8;
        // Four set-up frames, then navigation and time mode from the receiver settings.
        QTest::newRow("ZED-F9T") << "ZED-F9T" << "u-blox UBX" << 38400 << 9 << "u-blox UBX Mode" << "EXT CORE 1.00 (535349)" << 6 << f9;
    }
    void configuredModes()
    {
        QFETCH(QString, model);
        QFETCH(QString, modeText);
        QFETCH(int, rate);
        QFETCH(int, mode);
        QFETCH(QString, description);
        QFETCH(QString, firmware);
        QFETCH(int, valSets);
        QFETCH(QStringList, left);
        Rig rig(ubloxModel(rate, model), rate, modeText);

        QVERIFY(rig.detection().initialiseReceiver());

        // No search: the port set-up and the MON-VER check at the configured rate come first.
        QCOMPARE(rig.probes(), QStringList({ QStringLiteral("CFG-PRT@%1").arg(rate), QStringLiteral("MON-VER@%1").arg(rate) }));
        QCOMPARE(rig.state().receiverMode, mode);
        QCOMPARE(rig.stored(GpsPortSettings::keyMode()).toString(), modeText);
        QVERIFY(rig.status.contains(QStringLiteral("Initialization: Set up u-blox GPS Receiver...")));
        if (mode == 10)
            QVERIFY(rig.status.contains(QStringLiteral("u-blox NMEA Mode")));
        else
            QVERIFY(!rig.status.contains(QStringLiteral("u-blox NMEA Mode")));
        QCOMPARE(rig.detection().description(), description);
        QCOMPARE(rig.state().navigationState, 0);
        QCOMPARE(rig.state().firmwareVersionText, firmware);
        QCOMPARE(outputs(rig.unit()), left);
        QCOMPARE(rig.rx.receiver().dataRate(), rate);
        QCOMPARE(rig.unit().receivedFrames().count("06 8A"), valSets);
        QVERIFY2(!rig.status.join('|').contains("refused") && !rig.raw.join('|').contains("refused"), qPrintable(rig.status.join('|')));
        if (mode == 9)   // the satellite table fills from the unit's output
            QVERIFY(waitFor([&] { return rig.state().visibleCount.value >= 4; }, 3000));

        // What the unit now sends keeps the station's receiver time going.
        const QDateTime before = rig.state().receiverUtcDateTime.dateTime();
        QVERIFY(waitFor([&] {
            const QDateTime now = rig.state().receiverUtcDateTime.dateTime();
            return now.isValid() && (!before.isValid() || now > before);
        }, 3000));
    }

    void silentUnitFailsTheSetUp()
    {
        Rig rig(ubloxModel(), 9600, QStringLiteral("u-blox UBX"));
        rig.rx.receiver().setIgnoredCommands({ "0A 04" });   // MON-VER never answered

        QVERIFY(!rig.detection().initialiseReceiver());

        QCOMPARE(rig.status.last(), QStringLiteral("UBX ERROR: COM port setup failure"));
        QVERIFY(rig.raw.contains(QStringLiteral(" Timeout - no response to MON-VER request")));
        // Nothing after the unanswered check: the unit keeps its factory NMEA output.
        QCOMPARE(rig.probes(), QStringList({ "CFG-PRT@9600", "MON-VER@9600" }));
        QCOMPARE(rig.written.size(), 2);
        QCOMPARE(rig.unit().rate(0xF0, 0x00), 1);
        QCOMPARE(rig.unit().rate(0x01, 0x21), 0);
    }

    void ubxTimeoutIsNamedUblox()
    {
        // The debug-log line of an unanswered UBX command names the family and shows the bytes.
        QCOMPARE(ReceiverCommandChannel::timeoutText(AnswerFamily::Ublox, Ubx::monVerPoll()),
                 QStringLiteral("Timeout: no response to u-blox Cmd <B5><62><0A><04><00><00>"));
        QCOMPARE(ReceiverCommandChannel::timeoutText(AnswerFamily::MotorolaBinary, "@@Cj"),
                 QStringLiteral("Timeout: no response to Motorola Cmd @@Cj"));
    }
};

} // namespace detection_ublox_tests

namespace loran_tests {

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

// A station whose receiver port is a fake receiver answering "T0" at 1200 baud; the raw-data
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
            auto t = std::make_unique<FakeTransport>(GpsPortSettings::simulatorPortName());
            t->answer = [this, answer](const QByteArray &w, int rate) {
                written.append(w);
                return w == "T0\r\n" && rate == 1200 ? answer : QByteArray();
            };
            return t;
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

    void lines_data()
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
    void lines()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<QByteArray>, expected);
        QFETCH(bool, stillPending);
        const Framed out = frameLoran(chunks);
        QCOMPARE(out.frames, expected);
        QCOMPARE(out.ppsPending, stillPending);
    }

    void endlessLineStaysBounded()
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

    void modeChangeDropsPartialLine()
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

    void probe_data()
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
    void probe()
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

    void searchEndsInLoranMode()
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
};

} // namespace loran_tests

CHRONODE_TEST_MAIN(detection_tests::TestDetection, detection_ublox_tests::TestDetectionUblox, loran_tests::TestLoran)
#include "tst_detection.moc"
