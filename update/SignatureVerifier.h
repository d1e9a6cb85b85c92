#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// Checks a detached OpenPGP signature with gpgv against one public key and its pinned
// fingerprint. Nothing else is trusted: gpgv sees a keyring holding only that key, in a
// private temporary folder, and the signature must name the pinned primary key.
class SignatureVerifier : public QObject
{
    Q_OBJECT
public:
    struct Key
    {
        QByteArray keyring;       // binary key packets
        QByteArray fingerprint;   // 40 hex digits of the primary key
    };
    // The publisher key shipped with the program.
    static Key shippedKey();

    explicit SignatureVerifier(QObject *parent = nullptr);

    void setKey(const Key &key) { m_key = key; }
    // Program used to check ("gpgv" found on the PATH by default).
    void setProgram(const QString &program) { m_program = program; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }

    // Starts the check; finished() follows once, also when the check cannot be made.
    void verify(const QByteArray &data, const QByteArray &signature);

    // Why a run with this exit code and gpgv status output is refused; empty when trusted.
    static QString judge(int exitCode, const QByteArray &statusOutput, const QByteArray &fingerprint);

Q_SIGNALS:
    void finished(bool trusted, const QString &problem);

private:
    Key m_key;
    QString m_program;
    int m_timeoutMs = 20000;
};
