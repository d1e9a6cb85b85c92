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
    QTest::addColumn<QString>("portAfter");   // the field's text after OK; empty: accepted
    QTest::newRow("1023") << "1023" << "127.0.0.1" << "1023";
    QTest::newRow("1024") << "1024" << "127.0.0.1" << "";
    QTest::newRow("32768") << "32768" << "::1" << "";
    QTest::newRow("32769") << "32769" << "127.0.0.1" << "32769";
    QTest::newRow("empty") << "" << "127.0.0.1" << "32325";
    QTest::newRow("letters") << "23x" << "127.0.0.1" << "23x";
    QTest::newRow("host name") << "4000" << "localhost" << "4000";
}

void TestTelnetLink::ok()
{
    QFETCH(QString, port);
    QFETCH(QString, address);
    QFETCH(QString, portAfter);
    TestSupport::TemporarySettings temp;
    TelnetLink dialog;
    dialog.show();
    auto *portField = dialog.findChild<QLineEdit *>(QStringLiteral("IDC_TELNET_LINK_PORT"));
    auto *addressField = dialog.findChild<QComboBox *>(QStringLiteral("IDC_TELNET_LINK_ADDRESS"));
    QCOMPARE(portField->text() + QLatin1Char(' ') + addressField->currentText(), QStringLiteral("32325 127.0.0.1"));
    portField->setText(port);
    addressField->setCurrentText(address);
    dialog.findChild<QCheckBox *>(QStringLiteral("IDC_TELNET_LINK_ACTIVATE"))->setChecked(true);
    dialog.findChild<QCheckBox *>(QStringLiteral("IDC_TELNET_LINK_ALLOW_CHANGES"))->setChecked(true);
    dialog.accept();
    const bool accepted = portAfter.isEmpty();
    QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
    QCOMPARE(portField->text(), accepted ? port : portAfter);
    QSettings s;
    QCOMPARE(s.value(QStringLiteral("TelnetDialog/TelnetActivate")).toBool(), accepted);
    QCOMPARE(s.value(QStringLiteral("TelnetDialog/AllowRemoteChanges")).toBool(), accepted);
    QCOMPARE(s.value(QStringLiteral("TelnetDialog/TelnetServerPort")).toInt(), accepted ? port.toInt() : 32325);
    QCOMPARE(s.value(QStringLiteral("TelnetDialog/TelnetListenAddress")).toString(), accepted ? address : "127.0.0.1");
}

CHRONODE_TEST_GUI_MAIN(TestTelnetLink)
#include "tst_ui_telnetlink.moc"
