// The remote-control link dialog: which port and address texts OK takes, and what it stores.

#include "support/TestSupport.h"

#include "remote/ui/TelnetLink.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

class TestTelnetLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ok_data();
    void ok();
};

void TestTelnetLink::ok_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("portAfter");   // the field's text after OK
    QTest::newRow("1023") << "1023" << "127.0.0.1" << false << "1023";
    QTest::newRow("1024") << "1024" << "127.0.0.1" << true << "1024";
    QTest::newRow("32768") << "32768" << "::1" << true << "32768";
    QTest::newRow("32769") << "32769" << "127.0.0.1" << false << "32769";
    QTest::newRow("empty") << "" << "127.0.0.1" << false << "32325";
    QTest::newRow("letters") << "23x" << "127.0.0.1" << false << "23x";
    QTest::newRow("any address") << "4000" << "0.0.0.0" << true << "4000";
    QTest::newRow("host name") << "4000" << "localhost" << false << "4000";
}

void TestTelnetLink::ok()
{
    QFETCH(QString, port);
    QFETCH(QString, address);
    QFETCH(bool, accepted);
    QFETCH(QString, portAfter);
    TestSupport::TemporarySettings temp;
    TelnetLink dialog;
    dialog.show();
    QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("IDC_TELNET_LINK_PORT"))->text(), QStringLiteral("32325"));
    QCOMPARE(dialog.findChild<QComboBox *>(QStringLiteral("IDC_TELNET_LINK_ADDRESS"))->currentText(),
             QStringLiteral("127.0.0.1"));
    auto *portField = dialog.findChild<QLineEdit *>(QStringLiteral("IDC_TELNET_LINK_PORT"));
    portField->setText(port);
    dialog.findChild<QComboBox *>(QStringLiteral("IDC_TELNET_LINK_ADDRESS"))->setCurrentText(address);
    dialog.findChild<QCheckBox *>(QStringLiteral("IDC_TELNET_LINK_ACTIVATE"))->setChecked(true);
    dialog.findChild<QCheckBox *>(QStringLiteral("IDC_TELNET_LINK_ALLOW_CHANGES"))->setChecked(true);
    dialog.accept();
    QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
    QCOMPARE(portField->text(), portAfter);
    QSettings s;
    QCOMPARE(s.value(QStringLiteral("TelnetDialog/TelnetActivate")).toBool(), accepted);
    QCOMPARE(s.value(QStringLiteral("TelnetDialog/AllowRemoteChanges")).toBool(), accepted);
    QCOMPARE(s.value(QStringLiteral("TelnetDialog/TelnetServerPort")).toInt(), accepted ? port.toInt() : 32325);
    if (!accepted && portAfter == port)
        QVERIFY(portField->styleSheet().contains(QLatin1String("border: 2px solid red"))
                || !TelnetSettings::validAddress(address));
}

CHRONODE_TEST_GUI_MAIN(TestTelnetLink)
#include "tst_ui_telnetlink.moc"
