#include "support/TestSupport.h"
#include "core/ui/MessageBoxes.h"
#include "tic/ui/TicPortDialog.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

class TestTicPortDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storedValueMatchesLabel_data();
    void storedValueMatchesLabel();
    void okWritesEveryPort();
    void illegalAddress();
};

namespace {

QAbstractButton *buttonLabelled(QButtonGroup *group, const QString &label)
{
    for (QAbstractButton *b : group->buttons())
        if (b->text() == label)
            return b;
    return nullptr;
}

} // namespace

void TestTicPortDialog::storedValueMatchesLabel_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("stored");
    QTest::newRow("space") << "parity" << "Space" << TicPortSettings::keyParity(3) << 4;
    QTest::newRow("mark") << "parity" << "Mark" << TicPortSettings::keyParity(3) << 3;
    QTest::newRow("odd") << "parity" << "Odd" << TicPortSettings::keyParity(3) << 1;
    QTest::newRow("115k") << "rate" << "115k bps" << TicPortSettings::keyDataRate(3) << 115200;
    QTest::newRow("dtr/dsr") << "handshake" << "DTR/DSR" << TicPortSettings::keyHandshake(3) << 3;
    QTest::newRow("2 bits") << "stop" << "2 bits" << TicPortSettings::keyStopBits(3) << 2;
    QTest::newRow("7 bits") << "data" << "7 bits" << TicPortSettings::keyDataBits(3) << 7;
}

void TestTicPortDialog::storedValueMatchesLabel()
{
    QFETCH(QString, group);
    QFETCH(QString, label);
    QFETCH(QString, key);
    QFETCH(int, stored);
    TestSupport::TemporarySettings temp;
    auto groupOf = [&group](TicPortDialog &d) {
        return group == "parity" ? d.ParityButtonGroup
            : group == "rate"    ? d.DataRateButtonGroup
            : group == "handshake" ? d.HandshakeButtonGroup
            : group == "stop"    ? d.StopBitsButtonGroup
                                 : d.DataBitsButtonGroup;
    };
    TicPortDialog dialog;
    dialog.showPort(3);
    QAbstractButton *b = buttonLabelled(groupOf(dialog), label);
    QVERIFY(b);
    b->click();
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(QSettings().value(key).toInt(), stored);
    // Read back, the same button is checked.
    TicPortDialog again;
    again.showPort(3);
    QCOMPARE(groupOf(again)->checkedButton()->text(), label);
}

void TestTicPortDialog::okWritesEveryPort()
{
    TestSupport::TemporarySettings temp;
    TicPortDialog dialog;
    dialog.showPort(5);
    dialog.TicSerialPortNameList->setCurrentText(QStringLiteral("TCP/IP"));
    QVERIFY(dialog.TcpIpAddress->isEnabled());
    dialog.TcpIpAddress->setText(QStringLiteral("192.168.10.123:9761"));
    dialog.showPort(8);   // the edits of port 5 are kept while another port is shown
    buttonLabelled(dialog.DataRateButtonGroup, QStringLiteral("4800 bps"))->click();
    dialog.accept();
    QSettings s;
    QCOMPARE(s.value(TicPortSettings::keyPort(5)).toString(), QStringLiteral("TCP/IP"));
    QCOMPARE(s.value(TicPortSettings::keyTcpIpAddress(5)).toString(), QStringLiteral("192.168.10.123:9761"));
    QCOMPARE(s.value(TicPortSettings::keyDataRate(8)).toInt(), 4800);
    for (int n = 1; n <= 8; ++n)
        QVERIFY(s.contains(TicPortSettings::keyDataBits(n)));
    QCOMPARE(s.value(TicPortSettings::keyPort(1)).toString(), QStringLiteral("SIMULATOR"));
    QCOMPARE(s.value(TicPortSettings::keyPort(4)).toString(), QStringLiteral("OFF"));
}

void TestTicPortDialog::illegalAddress()
{
    TestSupport::TemporarySettings temp;
    QList<MessageBoxes::Box> boxes;
    MessageBoxes::setHandler([&](const MessageBoxes::Box &b) {
        boxes << b;
        return QMessageBox::Ok;
    });
    TicPortDialog dialog;
    dialog.showPort(2);
    dialog.TicSerialPortNameList->setCurrentText(QStringLiteral("TCP/IP"));
    dialog.TcpIpAddress->setText(QStringLiteral("10.0.0:5025"));
    dialog.showPort(1);
    dialog.accept();
    MessageBoxes::setHandler({});
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("Illegal IP Address"));
    QCOMPARE(boxes[0].text, QStringLiteral("IP Address error:\n  10.0.0:5025\n\nThe format must be like this\n"
                                           "  192.168.10.123\n\nor, if you want to also define the port:\n"
                                           "  192.168.10.123:9761"));
    QCOMPARE(dialog.shownPort(), 2);
    QVERIFY(dialog.result() != QDialog::Accepted);
    QVERIFY(!QSettings().contains(TicPortSettings::keyGeometry()));
}

QTEST_MAIN(TestTicPortDialog)
#include "tst_ui_ticportdialog.moc"
