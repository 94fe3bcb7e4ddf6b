#pragma once
// Certificates, keys and time zones made at test time. Nothing here is stored on disk by
// the project: keys are generated once per test process.

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/Trace.h"

using Bytes = std::vector<std::uint8_t>;

// Readable failure messages for Qt text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

struct X509Free {
    void operator()(X509* x) const { X509_free(x); }
};
using X509Handle = std::unique_ptr<X509, X509Free>;

// Keys shared by the whole test process (generation is the slow part under sanitizers).
EVP_PKEY* TestRsaKey();
EVP_PKEY* TestEcKey();

// A certificate under construction: version 3, fixed serial, subject "Test Subject",
// notBefore 2020-01-01, notAfter 2030-12-31 15:00:00 UTC, empty issuer until entries are
// added.
class CertificateBuilder {
  public:
    CertificateBuilder();

    // Adds an issuer attribute. `type` is an ASN.1 string type (V_ASN1_UTF8STRING,
    // V_ASN1_BMPSTRING, ...) and `content` its raw content octets, or MBSTRING_UTF8 with
    // UTF-8 text. `sameRdn` puts it into the previous RDN (a multi-valued RDN).
    CertificateBuilder& Issuer(const char* oid, int type, const QByteArray& content,
                               bool sameRdn = false);
    CertificateBuilder& IssuerCommonName(const QString& text, bool sameRdn = false);
    // Adds a subject attribute after "Test Subject", in the same way.
    CertificateBuilder& Subject(const char* oid, int type, const QByteArray& content);
    // "YYMMDDHHMMSSZ" makes a UTCTime, "YYYYMMDDHHMMSSZ" a GeneralizedTime.
    CertificateBuilder& NotAfter(const char* text);

    Bytes SignRsa(const EVP_MD* digest);
    Bytes SignRsaPss(const EVP_MD* digest);
    Bytes SignEcdsa(const EVP_MD* digest);
    // Signs with SHA-256/RSA, then puts `tbsOid` into the to-be-signed signature algorithm
    // (a digest OpenSSL will not sign with, or a non-signature identifier); the outer
    // algorithm is set to `outerOid` when given. The signature no longer verifies, which
    // decoding does not look at.
    Bytes SignWithAlgorithms(const char* tbsOid, const char* outerOid = nullptr);

    X509* get() { return m_cert.get(); }

  private:
    Bytes Encode();
    X509Handle m_cert;
};

// The standard certificate of the worked example: SHA-256/RSA, issuer CN "Example CA",
// notAfter 2030-12-31 15:00:00 UTC.
Bytes ExampleCertificate();

Bytes PemOf(const Bytes& der);
Bytes RsaKeyDer();
Bytes RsaKeyPem();

// Replaces the first occurrence of `from` in `data` by `to` (same length); false if absent.
bool ReplaceBytes(Bytes& data, const QByteArray& from, const QByteArray& to);

// One short DER element: tag byte, length byte, content.
QByteArray Tlv(int tag, const QByteArray& content);

// Gives the first string element with `content` the universal tag `type` (a string type that
// OpenSSL will not put into a name); false if absent.
bool Retag(Bytes& data, const QByteArray& content, int fromType, int type);

// Sets TZ for the lifetime of the object and restores the previous value (and tzset) after.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  private:
    std::optional<std::string> m_previous;
};

// Replaces the debug-output sink for the lifetime of the object and collects what arrives.
class DebugCapture {
  public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;
    std::vector<QString> lines;

  private:
    TextSink m_previous;
};
