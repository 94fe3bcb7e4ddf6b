#include "TestCredentials.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <array>
#include <memory>

namespace {

struct Free {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(X509* p) const { X509_free(p); }
    void operator()(BIO* p) const { BIO_free(p); }
    void operator()(BIGNUM* p) const { BN_free(p); }
    void operator()(OSSL_PARAM_BLD* p) const { OSSL_PARAM_BLD_free(p); }
    void operator()(OSSL_PARAM* p) const { OSSL_PARAM_free(p); }
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};

EVP_PKEY* KeyPair(TestKey which) {
    static std::array<std::unique_ptr<EVP_PKEY, Free>, 6> keys;
    auto& key = keys[static_cast<size_t>(which)];
    if (!key) {
        const bool rsa = which == TestKey::RsaA || which == TestKey::RsaB;
        key.reset(rsa ? EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(1024))
                      : EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    }
    return key.get();
}

bool SetCommonName(X509_NAME* name, const char* text) {
    return X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                      reinterpret_cast<const unsigned char*>(text), -1, -1, 0) == 1;
}

// The public half of an RSA key as an RSA-PSS key: the same modulus and exponent.
std::unique_ptr<EVP_PKEY, Free> AsPss(EVP_PKEY* rsa) {
    BIGNUM* n = nullptr;
    BIGNUM* e = nullptr;
    EVP_PKEY_get_bn_param(rsa, OSSL_PKEY_PARAM_RSA_N, &n);
    EVP_PKEY_get_bn_param(rsa, OSSL_PKEY_PARAM_RSA_E, &e);
    const std::unique_ptr<BIGNUM, Free> ownedN(n), ownedE(e);
    const std::unique_ptr<OSSL_PARAM_BLD, Free> build(OSSL_PARAM_BLD_new());
    if (!n || !e || !build || OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_N, n) != 1 ||
        OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_E, e) != 1)
        return nullptr;
    const std::unique_ptr<OSSL_PARAM, Free> params(OSSL_PARAM_BLD_to_param(build.get()));
    const std::unique_ptr<EVP_PKEY_CTX, Free> context(
        EVP_PKEY_CTX_new_from_name(nullptr, "RSA-PSS", nullptr));
    EVP_PKEY* pss = nullptr;
    if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &pss, EVP_PKEY_PUBLIC_KEY, params.get()) != 1)
        return nullptr;
    return std::unique_ptr<EVP_PKEY, Free>(pss);
}

QByteArray Contents(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return QByteArray(data, static_cast<qsizetype>(length));
}

}  // namespace

QByteArray TestCertificate(const CertificateShape& shape) {
    std::unique_ptr<X509, Free> cert(X509_new());
    const std::unique_ptr<EVP_PKEY, Free> pss = shape.pss ? AsPss(KeyPair(shape.key)) : nullptr;
    if (shape.pss && !pss) return {};
    EVP_PKEY* subjectKey = shape.pss ? pss.get() : KeyPair(shape.key);
    const long day = 24L * 3600;
    const bool made =
        cert && X509_set_version(cert.get(), X509_VERSION_3) == 1 &&
        ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 7) == 1 &&
        SetCommonName(X509_get_subject_name(cert.get()), shape.subject) &&
        SetCommonName(X509_get_issuer_name(cert.get()), shape.issuer) &&
        X509_gmtime_adj(X509_getm_notBefore(cert.get()), shape.fromDays * day) != nullptr &&
        X509_gmtime_adj(X509_getm_notAfter(cert.get()), shape.toDays * day) != nullptr &&
        X509_set_pubkey(cert.get(), subjectKey) == 1 &&
        X509_sign(cert.get(), KeyPair(shape.signer), EVP_sha256()) > 0;
    if (!made) return {};
    unsigned char* der = nullptr;
    const int length = i2d_X509(cert.get(), &der);
    if (length <= 0) return {};
    QByteArray bytes(reinterpret_cast<const char*>(der), length);
    OPENSSL_free(der);
    return bytes;
}

QByteArray TestAuthority(TestKey key) {
    return TestCertificate({"Test CA", "Test CA", key, key, -1, 3650});
}

QByteArray CertificatePem(const QByteArray& der) {
    const auto* cursor = reinterpret_cast<const unsigned char*>(der.constData());
    std::unique_ptr<X509, Free> cert(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
    std::unique_ptr<BIO, Free> bio(BIO_new(BIO_s_mem()));
    if (!cert || !bio || PEM_write_bio_X509(bio.get(), cert.get()) != 1) return {};
    return Contents(bio.get());
}

QByteArray TestKeyBytes(TestKey which, KeyForm form) {
    EVP_PKEY* key = KeyPair(which);
    std::unique_ptr<BIO, Free> bio(BIO_new(BIO_s_mem()));
    if (!key || !bio) return {};
    static char passphrase[] = "field-day";
    const int length = static_cast<int>(sizeof passphrase - 1);
    const EVP_CIPHER* cipher = EVP_aes_128_cbc();
    int written = 0;
    switch (form) {
        case KeyForm::Pkcs8Der:
            written =
                i2d_PKCS8PrivateKey_bio(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
            break;
        case KeyForm::Pkcs8Pem:
            written =
                PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
            break;
        case KeyForm::TraditionalPem:
            written = PEM_write_bio_PrivateKey_traditional(bio.get(), key, nullptr, nullptr, 0,
                                                           nullptr, nullptr);
            break;
        case KeyForm::EncryptedPkcs8Pem:
            written = PEM_write_bio_PKCS8PrivateKey(bio.get(), key, cipher, passphrase, length,
                                                    nullptr, nullptr);
            break;
        case KeyForm::EncryptedPkcs8Der:
            written = i2d_PKCS8PrivateKey_bio(bio.get(), key, cipher, passphrase, length, nullptr,
                                              nullptr);
            break;
        case KeyForm::EncryptedTraditionalPem:
            written = PEM_write_bio_PrivateKey_traditional(
                bio.get(), key, cipher, reinterpret_cast<unsigned char*>(passphrase), length,
                nullptr, nullptr);
            break;
    }
    return written == 1 ? Contents(bio.get()) : QByteArray();
}

QByteArray TestKeyParameters(TestKey which) {
    std::unique_ptr<BIO, Free> bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_Parameters(bio.get(), KeyPair(which)) != 1) return {};
    return Contents(bio.get());
}
