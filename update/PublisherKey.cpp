#include "update/PublisherKey.h"

#include <QList>

namespace PublisherKey {

// Test key made for development builds. Release builds replace both the key and the
// fingerprint with the publisher's release key.
QByteArray armoured()
{
    return QByteArrayLiteral(
        "-----BEGIN PGP PUBLIC KEY BLOCK-----\n"
        "\n"
        "mDMEaxSgkhYJKwYBBAHaRw8BAQdAOD6hE0C4ITBooRMyykFfzkZfB5T9pf9AlLGF\n"
        "X9Zjiw60TkNocm9ub2RlIHRlc3QgcHVibGlzaGVyIChyZXBsYWNlIGJlZm9yZSBy\n"
        "ZWxlYXNlKSA8dXBkYXRlc0BrdHctc3lzdGVtcy5leGFtcGxlPoiQBBMWCAA4FiEE\n"
        "OG1pxLWZjtvuc5Cj+6dQMNSzK5MFAmsUoJICGwMFCwkIBwIGFQoJCAsCBBYCAwEC\n"
        "HgECF4AACgkQ+6dQMNSzK5O7KgEAga9ifwXwAclArdIoIMRa5P9XvvD/08tcoXJ9\n"
        "QbqQ5ZMBAK8voFWIq47kYAk/HBNth+JOgDWxqXABwn5j5m4l9mED\n"
        "=ifsw\n"
        "-----END PGP PUBLIC KEY BLOCK-----\n");
}

QByteArray fingerprint()
{
    return QByteArrayLiteral("386D69C4B5998EDBEE7390A3FBA75030D4B32B93");
}

QByteArray dearmour(const QByteArray &armouredKey)
{
    const QList<QByteArray> lines = armouredKey.split('\n');
    QByteArray base64;
    enum { Before, Headers, Body, Done } state = Before;
    for (QByteArray line : lines) {
        line = line.trimmed();
        switch (state) {
        case Before:
            if (line == "-----BEGIN PGP PUBLIC KEY BLOCK-----")
                state = Headers;
            break;
        case Headers:
            if (line.isEmpty())
                state = Body;
            break;
        case Body:
            if (line.startsWith("-----END PGP PUBLIC KEY BLOCK-----"))
                state = Done;
            else if (!line.startsWith('='))   // the checksum line; gpgv checks the packets
                base64 += line;
            break;
        case Done:
            break;
        }
    }
    if (state != Done)
        return {};
    auto decoded = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? *decoded : QByteArray();
}

} // namespace PublisherKey
