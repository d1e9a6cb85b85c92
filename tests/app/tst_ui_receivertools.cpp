// The Tools menu's self test and self survey reach the user through the message boxes and the
// receiver through the command path.

#include "support/TestSupport.h"

#include "app/ui/MainWindow.h"
#include "core/ui/MessageBoxes.h"

#include <QAction>
#include <QTest>

namespace {

struct RecordingSink : ReceiverCommandSink
{
    QList<QByteArray> sent;
    void sendGpsRxCommand(const QByteArray &command) override { sent << command; }
};

} // namespace

class TestUiReceiverTools : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void menuActions_data();
    void menuActions();
};

void TestUiReceiverTools::menuActions_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<int>("boxKind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QList<QByteArray>>("sent");

    const int question = int(MessageBoxes::Kind::Question);
    const int information = int(MessageBoxes::Kind::Information);
    const QString test = QStringLiteral("<b>GPS Receiver Self Test</b>");
    const QString survey = QStringLiteral("<b>GPS Receiver Self Survey</b>");
    using L = QList<QByteArray>;
    QTest::newRow("self test yes") << "actionReceiver_Self_Test" << 2 << QMessageBox::Yes << question << test
                                   << L { "@@Ia" };
    QTest::newRow("self test no") << "actionReceiver_Self_Test" << 2 << QMessageBox::No << question << test << L {};
    QTest::newRow("self test u-blox") << "actionReceiver_Self_Test" << 9 << QMessageBox::Ok << information << test
                                      << L {};
    QTest::newRow("self survey yes") << "actionReceiver_Self_Survey" << 2 << QMessageBox::Yes << question << survey
                                     << L { QByteArray("@@Gd\x03", 5) };
    QTest::newRow("self survey closed") << "actionReceiver_Self_Survey" << 2 << QMessageBox::Escape << question
                                        << survey << L {};
}

void TestUiReceiverTools::menuActions()
{
    QFETCH(QString, action);
    QFETCH(int, mode);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(int, boxKind);
    QFETCH(QString, title);
    QFETCH(QList<QByteArray>, sent);

    TestSupport::TemporarySettings settings;
    QSettings().setValue(QStringLiteral("GpsPortDialog/GPS Serial Port"), QStringLiteral("OFF"));
    QList<MessageBoxes::Box> boxes;
    MessageBoxes::setHandler([&](const MessageBoxes::Box &box) {
        boxes << box;
        return answer;
    });

    {
        MainWindow w;
        RecordingSink sink;
        w.station().setCommandSink(&sink);
        w.station().state().receiverMode = mode;
        w.station().state().receiverModel = ReceiverModelCode::M12Plus;
        w.station().state().channelCount = 12;
        QAction *a = w.action(action);
        QVERIFY(a);
        a->trigger();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(int(boxes[0].kind), boxKind);
        QCOMPARE(boxes[0].title, title);
        QCOMPARE(sink.sent, sent);
        w.station().setCommandSink(nullptr);
    }
    MessageBoxes::setHandler({});
}

QTEST_MAIN(TestUiReceiverTools)
#include "tst_ui_receivertools.moc"
