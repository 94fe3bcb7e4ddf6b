#include "TestCertificates.h"

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>

namespace {

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using PkeyHandle = std::unique_ptr<EVP_PKEY, PkeyFree>;

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using BioHandle = std::unique_ptr<BIO, BioFree>;

struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

struct ObjFree {
    void operator()(ASN1_OBJECT* obj) const { ASN1_OBJECT_free(obj); }
};

struct TimeFree {
    void operator()(ASN1_TIME* t) const { ASN1_TIME_free(t); }
};
using TimeHandle = std::unique_ptr<ASN1_TIME, TimeFree>;

Bytes BioContents(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return Bytes(data, data + length);
}

void SetTime(X509* cert, const char* text, bool notAfter) {
    TimeHandle time(ASN1_TIME_new());
    ASSERT_TRUE(time && ASN1_TIME_set_string(time.get(), text) == 1) << text;
    ASSERT_EQ(
        notAfter ? X509_set1_notAfter(cert, time.get()) : X509_set1_notBefore(cert, time.get()), 1);
}

void ReplaceAlgorithm(X509_ALGOR* algorithm, const char* oid) {
    ASN1_OBJECT* object = OBJ_txt2obj(oid, 1);
    ASSERT_NE(object, nullptr) << oid;
    ASSERT_EQ(X509_ALGOR_set0(algorithm, object, V_ASN1_NULL, nullptr), 1);
}

}  // namespace

EVP_PKEY* TestRsaKey() {
    static const PkeyHandle key(EVP_RSA_gen(1024));
    return key.get();
}

EVP_PKEY* TestEcKey() {
    static const PkeyHandle key(EVP_EC_gen("P-256"));
    return key.get();
}

CertificateBuilder::CertificateBuilder() : m_cert(X509_new()) {
    X509_set_version(m_cert.get(), X509_VERSION_3);
    ASN1_INTEGER_set(X509_get_serialNumber(m_cert.get()), 4242);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(m_cert.get()), "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>("Test Subject"), -1, -1, 0);
    SetTime(m_cert.get(), "200101000000Z", false);
    SetTime(m_cert.get(), "301231150000Z", true);
    X509_set_pubkey(m_cert.get(), TestRsaKey());
}

namespace {
void AddEntry(X509_NAME* name, const char* oid, int type, const QByteArray& content, bool sameRdn) {
    std::unique_ptr<ASN1_OBJECT, ObjFree> object(OBJ_txt2obj(oid, 1));
    EXPECT_NE(object, nullptr) << oid;
    const int added = X509_NAME_add_entry_by_OBJ(
        name, object.get(), type, reinterpret_cast<const unsigned char*>(content.constData()),
        static_cast<int>(content.size()), -1, sameRdn ? -1 : 0);
    EXPECT_EQ(added, 1) << oid;
}
}  // namespace

CertificateBuilder& CertificateBuilder::Issuer(const char* oid, int type, const QByteArray& content,
                                               bool sameRdn) {
    AddEntry(X509_get_issuer_name(m_cert.get()), oid, type, content, sameRdn);
    return *this;
}

CertificateBuilder& CertificateBuilder::Subject(const char* oid, int type,
                                                const QByteArray& content) {
    AddEntry(X509_get_subject_name(m_cert.get()), oid, type, content, false);
    return *this;
}

CertificateBuilder& CertificateBuilder::IssuerCommonName(const QString& text, bool sameRdn) {
    return Issuer("2.5.4.3", MBSTRING_UTF8, text.toUtf8(), sameRdn);
}

CertificateBuilder& CertificateBuilder::NotAfter(const char* text) {
    SetTime(m_cert.get(), text, true);
    return *this;
}

Bytes CertificateBuilder::Encode() {
    unsigned char* der = nullptr;
    const int length = i2d_X509(m_cert.get(), &der);
    EXPECT_GT(length, 0);
    Bytes out(der, der + std::max(length, 0));
    OPENSSL_free(der);
    return out;
}

Bytes CertificateBuilder::SignRsa(const EVP_MD* digest) {
    EXPECT_GT(X509_sign(m_cert.get(), TestRsaKey(), digest), 0);
    return Encode();
}

Bytes CertificateBuilder::SignEcdsa(const EVP_MD* digest) {
    X509_set_pubkey(m_cert.get(), TestEcKey());
    EXPECT_GT(X509_sign(m_cert.get(), TestEcKey(), digest), 0);
    return Encode();
}

Bytes CertificateBuilder::SignRsaPss(const EVP_MD* digest) {
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> context(EVP_MD_CTX_new());
    EVP_PKEY_CTX* keyContext = nullptr;
    EXPECT_EQ(EVP_DigestSignInit(context.get(), &keyContext, digest, nullptr, TestRsaKey()), 1);
    EXPECT_GT(EVP_PKEY_CTX_set_rsa_padding(keyContext, RSA_PKCS1_PSS_PADDING), 0);
    EXPECT_GT(X509_sign_ctx(m_cert.get(), context.get()), 0);
    return Encode();
}

Bytes CertificateBuilder::SignWithAlgorithms(const char* tbsOid, const char* outerOid) {
    EXPECT_GT(X509_sign(m_cert.get(), TestRsaKey(), EVP_sha256()), 0);
    // OpenSSL hands out the algorithms read-only; changing them in place and asking for the
    // to-be-signed part to be encoded afresh is the way to get a mismatching certificate.
    ReplaceAlgorithm(const_cast<X509_ALGOR*>(X509_get0_tbs_sigalg(m_cert.get())), tbsOid);
    if (outerOid != nullptr) {
        const X509_ALGOR* outer = nullptr;
        X509_get0_signature(nullptr, &outer, m_cert.get());
        ReplaceAlgorithm(const_cast<X509_ALGOR*>(outer), outerOid);
    }
    EXPECT_GT(i2d_re_X509_tbs(m_cert.get(), nullptr), 0);
    return Encode();
}

Bytes ExampleCertificate() {
    return CertificateBuilder()
        .IssuerCommonName(QStringLiteral("Example CA"))
        .SignRsa(EVP_sha256());
}

Bytes PemOf(const Bytes& der) {
    const unsigned char* cursor = der.data();
    X509Handle cert(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
    EXPECT_NE(cert, nullptr);
    BioHandle bio(BIO_new(BIO_s_mem()));
    EXPECT_EQ(PEM_write_bio_X509(bio.get(), cert.get()), 1);
    return BioContents(bio.get());
}

Bytes RsaKeyDer() {
    unsigned char* der = nullptr;
    const int length = i2d_PrivateKey(TestRsaKey(), &der);
    EXPECT_GT(length, 0);
    Bytes out(der, der + std::max(length, 0));
    OPENSSL_free(der);
    return out;
}

Bytes RsaKeyPem() {
    BioHandle bio(BIO_new(BIO_s_mem()));
    EXPECT_EQ(
        PEM_write_bio_PrivateKey(bio.get(), TestRsaKey(), nullptr, nullptr, 0, nullptr, nullptr),
        1);
    return BioContents(bio.get());
}

bool ReplaceBytes(Bytes& data, const QByteArray& from, const QByteArray& to) {
    if (from.size() != to.size()) return false;
    const auto at =
        std::search(data.begin(), data.end(), from.begin(), from.end(),
                    [](std::uint8_t byte, char c) { return byte == static_cast<std::uint8_t>(c); });
    if (at == data.end()) return false;
    std::copy(to.begin(), to.end(), at);
    return true;
}

QByteArray Tlv(int tag, const QByteArray& content) {
    return QByteArray(1, static_cast<char>(tag)) +
           QByteArray(1, static_cast<char>(content.size())) + content;
}

bool Retag(Bytes& data, const QByteArray& content, int fromType, int type) {
    return ReplaceBytes(data, Tlv(fromType, content), Tlv(type, content));
}

namespace {

#ifdef _WIN32
// The C runtime on Windows reads TZ only in the POSIX form (name, offset west, summer name).
std::string RuntimeZone(const char* zone) {
    static const std::pair<const char*, const char*> kZones[] = {
        {"UTC", "UTC0"},
        {"Asia/Tokyo", "JST-9"},
        {"Asia/Kolkata", "IST-5:30"},
        {"America/New_York", "EST5EDT"},
    };
    for (const auto& [name, posix] : kZones)
        if (std::strcmp(zone, name) == 0) return posix;
    return zone;
}
void ReadZone() { _tzset(); }
#else
std::string RuntimeZone(const char* zone) { return zone; }
void ReadZone() { tzset(); }
#endif

}  // namespace

ScopedTimeZone::ScopedTimeZone(const char* zone) {
    if (const char* previous = std::getenv("TZ")) m_previous = previous;
    qputenv("TZ", QByteArray::fromStdString(RuntimeZone(zone)));
    ReadZone();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (m_previous)
        qputenv("TZ", QByteArray::fromStdString(*m_previous));
    else
        qunsetenv("TZ");
    ReadZone();
}

DebugCapture::DebugCapture()
    : m_previous(SetDebugOutputSink([this](const QString& text) { lines.push_back(text); })) {}

DebugCapture::~DebugCapture() {
    SetDebugOutputSink(m_previous);
}
