#include "update/SignatureVerifier.h"

#include "update/PublisherKey.h"
#include "update/ToolProcess.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

SignatureVerifier::Key SignatureVerifier::shippedKey()
{
    return { PublisherKey::dearmour(PublisherKey::armoured()), PublisherKey::fingerprint() };
}

SignatureVerifier::SignatureVerifier(QObject *parent)
    : QObject(parent), m_key(shippedKey())
{
}

QString SignatureVerifier::judge(int exitCode, const QByteArray &statusOutput, const QByteArray &fingerprint)
{
    if (exitCode < 0)
        return QStringLiteral("gpgv did not finish");
    bool good = false;
    bool pinned = false;
    QByteArray refusal;
    for (const QByteArray &line : statusOutput.split('\n')) {
        const QList<QByteArray> f = line.trimmed().split(' ');
        if (f.size() < 2 || f[0] != "[GNUPG:]")
            continue;
        const QByteArray &keyword = f[1];
        if (keyword == "GOODSIG") {
            good = true;
        } else if (keyword == "VALIDSIG" && f.size() >= 3) {
            // The primary key's fingerprint closes the line (the signing subkey's opens it).
            if (f.last().toUpper() == fingerprint.toUpper() && fingerprint.size() == 40)
                pinned = true;
        } else if (keyword == "BADSIG" || keyword == "ERRSIG" || keyword == "NO_PUBKEY" || keyword == "EXPSIG"
                   || keyword == "EXPKEYSIG" || keyword == "REVKEYSIG" || keyword == "NODATA") {
            if (refusal.isEmpty())
                refusal = keyword;
        }
    }
    if (!refusal.isEmpty())
        return QStringLiteral("the signature does not verify with the publisher key (%1)").arg(QString::fromLatin1(refusal));
    if (exitCode != 0 || !good)
        return QStringLiteral("the signature does not verify with the publisher key (gpgv exit code %1)").arg(exitCode);
    if (!pinned)
        return QStringLiteral("the signature is not made by the publisher key %1").arg(QString::fromLatin1(fingerprint));
    return {};
}

void SignatureVerifier::verify(const QByteArray &data, const QByteArray &signature)
{
    const auto refuse = [this](const QString &problem) {
        QTimer::singleShot(0, this, [this, problem] { emit finished(false, problem); });
    };
    const QString program = m_program.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("gpgv")) : m_program;
    if (program.isEmpty() || !QFileInfo(program).isExecutable())
        return refuse(QStringLiteral("gpgv, the signature checker, is not installed (Debian package gpgv)"));
    if (m_key.keyring.isEmpty() || m_key.fingerprint.size() != 40)
        return refuse(QStringLiteral("there is no publisher key to check the signature with"));
    if (signature.isEmpty())
        return refuse(QStringLiteral("the update server published no signature"));

    auto dir = std::make_shared<QTemporaryDir>();
    const auto write = [&dir](const QString &name, const QByteArray &bytes) {
        QFile f(dir->filePath(name));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };
    if (!dir->isValid() || !write(QStringLiteral("publisher.gpg"), m_key.keyring)
        || !write(QStringLiteral("signed"), data) || !write(QStringLiteral("signed.sig"), signature))
        return refuse(QStringLiteral("the files for the signature check could not be written"));

    const QStringList arguments = { QStringLiteral("--homedir"), dir->path(),
                                    QStringLiteral("--keyring"), dir->filePath(QStringLiteral("publisher.gpg")),
                                    QStringLiteral("--status-fd"), QStringLiteral("1"),
                                    dir->filePath(QStringLiteral("signed.sig")), dir->filePath(QStringLiteral("signed")) };
    const QByteArray fingerprint = m_key.fingerprint;
    ToolProcess::run(this, program, arguments, m_timeoutMs, [this, dir, fingerprint](int code, const QByteArray &out) {
        const QString problem = judge(code, out, fingerprint);
        emit finished(problem.isEmpty(), problem);
    });
}
