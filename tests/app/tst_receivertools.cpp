#include "support/RecordingAveraging.h"
#include "support/TestSupport.h"

#include "core/ReceiverState.h"
#include "app/ReceiverTools.h"
#include "receiver/DecoderContext.h"
#include "core/ReceiverMode.h"

#include <QTest>

namespace {

// Answers every box with `yes` and keeps what was shown.
struct ScriptedUser
{
    bool yes = true;
    QList<ReceiverTools::Prompt> shown;
    ReceiverTools::AskUser asker()
    {
        return [this](const ReceiverTools::Prompt &p) {
            shown << p;
            return yes;
        };
    }
};

const QString kSelfTestTitle = QStringLiteral("<b>GPS Receiver Self Test</b>");
const QString kSelfSurveyTitle = QStringLiteral("<b>GPS Receiver Self Survey</b>");

// u-blox survey-in: TIM-SVIN on, CFG-TMODE and CFG-TMODE2 (checksums come later).
const QList<QByteArray> kUbloxSurvey = {
    QByteArray::fromHex("B56206010300" "0D0401"),
    QByteArray::fromHex("B562061D1C00" "01000000" "00000000" "00000000" "00000000" "A00F0000" "90130000" "D0070000"),
    QByteArray::fromHex("B562063D1C00" "01" "00" "0000" "00000000" "00000000" "00000000" "A00F0000" "90130000"
                        "D0070000"),
};

} // namespace

class TestReceiverTools : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void selfTest_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("model");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("shownText");   // empty: no box
        QTest::addColumn<bool>("question");
        QTest::addColumn<QList<QByteArray>>("sent");

        const QString ask = QStringLiteral(
            "Self Test will disable the GPS receiver for about 10 seconds.\r\nWhen the self-test is complete, the "
            "acquisition process starts all \r\nover as if the receiver were first powered on. The date, time, "
            "position \r\nand ephemeris information is all retained.\r\n\r\nUse \"View/View GPS Receiver ID "
            "Message\" to view the results.\r\n\r\nDo you really want to do this?");
        const QString ublox = QStringLiteral("Self Test is not supported on u-blox based receivers.");
        using L = QList<QByteArray>;
        QTest::newRow("M12+ yes") << 2 << int(ReceiverModelCode::M12Plus) << true << ask << true << L { "@@Ia" };
        QTest::newRow("M12+ no") << 2 << int(ReceiverModelCode::M12Plus) << false << ask << true << L {};
        QTest::newRow("SSR-6Tf yes") << 2 << int(ReceiverModelCode::Ssr6Tf) << true << ask << true << L { "@@Ia" };
        QTest::newRow("SSR-M8T yes") << 2 << int(ReceiverModelCode::SsrM8T) << true << ask << true << L { "@@Ia" };
        QTest::newRow("TX Oncore yes") << 2 << int(ReceiverModelCode::TxOncore) << true << ask << true << L { "@@Ia" };
        QTest::newRow("VP yes") << 2 << int(ReceiverModelCode::VP) << true << ask << true << L { "@@Fa" };
        QTest::newRow("UT+ yes") << 2 << int(ReceiverModelCode::UTPlus) << true << ask << true << L { "@@Fa" };
        QTest::newRow("u-blox UBX") << 9 << int(ReceiverModelCode::Ublox) << true << ublox << false << L {};
        QTest::newRow("u-blox NMEA") << 10 << int(ReceiverModelCode::Ublox) << true << ublox << false << L {};
        QTest::newRow("Motorola receive only") << 3 << int(ReceiverModelCode::M12Plus) << true << QString() << false << L {};
        QTest::newRow("Motorola NMEA") << 1 << int(ReceiverModelCode::M12Plus) << true << QString() << false << L {};
        QTest::newRow("generic NMEA") << 6 << int(ReceiverModelCode::GenericNmea) << true << QString() << false << L {};
    }
    void selfTest()
    {
        QFETCH(int, mode);
        QFETCH(int, model);
        QFETCH(bool, yes);
        QFETCH(QString, shownText);
        QFETCH(bool, question);
        QFETCH(QList<QByteArray>, sent);

        ReceiverState state;
        state.receiverMode = mode;
        state.receiverModel = model;
        RecordingCommands sink;
        ScriptedUser user;
        user.yes = yes;
        ReceiverTools::startReceiverSelfTest(state, sink, user.asker());

        if (shownText.isEmpty()) {
            QVERIFY(user.shown.isEmpty());
        } else {
            QCOMPARE(user.shown.size(), 1);
            QCOMPARE(user.shown[0].title, kSelfTestTitle);
            QCOMPARE(user.shown[0].text, shownText);
            QCOMPARE(user.shown[0].question, question);
        }
        QCOMPARE(sink.sent, sent);
    }

    void selfSurvey_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("channels");   // identified channel count, 0 before "@@Cj"
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("noticePart");   // empty: no box
        QTest::addColumn<QList<QByteArray>>("sent");

        const QString motorola = QStringLiteral("It activates 3D navigation mode and activates TRAIM.");
        const QString ublox = QStringLiteral("The internal Auto Survey mode will achieve a horizontal position accuracy");
        using L = QList<QByteArray>;
        QTest::newRow("8 channels") << 2 << int(ReceiverModelCode::UTPlus) << 8 << true << motorola
                                    << L { QByteArray("@@At\x02", 5) };
        QTest::newRow("6 channels") << 2 << int(ReceiverModelCode::PVT6) << 6 << true << motorola
                                    << L { QByteArray("@@At\x02", 5) };
        QTest::newRow("12 channels") << 2 << int(ReceiverModelCode::M12Plus) << 12 << true << motorola
                                     << L { QByteArray("@@Gd\x03", 5) };
        QTest::newRow("11 channels") << 2 << int(ReceiverModelCode::M12Plus) << 11 << true << motorola
                                     << L { QByteArray("@@At\x02", 5) };
        QTest::newRow("count from the M12+ model") << 2 << int(ReceiverModelCode::M12Plus) << 0 << true << motorola
                                                   << L { QByteArray("@@Gd\x03", 5) };
        QTest::newRow("count from the VP model") << 2 << int(ReceiverModelCode::VP) << 0 << true << motorola
                                                 << L { QByteArray("@@At\x02", 5) };
        QTest::newRow("Motorola no") << 2 << int(ReceiverModelCode::M12Plus) << 12 << false << motorola << L {};
        QTest::newRow("u-blox UBX yes") << 9 << int(ReceiverModelCode::Ublox) << 16 << true << ublox << kUbloxSurvey;
        QTest::newRow("u-blox NMEA yes") << 10 << int(ReceiverModelCode::Ublox) << 16 << true << ublox << kUbloxSurvey;
        QTest::newRow("u-blox no") << 9 << int(ReceiverModelCode::Ublox) << 16 << false << ublox << L {};
        QTest::newRow("receive only") << 3 << int(ReceiverModelCode::M12Plus) << 12 << true << QString() << L {};
        QTest::newRow("generic NMEA") << 6 << int(ReceiverModelCode::GenericNmea) << 12 << true << QString() << L {};
    }
    void selfSurvey()
    {
        QFETCH(int, mode);
        QFETCH(int, model);
        QFETCH(int, channels);
        QFETCH(bool, yes);
        QFETCH(QString, noticePart);
        QFETCH(QList<QByteArray>, sent);

        ReceiverState state;
        state.receiverMode = mode;
        state.receiverModel = model;
        state.channelCount = channels;
        RecordingCommands sink;
        ScriptedUser user;
        user.yes = yes;
        ReceiverTools::startReceiverSelfSurvey(state, sink, user.asker());

        if (noticePart.isEmpty()) {
            QVERIFY(user.shown.isEmpty());
        } else {
            QCOMPARE(user.shown.size(), 1);
            QCOMPARE(user.shown[0].title, kSelfSurveyTitle);
            QVERIFY(user.shown[0].question);
            QVERIFY(user.shown[0].text.startsWith(QStringLiteral("NOTICE: The GPS Receiver internal Self Survey mode")));
            QVERIFY(user.shown[0].text.contains(noticePart));
            QVERIFY(user.shown[0].text.endsWith(QStringLiteral(" \r\nDo you really want to do this?")));
        }
        QCOMPARE(sink.sent, sent);
    }

    // Detection may switch the receiver to another mode while a box waits for the user; the
    // answer then no longer applies to the receiver and nothing is sent.
    void modeChangeWhileAsking()
    {
        ReceiverState state;
        state.receiverMode = ReceiverMode::MotorolaBinary;
        state.receiverModel = ReceiverModelCode::M12Plus;
        state.channelCount = 12;
        RecordingCommands sink;
        int asked = 0;
        const ReceiverTools::AskUser switchToUblox = [&](const ReceiverTools::Prompt &) {
            ++asked;
            state.receiverMode = ReceiverMode::UbloxUbx;
            return true;
        };
        ReceiverTools::startReceiverSelfTest(state, sink, switchToUblox);
        state.receiverMode = ReceiverMode::MotorolaBinary;
        ReceiverTools::startReceiverSelfSurvey(state, sink, switchToUblox);
        QCOMPARE(asked, 2);
        QVERIFY(sink.sent.isEmpty());
    }

    // An M8T surveys through CFG-TMODE2 alone, an F9T through the time-mode keys (RAM and flash).
    void selfSurveyByGeneration_data()
    {
        QTest::addColumn<double>("version");
        QTest::addColumn<QList<QByteArray>>("sent");
        QTest::newRow("M8T") << 22.0 << QList<QByteArray> { kUbloxSurvey[0], kUbloxSurvey[2] };
        QTest::newRow("F9T") << 29.25
                             << QList<QByteArray> { kUbloxSurvey[0], QByteArray::fromHex("B562068A1900" "00050000" "01000320" "01"
                                                                                         "10000340" "90130000" "11000340" "D0070000") };
    }

    void selfSurveyByGeneration()
    {
        QFETCH(double, version);
        QFETCH(QList<QByteArray>, sent);
        ReceiverState state;
        state.receiverMode = 9;
        state.ubxProtocolVersion = version;
        RecordingCommands sink;
        ScriptedUser user;
        user.yes = true;
        ReceiverTools::startReceiverSelfSurvey(state, sink, user.asker());
        QCOMPARE(sink.sent, sent);
    }

};

QTEST_GUILESS_MAIN(TestReceiverTools)
#include "tst_receivertools.moc"
