#include "receiver/framing/Checksums.h"
#include "receiver/link/ReceiverCommandChannel.h"

#include <QtTest>

class TestChecksums : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void motorolaFrame_data();
    void motorolaFrame();
    void ubxFletcher_data();
    void ubxFletcher();
    void nmeaSentence_data();
    void nmeaSentence();
    void completeCommand_data();
    void completeCommand();
};

void TestChecksums::motorolaFrame_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("valid");
    // "@@Cj" poll: 'C' ^ 'j' = 0x29.
    QTest::newRow("Cj poll") << QByteArray("@@Cj)\r\n") << true;
    QTest::newRow("Cj wrong") << QByteArray("@@Cj*\r\n") << false;
    QTest::newRow("Cj no LF") << QByteArray("@@Cj)\r\r") << false;
    QTest::newRow("Ea 00") << QByteArray("@@Ea\x00\x24\r\n", 8) << true;   // 'E'^'a' = 0x24
    QTest::newRow("Eq any checksum") << QByteArray("@@Eq,1,2\xFF\r\n") << true;
    QTest::newRow("Eq needs CR LF") << QByteArray("@@Eq,1,2\xFF\n\r") << false;
    QTest::newRow("too short") << QByteArray("\r\n") << false;
}

void TestChecksums::motorolaFrame()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, valid);
    QCOMPARE(Checksums::motorolaFrameValid(frame), valid);
}

void TestChecksums::ubxFletcher_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("valid");
    // MON-VER poll and CFG-PRT poll as published by the manufacturer.
    QTest::newRow("MON-VER poll") << QByteArray("\xB5\x62\x0A\x04\x00\x00\x0E\x34", 8) << true;
    QTest::newRow("NAV-PVT poll") << QByteArray("\xB5\x62\x01\x07\x00\x00\x08\x19", 8) << true;
    QTest::newRow("CFG-MSG NAV-SOL 1")
        << QByteArray("\xB5\x62\x06\x01\x03\x00\x01\x06\x01\x12\x4F", 11) << true;
    QTest::newRow("CK_B wrong") << QByteArray("\xB5\x62\x0A\x04\x00\x00\x0E\x35", 8) << false;
    QTest::newRow("seven bytes") << QByteArray("\xB5\x62\x0A\x04\x00\x0E\x34", 7) << false;
}

void TestChecksums::ubxFletcher()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, valid);
    QCOMPARE(Checksums::ubxFrameValid(frame), valid);
}

void TestChecksums::nmeaSentence_data()
{
    QTest::addColumn<QByteArray>("sentence");
    QTest::addColumn<bool>("valid");
    QTest::newRow("GGA") << QByteArray("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47") << true;
    QTest::newRow("GGA wrong") << QByteArray("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*48") << false;
    QTest::newRow("digits only") << QByteArray("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39") << true;
    QTest::newRow("lower hex fails") << QByteArray("$PGRME,15.0,M,45.0,M,25.0,M*1c") << false;
    QTest::newRow("upper hex") << QByteArray("$PGRME,15.0,M,45.0,M,25.0,M*1C") << true;
    QTest::newRow("no star GP") << QByteArray("$GPRMC,1") << true;
    QTest::newRow("no star P") << QByteArray("$PMOTG,FOR,0") << true;
    QTest::newRow("no star GL") << QByteArray("$GLGSV,1") << false;
    QTest::newRow("no star no comma") << QByteArray("$GPRMC") << false;
    QTest::newRow("star not third-last") << QByteArray("$GPRMC,1*4") << false;
    QTest::newRow("empty checksum body") << QByteArray("$*00") << true;
    // No '$' in front of the star: nothing lies between them, and nothing may be read.
    QTest::newRow("star first, no dollar") << QByteArray("*00") << false;
    QTest::newRow("star first, two digits") << QByteArray("*AB") << false;
}

void TestChecksums::nmeaSentence()
{
    QFETCH(QByteArray, sentence);
    QFETCH(bool, valid);
    QCOMPARE(Checksums::nmeaSentenceValid(sentence), valid);
}

void TestChecksums::completeCommand_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("echo");

    QTest::newRow("nmea checksum appended") << QByteArray("$PMOTG,ZDA,0001") << QByteArray("$PMOTG,ZDA,0001*1F")
                                            << QStringLiteral("<- $PMOTG,ZDA,0001*1F");
    QTest::newRow("nmea stale checksum replaced") << QByteArray("$PMOTG,ZDA,0001*99") << QByteArray("$PMOTG,ZDA,0001*1F")
                                                  << QStringLiteral("<- $PMOTG,ZDA,0001*1F");
    QTest::newRow("nmea short unchanged") << QByteArray("$PMOTG") << QByteArray("$PMOTG") << QStringLiteral("<- $PMOTG");
    QTest::newRow("nmea seven chars") << QByteArray("$PMOTGX") << QByteArray("$PMOTGX*19") << QStringLiteral("<- $PMOTGX*19");
    QTest::newRow("ubx poll") << QByteArray("\xB5\x62\x0A\x04\x00\x00", 6) << QByteArray("\xB5\x62\x0A\x04\x00\x00\x0E\x34", 8)
                              << QStringLiteral("<- <B5><62><0A><04><00><00><0E><34>");
    QTest::newRow("motorola Cj") << QByteArray("@@Cj") << QByteArray("@@Cj)") << QStringLiteral("<- @@Cj<29>");
    QTest::newRow("motorola Ha 00") << QByteArray("@@Ha\x00", 5) << QByteArray("@@Ha\x00\x29", 6)
                                    << QStringLiteral("<- @@Ha<00><29>");
    // A trailing "*x": the checksum covers the bytes before the '*', which stays in place.
    QTest::newRow("motorola star second-last") << QByteArray("@@Gk\x01*\x05", 7) << QByteArray("@@Gk\x01*\x05\x2D", 8)
                                               << QStringLiteral("<- @@Gk<01><2A><05><2D>");
    QTest::newRow("motorola too short") << QByteArray("@@C") << QByteArray("@@C") << QStringLiteral("<- @@C");
    {
        QByteArray tk("@@Tk");
        tk += QByteArray("Chronode test message for the Tk echo ... 0123456789ABC");   // to byte 59
        QCOMPARE(tk.size(), 59);
        tk += QByteArray("\x01\x02", 2);
        const char ck = static_cast<char>(Checksums::motorolaXor(tk));
        QString echo = QStringLiteral("<- ") + QString::fromLatin1(tk.left(59)) + QStringLiteral("<01><02><")
            + QString::fromLatin1(Checksums::hexByte(uint8_t(ck))) + QStringLiteral(">");
        QTest::newRow("motorola Tk text") << tk << (tk + ck) << echo;
    }
    QTest::newRow("5555 unchanged") << QByteArray("\x55\x55\x01\xFF", 4) << QByteArray("\x55\x55\x01\xFF", 4)
                                    << QStringLiteral("<- <55><55><01><FF>");
    QTest::newRow("other unchanged, no echo") << QByteArray("T0") << QByteArray("T0") << QString();
    QTest::newRow("single @ is other") << QByteArray("@X1") << QByteArray("@X1") << QString();
}

void TestChecksums::completeCommand()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, sent);
    QFETCH(QString, echo);
    QString gotEcho = QStringLiteral("unset");
    QCOMPARE(ReceiverCommandChannel::completeCommand(command, &gotEcho), sent);
    QCOMPARE(gotEcho, echo);
}

QTEST_GUILESS_MAIN(TestChecksums)
#include "tst_checksums.moc"
