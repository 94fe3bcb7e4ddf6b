#pragma once
// Keys and certificates for the credential checks, made with OpenSSL at test time (each key
// once per test process); no key is ever stored.

#include <QByteArray>

enum class TestKey { RsaA, RsaB, EcA, EcB, Ca, OtherCa };

enum class KeyForm {
    Pkcs8Der,
    Pkcs8Pem,
    TraditionalPem,           // "RSA PRIVATE KEY" / "EC PRIVATE KEY"
    EncryptedPkcs8Pem,        // "ENCRYPTED PRIVATE KEY"
    EncryptedPkcs8Der,        // EncryptedPrivateKeyInfo
    EncryptedTraditionalPem,  // "Proc-Type: 4,ENCRYPTED"
};

// A certificate for `key` named CN=`subject`, issued by CN=`issuer` and signed with
// `signer`, valid from `fromDays` to `toDays` days from now. DER; empty on failure.
struct CertificateShape {
    const char* subject = "device.test";
    const char* issuer = "Test CA";
    TestKey key = TestKey::RsaA;
    TestKey signer = TestKey::Ca;
    int fromDays = -1;
    int toDays = 365;
    bool pss = false;  // an RSA key given as RSA-PSS in the certificate
};
QByteArray TestCertificate(const CertificateShape& shape);
// The authority "Test CA", self-signed with `key`.
QByteArray TestAuthority(TestKey key = TestKey::Ca);

QByteArray CertificatePem(const QByteArray& der);
QByteArray TestKeyBytes(TestKey key, KeyForm form);
// The "EC PARAMETERS" block of an EC key, as `openssl ecparam -genkey` writes it first.
QByteArray TestKeyParameters(TestKey key);
