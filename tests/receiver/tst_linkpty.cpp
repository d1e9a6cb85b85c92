#include "support/TestSupport.h"
#include "core/ReceiverState.h"
#include "support/FramingHelpers.h"
#include "receiver/link/GpsSerialPortThread.h"

#include <QSettings>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace Frames;

// A real serial round trip: the link opens the slave side of a pseudo-terminal pair as its
// GPS port (9600 8N1) and the test plays the receiver on the master side.
class TestLinkPty : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void motorolaTraffic();
    void nmeaAndUbxTraffic();
    void commandsReachTheReceiver();

private:
    void openLink(int mode);
    void writeInPieces(const QByteArray &bytes, const QList<int> &cuts);
    QByteArray readMaster(int expected);

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    std::unique_ptr<TestSupport::TemporarySettings> m_settings;
    std::unique_ptr<ReceiverState> m_state;
    std::unique_ptr<GpsSerialPortThread> m_link;
    QList<QByteArray> m_texts;
    QStringList m_boxes;
    int m_ticks = 0;
};

void TestLinkPty::init()
{
    char name[256] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
        QSKIP("no pseudo-terminals on this machine");
    m_slavePath = QString::fromLocal8Bit(name);
    termios t {};
    tcgetattr(m_master, &t);
    cfmakeraw(&t);
    tcsetattr(m_master, TCSANOW, &t);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_settings = std::make_unique<TestSupport::TemporarySettings>();
    m_state = std::make_unique<ReceiverState>();
    m_texts.clear();
    m_boxes.clear();
    m_ticks = 0;
}

void TestLinkPty::cleanup()
{
    if (m_link)
        m_link->stopGpsSerialPort();
    m_link.reset();
    m_state.reset();
    m_settings.reset();
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

void TestLinkPty::openLink(int mode)
{
    m_state->receiverMode = mode;
    {
        QSettings s;
        s.setValue(GpsPortSettings::keyPort(), m_slavePath);
        s.setValue(GpsPortSettings::keyMode(), ReceiverMode::text(mode));
        s.setValue(GpsPortSettings::keyDataRate(), 9600);
        s.setValue(GpsPortSettings::keyPpsInterface(), 1);
    }
    m_link = std::make_unique<GpsSerialPortThread>(m_state.get());
    m_link->setPpsInterface(1);
    connect(m_link.get(), &GpsSerialPortThread::newGpsText, this, [this](const QByteArray &t) { m_texts.append(t); });
    connect(m_link.get(), &GpsSerialPortThread::showErrorMessageBox, this, [this](const QString &t) { m_boxes.append(t); });
    connect(m_link.get(), &GpsSerialPortThread::PpsTick, this, [this] { ++m_ticks; });
    m_link->startGpsSerialPort(false);
    QVERIFY2(m_link->isPortOpen(), qPrintable(m_boxes.join(QLatin1Char('|'))));
    auto *serial = m_link->transport();
    QVERIFY(serial);
}

void TestLinkPty::writeInPieces(const QByteArray &bytes, const QList<int> &cuts)
{
    int from = 0;
    QList<int> ends = cuts;
    ends.append(int(bytes.size()));
    for (int end : ends) {
        const QByteArray piece = bytes.mid(from, end - from);
        QCOMPARE(::write(m_master, piece.constData(), size_t(piece.size())), ssize_t(piece.size()));
        from = end;
        QTest::qWait(15);   // let the link read each piece on its own
    }
}

QByteArray TestLinkPty::readMaster(int expected)
{
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < expected && t.elapsed() < 5000) {
        char buf[256];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0)
            got.append(buf, n);
        else
            QTest::qWait(5);
    }
    return got;
}

void TestLinkPty::motorolaTraffic()
{
    openLink(ReceiverMode::MotorolaBinary);
    const QByteArray ha = motorola("Ha", {}, '\x40');
    const QByteArray bb = Frames::bb(13, 12);
    const QByteArray ea = motorola("Ea", {}, '\x0D');
    QByteArray bad = motorola("Hb");
    bad[10] = static_cast<char>(bad[10] ^ 0x01);
    const QByteArray stream = QByteArray("\x00\xFF@x", 4) + ha + "garbage\r\n" + bb + bad + "@" + QByteArray("\x01\x02", 2) + ea;
    // Cuts inside the "@@", inside the identifier, at the count byte, before CR LF.
    writeInPieces(stream, { 5, 6, 8, 90, 160, 165, 170, 255, 300, int(stream.size()) - 2 });
    QTRY_COMPARE(m_texts.size(), 3);
    QCOMPARE(m_texts, (QList<QByteArray> { emitted(ha), emitted(bb), emitted(ea) }));
    // A pseudo-terminal has no modem lines: no error, no tick.
    QTest::qWait(50);
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join(QLatin1Char('|'))));
    QCOMPARE(m_ticks, 0);
}

void TestLinkPty::nmeaAndUbxTraffic()
{
    openLink(ReceiverMode::UbloxUbx);
    const QByteArray u1 = ubx(0x01, 0x03, QByteArray("\x10\x00\x0D\x0A$GP", 6));
    const QByteArray u2 = ubx(0x0A, 0x04, {});
    const QByteArray s1 = nmea("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W");
    const QByteArray stream = "\xB5\x01junk" + s1 + u1 + "$GPGGA,1\x02" + u2 + nmea("GPZDA,1,2,3");
    writeInPieces(stream, { 1, 3, 20, 71, 72, 73, 80, 90, 95 });
    QTRY_COMPARE(m_texts.size(), 4);
    QCOMPARE(m_texts, (QList<QByteArray> { s1.left(s1.size() - 2), u1, u2, nmeaEmitted("GPZDA,1,2,3") }));

    // The same port in an NMEA-only mode ignores UBX.
    m_texts.clear();
    m_state->receiverMode = ReceiverMode::GenericNmea;
    writeInPieces(u1 + nmea("GPZDA,4") + u2, { 7 });
    QTRY_COMPARE(m_texts.size(), 1);
    QTest::qWait(30);
    QCOMPARE(m_texts, QList<QByteArray> { nmeaEmitted("GPZDA,4") });
    QVERIFY(m_boxes.isEmpty());
}

void TestLinkPty::commandsReachTheReceiver()
{
    openLink(ReceiverMode::MotorolaBinary);
    m_link->OnSendGpsMessage(QByteArray("@@Cj)"));
    m_link->OnSendGpsMessage(QByteArray("\x10\x0A\x10\x03", 4));
    QCOMPARE(readMaster(11), QByteArray("@@Cj)\r\n\x10\x0A\x10\x03", 11));
}

QTEST_GUILESS_MAIN(TestLinkPty)
#include "tst_linkpty.moc"
