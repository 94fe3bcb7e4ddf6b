#pragma once
// The simulator's built-in slot contents, made fresh with OpenSSL at every start so that no
// key or certificate is ever stored: slot 0 a server certificate, slot 1 its RSA-2048 key
// (PKCS#8 DER, about 1218 bytes), slots 2-5 client and CA certificates with different
// signature algorithms and issuers, slots 6-14 empty.

#include <QByteArray>
#include <QString>
#include <array>

bool MakeSampleSlots(std::array<QByteArray, 15>& slots, QString& error);
