#pragma once

#include <QByteArray>

// The public key updates are signed with, and the fingerprint it must have.
namespace PublisherKey {

// ASCII-armoured OpenPGP public key.
QByteArray armoured();
// Upper-case hex fingerprint of the primary key, 40 digits.
QByteArray fingerprint();

// The binary key packets of an ASCII-armoured key (what gpgv reads as a keyring); empty when
// the text is not one armoured block.
QByteArray dearmour(const QByteArray &armouredKey);

} // namespace PublisherKey
