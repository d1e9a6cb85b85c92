// What the user sees of an update check: boxes for a check the user asked for, silence for the
// automatic one, the package-system notice and a cancelled download.

#include "core/ui/MessageBoxes.h"
#include "support/HttpResponder.h"
#include "support/TestSupport.h"
#include "update/UpdateDownload.h"
#include "update/ui/UpdateDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <QtTest>

class TestUpdateDialog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void checkAnswers_data();
    void checkAnswers();
    void installedFromPackage();
    void cancelledDownload();

private:
    HttpResponder m_server;
    QList<MessageBoxes::Box> m_boxes;
    std::unique_ptr<TestSupport::TemporarySettings> m_settings;
};

void TestUpdateDialog::init()
{
    m_settings = std::make_unique<TestSupport::TemporarySettings>();
    m_boxes.clear();
    MessageBoxes::setHandler([this](const MessageBoxes::Box &box) {
        m_boxes << box;
        return QMessageBox::Ok;
    });
    QSettings().setValue(QStringLiteral("Updates/Host"), QStringLiteral("127.0.0.1"));
    QSettings().setValue(QStringLiteral("Updates/ManifestUrl"), m_server.url(QStringLiteral("/m.json")));
}

void TestUpdateDialog::checkAnswers_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("manual");
    QTest::addColumn<QString>("box");   // "kind|text" of the one box shown, or empty for none
    const QString url = QStringLiteral("http://127.0.0.1:%1/m.json");
    QTest::newRow("server fails, asked") << 500 << true
                                         << "1|Could not check for updates at\n" + url + "\n\nThe update server answered 500.";
    QTest::newRow("server fails, automatic") << 500 << false << "";
    QTest::newRow("latest, asked") << 200 << true << "0|Chronode 1.2.10 is the latest version.\n\n(checked ";
    QTest::newRow("latest, automatic") << 200 << false << "";
}

void TestUpdateDialog::checkAnswers()
{
    QFETCH(int, status);
    QFETCH(bool, manual);
    QFETCH(QString, box);
    box.replace(QLatin1String("%1"), QString::number(m_server.port()));
    m_server.set(QStringLiteral("/m.json"), { status, R"({"latest_version":"1.2.10","download_url":"http://127.0.0.1/f",
        "sha256":"0000000000000000000000000000000000000000000000000000000000000000"})", {}, -1, 0 });
    QWidget window;
    UpdatePresenter presenter(&window);
    presenter.check().setInstalledVersion(QStringLiteral("1.2.10"));
    QSignalSpy done(&presenter.check(), &UpdateCheck::finished);
    presenter.request(manual);
    QVERIFY(done.wait(10000));
    QCOMPARE(m_boxes.size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty()) {
        QCOMPARE(int(m_boxes.first().kind), box.section(QLatin1Char('|'), 0, 0).toInt());
        QVERIFY2(m_boxes.first().text.startsWith(box.section(QLatin1Char('|'), 1)), qPrintable(m_boxes.first().text));
    }
    QVERIFY(!presenter.dialog());
    // The hourly offer runs from the first request on; an automatic request a moment after a
    // good check is not due, one after a failed check is.
    QVERIFY(presenter.check().periodicTimer().isActive());
    const qsizetype asked = m_server.requested.size();
    presenter.request(false);
    if (status != 200)
        QVERIFY(done.wait(10000));
    else
        QTest::qWait(200);
    QCOMPARE(m_server.requested.size(), asked + (status == 200 ? 0 : 1));
}

void TestUpdateDialog::installedFromPackage()
{
    UpdateCheck::Result result;
    result.manifest.latestVersion = QStringLiteral("1.3");
    result.manifest.infoUrl = QUrl(QStringLiteral("https://updates.example.org/chronode/1.3.html"));
    result.installedFromPackage = true;
    QNetworkAccessManager network;
    UpdateDialog dialog(result, &network);
    QVERIFY(dialog.findChild<QPushButton *>(QStringLiteral("btnInstall"))->isHidden());
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("labelStatus"))->text(),
             QStringLiteral("Chronode was installed from a Debian package, so its updates come through the package system: "
                            "install version 1.3 with your usual package tool (for example \"apt update\" and \"apt "
                            "upgrade\"). The release is described at https://updates.example.org/chronode/1.3.html"));
}

void TestUpdateDialog::cancelledDownload()
{
    m_server.set(QStringLiteral("/slow.tar.gz"), { 200, QByteArray(4000, 'x'), {}, -1, 5 });
    UpdateCheck::Result result;
    result.host = QStringLiteral("127.0.0.1");
    result.manifest.latestVersion = QStringLiteral("1.3");
    result.manifest.downloadUrl = QUrl(m_server.url(QStringLiteral("/slow.tar.gz")));
    QNetworkAccessManager network;
    UpdateDialog dialog(result, &network);
    QTemporaryDir downloads;
    dialog.download().setDownloadFolder(downloads.path());
    dialog.show();
    auto *install = dialog.findChild<QPushButton *>(QStringLiteral("btnInstall"));
    auto *later = dialog.findChild<QPushButton *>(QStringLiteral("btnLater"));
    QSignalSpy progress(&dialog.download(), &UpdateDownload::progress);
    install->click();
    const QString work = dialog.download().workFolder();
    QVERIFY(QFileInfo::exists(work + QStringLiteral("/slow.tar.gz")));
    QTRY_VERIFY(progress.count() > 3);
    QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("labelStatus"))->text().startsWith(QLatin1String("Downloading... 0 of 3 KB")));
    QCOMPARE(later->text(), QStringLiteral("&Cancel"));
    later->click();
    QVERIFY(dialog.isVisible());   // cancelling does not close the window
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("labelStatus"))->text(), QStringLiteral("The download was cancelled."));
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().title, QStringLiteral("The update was not installed."));
    QVERIFY(!QDir(work).exists());
    QVERIFY(QDir(downloads.path()).isEmpty());
    QVERIFY(install->isEnabled());
}

QTEST_MAIN(TestUpdateDialog)
#include "tst_ui_updatedialog.moc"
