// Receiver detection against the simulated u-blox timing module, through the real link: the
// search falls through the Motorola probes to the UBX probe at 9600 and sets the unit up in
// "u-blox UBX"; a configured "u-blox NMEA" unit is set up for NMEA; a unit that never answers
// MON-VER fails the set-up. What the unit was left sending is read back from the simulation.

#include "support/TestSupport.h"
#include "support/SharedReceiverPort.h"

#include "app/Station.h"
#include "transport/GpsPortSettings.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "receiver/motorola/MotorolaDecoder.h"
#include "receiver/nmea/NmeaDecoder.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "receiver/setup/ReceiverDetection.h"
#include "sim/SimulatedReceiverTransport.h"
#include "sim/SimulatedUblox.h"
#include "receiver/ubx/UbxConfiguration.h"
#include "receiver/ubx/UbxDecoder.h"

#include <QtTest>
#include <memory>

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
    std::unique_ptr<MotorolaDecoder> motorola;
    std::unique_ptr<NmeaDecoder> nmeaDecoder;
    std::unique_ptr<UbxDecoder> ubx;
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
        const DecoderContext context = station.decoderContext(nullptr);
        motorola = std::make_unique<MotorolaDecoder>(context);
        nmeaDecoder = std::make_unique<NmeaDecoder>(context);
        ubx = std::make_unique<UbxDecoder>(context);
        station.setMotorolaDecoder(motorola.get());
        station.setNmeaDecoder(nmeaDecoder.get());
        station.setUbxDecoder(ubx.get());
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
    void searchEndsInUbxMode_data();
    void searchEndsInUbxMode();
    void configuredModes_data();
    void configuredModes();
    void silentUnitFailsTheSetUp();
    void ubxTimeoutIsNamedUblox();
};

void TestDetectionUblox::searchEndsInUbxMode_data()
{
    QTest::addColumn<int>("mismatch");
    QTest::newRow("silent at other rates") << int(RateMismatch::Silent);
    QTest::newRow("noise at other rates") << int(RateMismatch::Garbage);
}

void TestDetectionUblox::searchEndsInUbxMode()
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

void TestDetectionUblox::configuredModes_data()
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

void TestDetectionUblox::configuredModes()
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

void TestDetectionUblox::silentUnitFailsTheSetUp()
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

void TestDetectionUblox::ubxTimeoutIsNamedUblox()
{
    // The debug-log line of an unanswered UBX command names the family and shows the bytes.
    QCOMPARE(ReceiverCommandChannel::timeoutText(AnswerFamily::Ublox, Ubx::monVerPoll()),
             QStringLiteral("Timeout: no response to u-blox Cmd <B5><62><0A><04><00><00>"));
    QCOMPARE(ReceiverCommandChannel::timeoutText(AnswerFamily::MotorolaBinary, "@@Cj"),
             QStringLiteral("Timeout: no response to Motorola Cmd @@Cj"));
}

QTEST_GUILESS_MAIN(TestDetectionUblox)
#include "tst_detection_ublox.moc"
