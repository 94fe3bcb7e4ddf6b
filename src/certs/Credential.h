#pragma once
// What the bytes of a slot or a local file are to the device's TLS stack: a certificate, a
// private key that opens without a passphrase, an encrypted key, or neither. PEM (its first
// certificate or key block decides; parameter blocks are passed over) and DER alike. Decoding is
// OpenSSL's, and it never asks for a passphrase.

#include <openssl/types.h>

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

#include "certs/CertificateSummary.h"

struct EvpPkeyDeleter {
    void operator()(EVP_PKEY* key) const;
};

struct Credential {
    enum Kind { Empty, Certificate, PrivateKey, EncryptedKey, Neither };
    Kind kind = Empty;
    std::unique_ptr<X509, X509Deleter> certificate;  // for a Certificate
    std::unique_ptr<EVP_PKEY, EvpPkeyDeleter> key;   // for a PrivateKey
    // The key's algorithm, or that of the certificate's public key: "RSA 2048", "EC P-256",
    // "ED25519". Empty for the other kinds.
    QString algorithm;
    // Some block of the bytes is a private key, encrypted or not, whatever decided the kind
    // (a certificate followed by its key, as web servers keep them).
    bool holdsPrivateKey = false;
};

// Reads `bytes`. An encrypted PKCS#8 key (PEM "ENCRYPTED PRIVATE KEY" or DER
// EncryptedPrivateKeyInfo) and a PEM key with "Proc-Type: 4,ENCRYPTED" are EncryptedKey.
Credential ReadCredential(const QByteArray& bytes);

// True when `key` is a PrivateKey, `certificate` a Certificate and their public keys are equal
// (an RSA key and the same key as RSA-PSS are equal).
bool KeyBelongsTo(const Credential& key, const Credential& certificate);

// For each item, the items it pairs with: a key the certificates it belongs to, a certificate
// the keys that belong to it, anything else none.
std::vector<std::vector<size_t>> KeyCertificatePairs(const std::vector<Credential>& items);
