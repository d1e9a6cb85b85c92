// Update check and download against a server on 127.0.0.1, with a signing key made here.

#include "support/HttpResponder.h"
#include "support/TestSupport.h"
#include "update/PublisherKey.h"
#include "update/UpdateCheck.h"
#include "update/UpdateDownload.h"
#include "update/UpdateSettings.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

namespace {

QByteArray sha(const QByteArray &b) { return QCryptographicHash::hash(b, QCryptographicHash::Sha256).toHex(); }

// A throw-away OpenPGP key in its own GNUPGHOME.
class SigningKey
{
public:
    bool make()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("gpg")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("gpgv")).isEmpty())
            return false;
        const QByteArray out = gpg({ QStringLiteral("--quick-gen-key"), QStringLiteral("Test Publisher <t@example.org>"),
                                     QStringLiteral("ed25519"), QStringLiteral("sign"), QStringLiteral("never") });
        keyring = gpg({ QStringLiteral("--export") });
        for (const QByteArray &line : gpg({ QStringLiteral("--with-colons"), QStringLiteral("--fingerprint") }).split('\n'))
            if (line.startsWith("fpr:") && fingerprint.isEmpty())
                fingerprint = line.split(':').value(9);
        return !keyring.isEmpty() && fingerprint.size() == 40;
    }
    ~SigningKey()
    {
        QProcess p;
        p.setProcessEnvironment(env());
        p.start(QStringLiteral("gpgconf"), { QStringLiteral("--kill"), QStringLiteral("gpg-agent") });
        p.waitForFinished(5000);
    }
    QByteArray sign(const QByteArray &data)
    {
        QFile f(m_home.filePath(QStringLiteral("data")));
        f.open(QIODevice::WriteOnly);
        f.write(data);
        f.close();
        return gpg({ QStringLiteral("--detach-sign"), QStringLiteral("-o"), QStringLiteral("-"), f.fileName() });
    }
    QByteArray gpg(QStringList args, const QByteArray &input = {})
    {
        QProcess p;
        p.setProcessEnvironment(env());
        args = QStringList { QStringLiteral("--batch"), QStringLiteral("--yes"), QStringLiteral("--pinentry-mode"),
                             QStringLiteral("loopback"), QStringLiteral("--passphrase"), QString() } + args;
        p.start(QStringLiteral("gpg"), args);
        p.write(input);
        p.closeWriteChannel();
        p.waitForFinished(30000);
        return p.readAllStandardOutput();
    }
    SignatureVerifier::Key key() const { return { keyring, fingerprint }; }
    QByteArray keyring, fingerprint;

private:
    QProcessEnvironment env() const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("GNUPGHOME"), m_home.path());
        return e;
    }
    QTemporaryDir m_home { QDir::tempPath() + QStringLiteral("/gnupg-XXXXXX") };
};

} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void urlRule_data();
    void urlRule();
    void checksumFile_data();
    void checksumFile();
    void checkDue_data();
    void checkDue();
    void settingsRepair();
    void fileName_data();
    void fileName();
    void shippedKeyMatchesPin();
    void check_data();
    void check();
    void download_data();
    void download();
    void slowDripTimesOut();

private:
    HttpResponder m_server;
    SigningKey m_key;
    bool m_haveGpg = false;
    TestSupport::TemporarySettings m_settings;
};

void TestUpdateCheck::initTestCase()
{
    m_haveGpg = m_key.make();
}

void TestUpdateCheck::urlRule_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("accepted");
    const QString h = QStringLiteral("updates.example.org");
    QTest::newRow("https") << "https://updates.example.org/f.tar.gz" << h << true;
    QTest::newRow("host in capitals") << "https://UPDATES.example.org/f" << h << true;
    QTest::newRow("plain http far away") << "http://updates.example.org/f" << h << false;
    QTest::newRow("user-info trick") << "https://updates.example.org:x@evil.example/f" << h << false;
    QTest::newRow("user name on the right host") << "https://me@updates.example.org/f" << h << false;
    QTest::newRow("host as a prefix") << "https://updates.example.org.evil.example/f" << h << false;
    QTest::newRow("other host") << "https://evil.example/f" << h << false;
    QTest::newRow("http to this machine with a port") << "http://127.0.0.1:8080/f" << "127.0.0.1" << true;
    QTest::newRow("ftp") << "ftp://updates.example.org/f" << h << false;
    QTest::newRow("relative") << "/f" << h << false;
}

void TestUpdateCheck::urlRule()
{
    QFETCH(QString, url);
    QFETCH(QString, host);
    QFETCH(bool, accepted);
    QCOMPARE(UpdateRules::isAcceptableUrl(QUrl(url), host), accepted);
}

void TestUpdateCheck::checksumFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("digest");
    const QByteArray d64 = sha("x");
    QTest::newRow("64 digits") << d64 << d64;
    QTest::newRow("63 digits") << d64.left(63) << QByteArray();
    QTest::newRow("65 digits") << d64 + "a" << QByteArray();
    QTest::newRow("blank lines first, text after") << "\r\n\n \t" + d64 + "  installer.tar.gz\n" << d64;
    QTest::newRow("upper case") << d64.toUpper() << d64;
    QTest::newRow("digit 40 not hex") << d64.left(40) + "g" + d64.mid(41) << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestUpdateCheck::checksumFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, digest);
    QCOMPARE(UpdateRules::parseChecksumFile(file), digest);
}

void TestUpdateCheck::checkDue_data()
{
    QTest::addColumn<qint64>("lastCheck");
    QTest::addColumn<bool>("due");
    const qint64 now = 1800000000;
    QTest::newRow("never") << qint64(0) << true;
    QTest::newRow("negative") << qint64(-5) << true;
    QTest::newRow("86399 s ago") << now - 86399 << false;
    QTest::newRow("86400 s ago") << now - 86400 << true;
    QTest::newRow("just now") << now << false;
    QTest::newRow("in the future") << now + 1 << true;
}

void TestUpdateCheck::checkDue()
{
    QFETCH(qint64, lastCheck);
    QFETCH(bool, due);
    UpdateSettings s;
    s.lastCheck = lastCheck;
    QCOMPARE(s.checkDue(1800000000), due);
}

void TestUpdateCheck::settingsRepair()
{
    TestSupport::TemporarySettings temp;
    {
        QSettings settings;
        settings.setValue(QStringLiteral("Updates/Host"), QStringLiteral("bad host/x"));
        settings.setValue(QStringLiteral("Updates/ManifestUrl"), QStringLiteral("::not a url"));
        settings.setValue(QStringLiteral("Updates/AutoCheck"), QStringLiteral("perhaps"));
        settings.setValue(QStringLiteral("Updates/LastCheck"), QStringLiteral("yesterday"));
        const UpdateSettings s = UpdateSettings::load(settings);
        QCOMPARE(s.host, QStringLiteral("updates.ktw-systems.example"));
        QCOMPARE(s.autoCheck, true);
        QCOMPARE(s.lastCheck, qint64(0));
        QCOMPARE(s.requireSignature, true);
    }
    QSettings settings;
    QCOMPARE(settings.value(QStringLiteral("Updates/ManifestUrl")).toString(),
             QStringLiteral("https://updates.ktw-systems.example/sw_distribution/chronode/manifest.json"));
    QCOMPARE(settings.value(QStringLiteral("Updates/Host")).toString(), QStringLiteral("updates.ktw-systems.example"));
    QCOMPARE(settings.value(QStringLiteral("Updates/AutoCheck")).toString(), QStringLiteral("true"));
    QCOMPARE(settings.value(QStringLiteral("Updates/LastCheck")).toLongLong(), qint64(0));
    QVERIFY(settings.contains(QStringLiteral("Updates/DismissedVersion")));
    QCOMPARE(settings.value(QStringLiteral("Updates/RequireSignature")).toString(), QStringLiteral("true"));
}

void TestUpdateCheck::fileName_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "https://h/d/chronode-1.3.0.tar.gz" << "chronode-1.3.0.tar.gz";
    QTest::newRow("encoded blank") << "https://h/d/a%20b.deb" << "a b.deb";
    QTest::newRow("empty") << "https://h/d/" << "Chronode-update";
    QTest::newRow("dot dot") << "https://h/d/.." << "Chronode-update";
    QTest::newRow("encoded slash") << "https://h/d/a%2Fb" << "Chronode-update";
    QTest::newRow("control character") << "https://h/d/a%01b" << "Chronode-update";
    QTest::newRow("question mark") << "https://h/d/a%3Fb" << "Chronode-update";
}

void TestUpdateCheck::fileName()
{
    QFETCH(QString, url);
    QFETCH(QString, name);
    QCOMPARE(UpdateRules::downloadFileName(QUrl(url)), name);
}

void TestUpdateCheck::shippedKeyMatchesPin()
{
    if (!m_haveGpg)
        QSKIP("gpg and gpgv are not installed");
    const QByteArray keyring = PublisherKey::dearmour(PublisherKey::armoured());
    QVERIFY(!keyring.isEmpty());
    const QByteArray shown = m_key.gpg({ QStringLiteral("--with-colons"), QStringLiteral("--show-keys") }, keyring);
    QVERIFY2(shown.contains(":" + PublisherKey::fingerprint() + ":"), shown.constData());
}

void TestUpdateCheck::check_data()
{
    QTest::addColumn<QByteArray>("manifest");
    QTest::addColumn<QString>("signature");     // "good", "bad", "other pin" or "none"
    QTest::addColumn<QString>("redirect");      // where /manifest.json sends the client first
    QTest::addColumn<QString>("executable");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("fromPackage");

    const auto manifest = [](const char *version, const QString &url = QStringLiteral("http://127.0.0.1/f.tar.gz")) {
        return QStringLiteral(R"({"latest_version":" %1 ","download_url":"%2","release_notes":"New.","sha256":"%3"})")
            .arg(QLatin1String(version), url, QString::fromLatin1(sha("payload")))
            .toUtf8();
    };
    const int newer = int(UpdateCheck::Outcome::Newer), failed = int(UpdateCheck::Outcome::Failed);
    const QString self = QCoreApplication::applicationFilePath();
    QTest::newRow("newer") << manifest("1.10.0") << "good" << "" << self << newer << "" << false;
    QTest::newRow("newer, installed from a package") << manifest("2.0") << "good" << "" << "/usr/bin/gpgv" << newer << ""
                                                      << true;
    QTest::newRow("same version") << manifest("1.2.10") << "none" << "" << self << int(UpdateCheck::Outcome::Latest) << ""
                                  << false;
    QTest::newRow("bad signature") << manifest("1.10.0") << "bad" << "" << self << failed
                                   << "The update manifest was refused: the signature does not verify with the "
                                      "publisher key (BADSIG)." << false;
    QTest::newRow("signed by another key") << manifest("1.10.0") << "other pin" << "" << self << failed
                                           << "The update manifest was refused: the signature is not made by the "
                                              "publisher key" << false;
    QTest::newRow("no verifier") << manifest("1.10.0") << "no verifier" << "" << self << failed
                                 << "The update manifest was refused: gpgv, the signature checker, is not installed "
                                    "(Debian package gpgv)." << false;
    QTest::newRow("no key") << manifest("1.10.0") << "no key" << "" << self << failed
                            << "The update manifest was refused: there is no publisher key to check the signature with."
                            << false;
    QTest::newRow("no signature published") << manifest("1.10.0") << "none" << "" << self << failed
                                            << "The update manifest's signature could not be fetched. The update server "
                                               "answered 404." << false;
    QTest::newRow("oversize manifest") << QByteArray(262145, ' ') << "none" << "" << self << failed
                                       << "The file from the update server is unreasonably large." << false;
    QTest::newRow("not JSON") << QByteArray("[1]") << "none" << "" << self << failed
                              << "The update manifest is not valid JSON (not an object)." << false;
    QTest::newRow("no version") << QByteArray(R"({"download_url":"http://127.0.0.1/f"})") << "none" << "" << self << failed
                                << "The update manifest has no latest_version." << false;
    QTest::newRow("user-info trick in the download URL")
        << manifest("1.10.0", QStringLiteral("https://127.0.0.1:x@evil.example/f")) << "good" << "" << self << failed
        << "The update manifest's download_url is refused: it carries a user name or password."
        << false;
    QTest::newRow("plain http download elsewhere") << manifest("1.10.0", QStringLiteral("http://evil.example/f")) << "good"
                                                   << "" << self << failed
                                                   << "The update manifest's download_url is not https." << false;
    QTest::newRow("cross-host redirect") << manifest("1.10.0") << "good" << "http://localhost:%1/manifest.json" << self
                                         << failed
                                         << "The update server redirected to http://localhost:%1/manifest.json, which is "
                                            "refused: its host localhost is not the update server 127.0.0.1." << false;
    QTest::newRow("same-host redirect") << manifest("1.10.0") << "good" << "http://127.0.0.1:%1/manifest.json" << self
                                        << newer << "" << false;
}

void TestUpdateCheck::check()
{
    QFETCH(QByteArray, manifest);
    QFETCH(QString, signature);
    QFETCH(QString, redirect);
    QFETCH(QString, executable);
    QFETCH(int, outcome);
    QFETCH(QString, error);
    QFETCH(bool, fromPackage);
    if (!m_haveGpg && (signature != QLatin1String("none")))
        QSKIP("gpg and gpgv are not installed");
    if (fromPackage && QStandardPaths::findExecutable(QStringLiteral("dpkg-query")).isEmpty())
        QSKIP("dpkg-query is not installed");
    const QString port = QString::number(m_server.port());
    redirect.replace(QLatin1String("%1"), port);
    error.replace(QLatin1String("%1"), port);

    TestSupport::TemporarySettings temp;
    UpdateCheck check;
    check.setInstalledVersion(QStringLiteral("1.2.10"));
    check.setExecutablePath(executable);
    check.setClock([] { return qint64(1800000000); });
    SignatureVerifier::Key key = m_key.key();
    if (signature == QLatin1String("other pin"))
        key.fingerprint = PublisherKey::fingerprint();
    QSettings().setValue(QStringLiteral("Updates/Host"), QStringLiteral("127.0.0.1"));
    const QString start = redirect.isEmpty() ? QStringLiteral("/manifest.json") : QStringLiteral("/moved.json");
    QSettings().setValue(QStringLiteral("Updates/ManifestUrl"), m_server.url(start));
    m_server.set(QStringLiteral("/manifest.json"), { 200, manifest, {}, -1, 0 });
    m_server.set(QStringLiteral("/moved.json"), { 302, {}, "Location: " + redirect.toUtf8() + "\r\n", -1, 0 });
    HttpResponder::Reply sig { 404, {}, {}, -1, 0 };
    if (signature != QLatin1String("none"))
        sig = { 200, m_key.sign(signature == QLatin1String("bad") ? manifest + " " : manifest), {}, -1, 0 };
    if (signature == QLatin1String("no verifier"))
        check.verifier().setProgram(QStringLiteral("/nonexistent/gpgv"));
    if (signature == QLatin1String("no key"))
        key.keyring.clear();
    m_server.set(QStringLiteral("/manifest.json.sig"), sig);
    m_server.set(QStringLiteral("/moved.json.sig"), sig);

    check.verifier().setKey(key);
    QSignalSpy done(&check, &UpdateCheck::finished);
    check.start(true);
    // A second request while one runs is answered at once.
    check.start(true);
    QCOMPARE(done.count(), 1);
    QCOMPARE(int(done.takeFirst().first().value<UpdateCheck::Result>().outcome), int(UpdateCheck::Outcome::Busy));
    QVERIFY(done.wait(20000));
    const auto result = done.first().first().value<UpdateCheck::Result>();
    if (error.isEmpty())
        QCOMPARE(result.error, QString());
    else
        QVERIFY2(result.error.startsWith(error), qPrintable(result.error));
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(result.installedFromPackage, fromPackage);
    // Only a good check counts as the last check.
    const bool good = outcome != int(UpdateCheck::Outcome::Failed);
    QCOMPARE(QSettings().value(QStringLiteral("Updates/LastCheck")).toLongLong(), good ? qint64(1800000000) : qint64(0));
    if (outcome == int(UpdateCheck::Outcome::Newer)) {
        QCOMPARE(result.manifest.latestVersion, QString::fromLatin1(manifest.mid(19).split('"').value(0)).trimmed());
        QCOMPARE(result.manifestBytes, manifest);
    }
}

void TestUpdateCheck::download_data()
{
    QTest::addColumn<QByteArray>("served");       // the file the server sends
    QTest::addColumn<qint64>("announced");        // Content-Length; -1: the file's size
    QTest::addColumn<QByteArray>("checksumFile");
    QTest::addColumn<bool>("goodSignature");
    QTest::addColumn<QString>("error");

    const QByteArray payload = QByteArray("chronode release\n").repeated(20000);
    const QByteArray digest = sha(payload);
    QTest::newRow("verified") << payload << qint64(-1) << digest + "  f.tar.gz\n" << true << "";
    QTest::newRow("bad signature") << payload << qint64(-1) << digest << false
                                   << "The update manifest's signature was refused (the signature does not verify with "
                                      "the publisher key (BADSIG)), so the download has NOT been kept.";
    QTest::newRow("file differs from the signed digest") << payload + "x" << qint64(-1) << sha(payload + "x") << true
        << QString::fromLatin1("The downloaded file does not match its published checksum, so it has NOT been run.\n\nExpected "
                               + digest + "\nGot      " + sha(payload + "x"));
    QTest::newRow("checksum file differs") << payload << qint64(-1) << sha("other") << true
        << QString::fromLatin1("The downloaded file does not match its published checksum, so it has NOT been run.\n\nExpected "
                               + sha("other") + "\nGot      " + digest);
    QTest::newRow("checksum file of 63 digits") << payload << qint64(-1) << digest.left(63) << true
                                                << "The published checksum file is not a SHA-256 digest.";
    QTest::newRow("checksum file of 65 digits") << payload << qint64(-1) << digest + "0" << true
                                                << "The published checksum file is not a SHA-256 digest.";
    QTest::newRow("ends early") << payload << qint64(payload.size() + 100) << digest << true
                                << QStringLiteral("The download ended early (%1 of %2 bytes).").arg(payload.size()).arg(payload.size() + 100);
}

void TestUpdateCheck::download()
{
    QFETCH(QByteArray, served);
    QFETCH(qint64, announced);
    QFETCH(QByteArray, checksumFile);
    QFETCH(bool, goodSignature);
    QFETCH(QString, error);
    if (!m_haveGpg)
        QSKIP("gpg and gpgv are not installed");

    const QByteArray payload = QByteArray("chronode release\n").repeated(20000);
    UpdateCheck::Result check;
    check.host = QStringLiteral("127.0.0.1");
    check.manifestBytes = QStringLiteral(R"({"latest_version":"1.3","download_url":"%1","sha256":"%2"})")
                              .arg(m_server.url(QStringLiteral("/d/f.tar.gz")), QString::fromLatin1(sha(payload)))
                              .toUtf8();
    QVERIFY(UpdateRules::parseManifest(check.manifestBytes, check.host, check.manifest).isEmpty());
    check.signature = m_key.sign(goodSignature ? check.manifestBytes : check.manifestBytes + "\n");
    m_server.set(QStringLiteral("/d/f.tar.gz"), { 200, served, {}, announced, 0 });
    m_server.set(QStringLiteral("/d/f.tar.gz.sha256"), { 200, checksumFile, {}, -1, 0 });

    QTemporaryDir downloads;
    QFile::remove(downloads.filePath(QStringLiteral("f.tar.gz")));
    QFile old(downloads.filePath(QStringLiteral("f.tar.gz")));   // a file of the user's is never replaced
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.close();
    QNetworkAccessManager network;
    UpdateDownload download(&network);
    download.verifier().setKey(m_key.key());
    download.setDownloadFolder(downloads.path());
    QSignalSpy done(&download, &UpdateDownload::finished);
    QSignalSpy status(&download, &UpdateDownload::status);
    download.start(check);
    const QString work = download.workFolder();
    QVERIFY(QDir(work).exists());
    QVERIFY(done.wait(20000));
    QCOMPARE(done.first().at(0).toBool(), error.isEmpty());
    QDir folder(downloads.path());
    if (!error.isEmpty()) {
        QCOMPARE(done.first().at(1).toString(), error);
        QCOMPARE(folder.entryList(QDir::Files), QStringList { QStringLiteral("f.tar.gz") });
    } else {
        const QString saved = done.first().at(1).toString();
        QCOMPARE(saved, downloads.filePath(QStringLiteral("f.tar (1).gz")));
        QFile f(saved);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), payload);
        QCOMPARE(f.permissions() & (QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther), QFileDevice::Permissions());
        QCOMPARE(status.first().first().toString(), QStringLiteral("Connecting to the update server..."));
        QCOMPARE(status.last().first().toString(), QStringLiteral("Verifying the download..."));
    }
    QVERIFY2(!QDir(work).exists(), "the private download folder is removed");
}

void TestUpdateCheck::slowDripTimesOut()
{
    TestSupport::TemporarySettings temp;
    QSettings().setValue(QStringLiteral("Updates/Host"), QStringLiteral("127.0.0.1"));
    QSettings().setValue(QStringLiteral("Updates/ManifestUrl"), m_server.url(QStringLiteral("/drip.json")));
    m_server.set(QStringLiteral("/drip.json"), { 200, QByteArray(200, ' '), {}, -1, 20 });
    UpdateCheck check;
    check.setLimits({ 262144, 1000, 600 });
    QSignalSpy done(&check, &UpdateCheck::finished);

    // A stand-in for the one-second cycle, ticking every 10 ms, must never wait long.
    QTimer cycle;
    QElapsedTimer since;
    qint64 longestGap = 0;
    connect(&cycle, &QTimer::timeout, this, [&] {
        longestGap = std::max(longestGap, since.restart());
    });
    since.start();
    cycle.start(10);
    QElapsedTimer total;
    total.start();
    check.start(false);
    QVERIFY(done.wait(5000));
    QVERIFY(total.elapsed() < 2000);
    const auto result = done.first().first().value<UpdateCheck::Result>();
    QCOMPARE(int(result.outcome), int(UpdateCheck::Outcome::Failed));
    QCOMPARE(result.error, QStringLiteral("Could not reach the update server: no complete answer within 0.6 seconds."));
    QVERIFY2(longestGap < 150, qPrintable(QString::number(longestGap)));
}

QTEST_GUILESS_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
