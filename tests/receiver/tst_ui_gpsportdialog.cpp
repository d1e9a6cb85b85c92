#include "support/TestSupport.h"
#include "core/ui/MessageBoxes.h"
#include "receiver/ui/GpsPortDialog.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QtTest>

class TestGpsPortDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<TestSupport::TemporarySettings>();
        m_boxes.clear();
        MessageBoxes::setHandler([this](const MessageBoxes::Box &box) {
            m_boxes.append(box);
            return QMessageBox::Ok;
        });
    }

    void cleanup()
    {
        MessageBoxes::setHandler({});
        m_settings.reset();
    }

    void showsStoredSettings()
    {
        {
            QSettings s;
            s.setValue(GpsPortSettings::keyPort(), QStringLiteral("TCP/IP"));
            s.setValue(GpsPortSettings::keyMode(), QStringLiteral("u-blox NMEA"));
            s.setValue(GpsPortSettings::keyDataRate(), 115000);
            s.setValue(GpsPortSettings::keyDataBits(), 7);
            s.setValue(GpsPortSettings::keyStopBits(), 2);
            s.setValue(GpsPortSettings::keyParity(), 3);
            s.setValue(GpsPortSettings::keyHandshake(), 1);
            s.setValue(GpsPortSettings::keyPpsInterface(), 0);
            s.setValue(GpsPortSettings::keyTcpIpAddress(), QStringLiteral("10.0.0.5:4001"));
            s.setValue(GpsPortSettings::keyDoNotInitialize(), true);
            s.setValue(GpsPortSettings::keyAutoRestart(), false);
        }
        GpsPortDialog dialog;
        QCOMPARE(dialog.GpsSerialPortNameList->itemText(0), QStringLiteral("OFF"));
        QVERIFY(dialog.GpsSerialPortNameList->findText(QStringLiteral("SIMULATOR")) > 0);
        QCOMPARE(dialog.GpsSerialPortNameList->currentText(), QStringLiteral("TCP/IP"));
        QVERIFY(dialog.TcpIpAddress->isEnabled());
        QCOMPARE(dialog.GpsModeList->currentText(), QStringLiteral("u-blox NMEA"));
        QCOMPARE(dialog.DataRateButtonGroup->checkedId(), 115000);
        QCOMPARE(dialog.DataBitsButtonGroup->checkedId(), 7);
        QCOMPARE(dialog.StopBitsButtonGroup->checkedId(), 2);
        QCOMPARE(dialog.ParityButtonGroup->checkedId(), 3);
        QCOMPARE(dialog.HandshakeButtonGroup->checkedId(), 1);
        QCOMPARE(dialog.PpsButtonGroup->checkedId(), 0);
        QCOMPARE(dialog.TcpIpAddress->text(), QStringLiteral("10.0.0.5:4001"));
        QVERIFY(dialog.NoGpsInitCheckBox->isChecked());
        QVERIFY(!dialog.GpsAutoRestartCheckBox->isChecked());
        dialog.GpsSerialPortNameList->setCurrentText(QStringLiteral("OFF"));
        QVERIFY(!dialog.TcpIpAddress->isEnabled());
    }

    void unknownStoredRateShows9600()
    {
        QSettings().setValue(GpsPortSettings::keyDataRate(), 115200);
        GpsPortDialog dialog;
        QCOMPARE(dialog.DataRateButtonGroup->checkedId(), 9600);
        // Missing keys were written back with their defaults; the odd rate stays until OK.
        QCOMPARE(QSettings().value(GpsPortSettings::keyDataRate()).toInt(), 115200);
        QCOMPARE(QSettings().value(GpsPortSettings::keyPort()).toString(), QStringLiteral("SIMULATOR"));
        QCOMPARE(dialog.GpsSerialPortNameList->currentText(), QStringLiteral("SIMULATOR"));
    }

    void setBaud_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("checked");
        QTest::addColumn<int>("stored");   // 0 = nothing stored
        QTest::newRow("4800") << 4800 << 4800 << 4800;
        QTest::newRow("115000") << 115000 << 115000 << 115000;
        QTest::newRow("115200 refused") << 115200 << 9600 << 0;
        QTest::newRow("0 refused") << 0 << 9600 << 0;
    }
    void setBaud()
    {
        QFETCH(int, rate);
        QFETCH(int, checked);
        QFETCH(int, stored);
        QSettings().setValue(GpsPortSettings::keyDataRate(), 19200);
        GpsPortDialog dialog;
        QCOMPARE(dialog.DataRateButtonGroup->checkedId(), 19200);
        if (stored == 0)
            QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("GpsPortDialog::SetBaud bad argument == %1").arg(rate)));
        dialog.setBaud(rate);
        QCOMPARE(dialog.DataRateButtonGroup->checkedId(), checked);
        QCOMPARE(QSettings().value(GpsPortSettings::keyDataRate()).toInt(), stored == 0 ? 19200 : stored);
    }

    void setMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("bad");
        QTest::newRow("9") << 9 << QStringLiteral("u-blox UBX") << false;
        QTest::newRow("3") << 3 << QStringLiteral("Motorola Binary Rx Only") << false;
        QTest::newRow("6") << 6 << QStringLiteral("Generic NMEA") << false;
        QTest::newRow("0 has no entry") << 0 << QStringLiteral("Motorola NMEA") << true;
        QTest::newRow("11 has no entry") << 11 << QStringLiteral("Motorola NMEA") << true;
        QTest::newRow("5") << 5 << QStringLiteral("Motorola NMEA") << true;
    }
    void setMode()
    {
        QFETCH(int, mode);
        QFETCH(QString, shown);
        QFETCH(bool, bad);
        QSettings().setValue(GpsPortSettings::keyMode(), QStringLiteral("Motorola NMEA"));
        GpsPortDialog dialog;
        if (bad)
            QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("GpsPortDialog::Set Mode bad argument == %1").arg(mode)));
        dialog.setMode(mode);
        QCOMPARE(dialog.GpsModeList->currentText(), shown);
        QCOMPARE(QSettings().value(GpsPortSettings::keyMode()).toString(), shown);
    }

    void addressCheck_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("ok");
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("plain") << QStringLiteral("192.168.10.123") << true;
        QTest::newRow("with port") << QStringLiteral("192.168.10.123:9761") << true;
        QTest::newRow("three parts") << QStringLiteral("192.168.10") << false;
        QTest::newRow("name") << QStringLiteral("gps-bridge:4001") << false;
        QTest::newRow("trailing") << QStringLiteral("1.2.3.4:5 ") << false;
    }
    void addressCheck()
    {
        QFETCH(QString, address);
        QFETCH(bool, ok);
        GpsPortDialog dialog;
        dialog.TcpIpAddress->setText(address);
        QCOMPARE(dialog.checkTcpIpAddress(), ok);
        if (ok) {
            QVERIFY(m_boxes.isEmpty());
            return;
        }
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].kind, MessageBoxes::Kind::Warning);
        QCOMPARE(m_boxes[0].title, QStringLiteral("Illegal IP Address"));
        QCOMPARE(m_boxes[0].text, QStringLiteral("IP Address error:\n  ") + address
                                      + QStringLiteral("\n\nThe format must be like this\n  192.168.10.123\n\nor, if you want "
                                                       "to also define the port:\n  192.168.10.123:9761"));
        QCOMPARE(m_boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    void acceptWritesEveryKey()
    {
        GpsPortDialog dialog;
        dialog.GpsSerialPortNameList->setCurrentText(QStringLiteral("TCP/IP"));
        dialog.TcpIpAddress->setText(QStringLiteral("127.0.0.1:2000"));
        dialog.GpsModeList->setCurrentText(QStringLiteral("Generic NMEA"));
        dialog.DataRateButtonGroup->button(38400)->setChecked(true);
        dialog.DataBitsButtonGroup->button(7)->setChecked(true);
        dialog.StopBitsButtonGroup->button(2)->setChecked(true);
        dialog.ParityButtonGroup->button(2)->setChecked(true);
        dialog.HandshakeButtonGroup->button(3)->setChecked(true);
        dialog.PpsButtonGroup->button(2)->setChecked(true);
        dialog.NoGpsInitCheckBox->setChecked(true);
        dialog.GpsAutoRestartCheckBox->setChecked(false);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QSettings s;
        GpsPortSettings expected;
        expected.portName = QStringLiteral("TCP/IP");
        expected.tcpIpAddress = QStringLiteral("127.0.0.1:2000");
        expected.modeText = QStringLiteral("Generic NMEA");
        expected.dataRate = 38400;
        expected.dataBits = 7;
        expected.stopBits = 2;
        expected.parity = 2;
        expected.handshake = 3;
        expected.ppsInterface = 2;
        expected.doNotInitialize = true;
        expected.autoRestart = false;
        QCOMPARE(GpsPortSettings::load(s), expected);
        QVERIFY(s.contains(QStringLiteral("GpsPortDialog/geometry")));
    }

    void acceptRefusedForBadAddress()
    {
        GpsPortDialog dialog;
        dialog.GpsSerialPortNameList->setCurrentText(QStringLiteral("OFF"));
        dialog.TcpIpAddress->setText(QStringLiteral("1.2.3"));
        dialog.DataRateButtonGroup->button(300)->setChecked(true);
        dialog.accept();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(QSettings().value(GpsPortSettings::keyDataRate()).toInt(), 9600);
    }

    void portList()
    {
        QCOMPARE(GpsPortDialog::portList({ QStringLiteral("ttyS0"), QStringLiteral("ttyUSB0") }, {}, QStringLiteral("ttyUSB0")),
                 (QStringList { QStringLiteral("OFF"), QStringLiteral("ttyS0"), QStringLiteral("ttyUSB0"), QStringLiteral("TCP/IP") }));
        QCOMPARE(GpsPortDialog::portList({}, { QStringLiteral("SIMULATOR") }, QStringLiteral("ttyACM0")),
                 (QStringList { QStringLiteral("OFF"), QStringLiteral("TCP/IP"), QStringLiteral("SIMULATOR"), QStringLiteral("ttyACM0") }));
        QCOMPARE(GpsPortDialog::portList({}, {}, QStringLiteral("OFF")), (QStringList { QStringLiteral("OFF"), QStringLiteral("TCP/IP") }));
    }

private:
    std::unique_ptr<TestSupport::TemporarySettings> m_settings;
    QList<MessageBoxes::Box> m_boxes;
};

QTEST_MAIN(TestGpsPortDialog)
#include "tst_ui_gpsportdialog.moc"
