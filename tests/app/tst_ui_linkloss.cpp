// A receiver link that loses its device and gets it back: a pseudo-terminal that vanishes and
// returns, a TCP bridge that drops and returns, one that starts late. Real bytes through socat;
// skipped when socat is not installed.

#include "app/ui/MainWindow.h"
#include "core/ui/MessageBoxes.h"
#include "receiver/link/LinkRecovery.h"
#include "support/FramingHelpers.h"
#include "support/TestSupport.h"
#include "transport/GpsPortSettings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

namespace ui_linkloss_tests {

namespace {

// Whether something listens on a loopback TCP port (without connecting to it: socat serves
// one connection only).
bool listening(quint16 port)
{
    QFile f(QStringLiteral("/proc/net/tcp"));
    return f.open(QIODevice::ReadOnly)
        && f.readAll().contains(":" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0') + " 00000000:0000 0A");
}

// One socat process, restarted with the same arguments.
struct Bridge
{
    QStringList args;
    std::unique_ptr<QProcess> process;
    void start()
    {
        process = std::make_unique<QProcess>();
        process->start(QStringLiteral("socat"), args);
        QVERIFY(process->waitForStarted(5000));
    }
    void stop()
    {
        if (process)
            process->kill(), process->waitForFinished(5000);
        process.reset();
    }
    ~Bridge() { stop(); }
};

} // namespace

class TestLinkLoss : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty())
            QSKIP("socat is not installed");
        m_settings = std::make_unique<TestSupport::TemporarySettings>();
        m_boxes = 0;
        MessageBoxes::setHandler([this](const MessageBoxes::Box &) {
            ++m_boxes;
            // A box is modal: while it is open the receiver's errors keep coming.
            QTest::qWait(1500);
            return QMessageBox::Ok;
        });
    }
    void cleanup()
    {
        MessageBoxes::setHandler({});
        MainWindow::setDisplayPresent(std::nullopt);
        m_settings.reset();
    }

    void lossAndReturn_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("display");
        QTest::newRow("pty vanishes and returns") << "pty" << false;
        QTest::newRow("tcp bridge drops and returns") << "tcp" << false;
        QTest::newRow("tcp bridge starts late") << "late" << false;
        QTest::newRow("pty, with a display") << "pty" << true;
    }
    void lossAndReturn()
    {
        QFETCH(QString, kind);
        QFETCH(bool, display);
        MainWindow::setDisplayPresent(display);
        const QString dir = m_settings->path();
        const QString feeder = dir + QStringLiteral("/feeder");
        Bridge bridge;
        quint16 port = 0;
        QSettings settings;
        settings.setValue(GpsPortSettings::keyMode(), QStringLiteral("Generic NMEA"));
        settings.setValue(GpsPortSettings::keyPpsInterface(), 0);
        settings.setValue(GpsPortSettings::keyDoNotInitialize(), true);
        if (kind == QLatin1String("pty")) {
            settings.setValue(GpsPortSettings::keyPort(), dir + QStringLiteral("/gps"));
            bridge.args = { QStringLiteral("pty,raw,echo=0,link=") + dir + QStringLiteral("/gps"),
                            QStringLiteral("pty,raw,echo=0,link=") + feeder };
        } else {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            port = probe.serverPort();
            probe.close();
            settings.setValue(GpsPortSettings::keyPort(), GpsPortSettings::tcpIpPortName());
            settings.setValue(GpsPortSettings::keyTcpIpAddress(), QStringLiteral("127.0.0.1:%1").arg(port));
            bridge.args = { QStringLiteral("tcp-listen:%1,bind=127.0.0.1,reuseaddr").arg(port),
                            QStringLiteral("pty,raw,echo=0,link=") + feeder };
        }
        settings.sync();
        if (kind != QLatin1String("late")) {
            bridge.start();
            if (kind == QLatin1String("pty"))
                QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir + QStringLiteral("/gps")), 5000);
            else
                QTRY_VERIFY_WITH_TIMEOUT(listening(port), 5000);
        }

        MainWindow w;
        int detections = 0, decoded = 0, second = 0;
        w.setReceiverConnector([&] { ++detections; });
        QStringList notices;
        connect(&w.station(), &Station::linkNotice, this, [&](const QString &t) { notices << t; });
        connect(&w.station(), &Station::rawDataText, this, [&](const QString &t) { decoded += t.contains("$GPZDA"); });
        // The receiver talks whenever its end of the bridge exists.
        QTimer talker;
        connect(&talker, &QTimer::timeout, this, [&] {
            // Never blocks the test's event loop: while nobody reads the other end of the
            // bridge the pseudo-terminal fills, and a blocking write would hang here.
            const int fd = ::open(QFile::encodeName(feeder).constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY);
            if (fd < 0)
                return;
            const QByteArray sentence = Frames::nmea("GPZDA,1200" + QByteArray::number(10 + second++ % 50) + ".00,06,12,2026,00,00");
            [[maybe_unused]] const ssize_t n = ::write(fd, sentence.constData(), size_t(sentence.size()));
            ::close(fd);
        });
        talker.start(200);
        auto *fix = w.findChild<QLabel *>(QStringLiteral("FixLabel"));

        if (kind == QLatin1String("late")) {
            QTRY_COMPARE_WITH_TIMEOUT(notices.size(), 1, 5000);
            QTest::qWait(2500);
            bridge.start();
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(decoded > 2, 5000);
            QVERIFY(notices.isEmpty());
            bridge.stop();
            QTRY_COMPARE_WITH_TIMEOUT(notices.size(), 1, 5000);
            // The data on show turns stale meanwhile.
            QTRY_VERIFY_WITH_TIMEOUT(w.station().linkRecovery().stale(), 6000);
            QVERIFY(fix->text().startsWith(QLatin1String("No receiver data since ")));
            QTest::qWait(1000);
            bridge.start();
        }
        // Decoding again within 5 s of the device's return, detection run once more, and the
        // loss told once.
        QElapsedTimer back;
        back.start();
        const int before = decoded;
        QTRY_VERIFY_WITH_TIMEOUT(decoded > before + 2, 8000);
        QVERIFY2(back.elapsed() < 5000 + 1000, qPrintable(QString::number(back.elapsed())));
        QCOMPARE(notices.size(), 1);
        QVERIFY(notices.first().startsWith(QLatin1String("Can't open GPS Port ")));
        QCOMPARE(detections, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!w.station().linkRecovery().stale(), 3000);
        QVERIFY(!fix->text().startsWith(QLatin1String("No receiver data")));
        QCOMPARE(m_boxes, display ? 1 : 0);
        talker.stop();
        bridge.stop();
    }

private:
    std::unique_ptr<TestSupport::TemporarySettings> m_settings;
    int m_boxes = 0;
};

} // namespace ui_linkloss_tests

using ui_linkloss_tests::TestLinkLoss;
CHRONODE_TEST_GUI_MAIN(TestLinkLoss)

#include "tst_ui_linkloss.moc"
