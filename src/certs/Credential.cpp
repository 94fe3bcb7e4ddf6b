#include "certs/Credential.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <string>

#include "certs/ErrorQueueMark.h"

void EvpPkeyDeleter::operator()(EVP_PKEY* key) const {
    EVP_PKEY_free(key);
}

namespace {

struct BioDeleter {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct X509SigDeleter {
    void operator()(X509_SIG* sig) const { X509_SIG_free(sig); }
};
struct OpenSslFree {
    void operator()(void* block) const { OPENSSL_free(block); }
};

Credential OfKind(Credential::Kind kind) {
    Credential credential;
    credential.kind = kind;
    return credential;
}

QString AlgorithmText(const EVP_PKEY* key) {
    if (key == nullptr) return {};
    const int id = EVP_PKEY_get_base_id(key);
    const QString bits = QString::number(EVP_PKEY_get_bits(key));
    switch (id) {
        case EVP_PKEY_RSA:
            return QStringLiteral("RSA ") + bits;
        case EVP_PKEY_RSA_PSS:
            return QStringLiteral("RSA-PSS ") + bits;
        case EVP_PKEY_DSA:
            return QStringLiteral("DSA ") + bits;
        case EVP_PKEY_EC: {
            char group[80] = {};
            size_t length = 0;
            if (EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group,
                                               &length) != 1)
                return QStringLiteral("EC");
            const char* nist = EC_curve_nid2nist(OBJ_txt2nid(group));
            return QStringLiteral("EC ") + QString::fromLatin1(nist != nullptr ? nist : group);
        }
        default:
            break;
    }
    const char* name = EVP_PKEY_get0_type_name(key);
    return name != nullptr ? QString::fromLatin1(name) : QStringLiteral("unknown");
}

// An EncryptedPrivateKeyInfo: the DigestInfo-like outline of X509_SIG with a password-based
// encryption scheme (PKCS#5 or PKCS#12) as its algorithm.
bool IsEncryptedPkcs8(const unsigned char* data, long length) {
    const unsigned char* cursor = data;
    const std::unique_ptr<X509_SIG, X509SigDeleter> sig(d2i_X509_SIG(nullptr, &cursor, length));
    if (!sig) return false;
    const X509_ALGOR* algorithm = nullptr;
    X509_SIG_get0(sig.get(), &algorithm, nullptr);
    const ASN1_OBJECT* object = nullptr;
    X509_ALGOR_get0(&object, nullptr, nullptr, algorithm);
    char oid[80] = {};
    if (object == nullptr || OBJ_obj2txt(oid, sizeof oid, object, 1) <= 0) return false;
    const std::string text(oid);
    return text.starts_with("1.2.840.113549.1.5.") || text.starts_with("1.2.840.113549.1.12.1.");
}

Credential FromCertificateDer(const unsigned char* data, long length) {
    Credential credential = OfKind(Credential::Certificate);
    const unsigned char* cursor = data;
    credential.certificate.reset(d2i_X509(nullptr, &cursor, length));
    if (!credential.certificate) return OfKind(Credential::Neither);
    credential.algorithm = AlgorithmText(X509_get0_pubkey(credential.certificate.get()));
    return credential;
}

// The encrypted form is recognised before a decoder sees it, so none is ever asked to
// decrypt.
Credential FromKeyDer(const unsigned char* data, long length) {
    if (IsEncryptedPkcs8(data, length)) {
        Credential encrypted = OfKind(Credential::EncryptedKey);
        encrypted.holdsPrivateKey = true;
        return encrypted;
    }
    Credential credential;
    const unsigned char* cursor = data;
    credential.key.reset(d2i_AutoPrivateKey(nullptr, &cursor, length));
    credential.kind = credential.key ? Credential::PrivateKey : Credential::Neither;
    credential.algorithm = AlgorithmText(credential.key.get());
    credential.holdsPrivateKey = credential.kind == Credential::PrivateKey;
    return credential;
}

Credential FromDer(const unsigned char* data, long length) {
    Credential credential = FromCertificateDer(data, length);
    if (credential.kind == Credential::Certificate) return credential;
    return FromKeyDer(data, length);
}

bool IsCertificateLabel(const std::string& label) {
    return label == PEM_STRING_X509 || label == PEM_STRING_X509_OLD;
}

// Plain, encrypted PKCS#8 and traditional forms alike.
bool IsPrivateKeyLabel(const std::string& label) {
    return label.ends_with("PRIVATE KEY");
}

Credential FromPemBlock(const std::string& label, const char* header, const unsigned char* data,
                        long length) {
    if (IsCertificateLabel(label)) return FromCertificateDer(data, length);
    if (label == PEM_STRING_PKCS8) return OfKind(Credential::EncryptedKey);
    // The traditional form keeps its encryption in the block's headers.
    const char* headers = header != nullptr ? header : "";
    if (std::strstr(headers, "Proc-Type:") != nullptr &&
        std::strstr(headers, "ENCRYPTED") != nullptr)
        return OfKind(Credential::EncryptedKey);
    return FromKeyDer(data, length);
}

// The first certificate or private-key block decides; others (the "EC PARAMETERS" that
// `openssl ecparam -genkey` writes first, a public key) are passed over. Every block is
// read, so that a key after a certificate is seen.
Credential FromPem(const QByteArray& bytes) {
    const std::unique_ptr<BIO, BioDeleter> bio(
        BIO_new_mem_buf(bytes.constData(), static_cast<int>(bytes.size())));
    if (!bio) return OfKind(Credential::Neither);
    std::optional<Credential> judged;
    bool holdsKey = false;
    for (;;) {
        char* name = nullptr;
        char* header = nullptr;
        unsigned char* data = nullptr;
        long length = 0;
        const bool read = PEM_read_bio(bio.get(), &name, &header, &data, &length) == 1;
        const std::unique_ptr<char, OpenSslFree> ownedName(name), ownedHeader(header);
        const std::unique_ptr<unsigned char, OpenSslFree> ownedData(data);
        if (!read) break;
        const std::string label(name);
        const bool key = IsPrivateKeyLabel(label);
        holdsKey = holdsKey || key;
        if (!judged && (key || IsCertificateLabel(label)))
            judged = FromPemBlock(label, header, data, length);
    }
    Credential credential = judged ? std::move(*judged) : OfKind(Credential::Neither);
    credential.holdsPrivateKey = holdsKey;
    return credential;
}

// RSA and RSA-PSS keys differ in type only: the same modulus and exponent are the same key.
bool SameRsaKey(const EVP_PKEY* a, const EVP_PKEY* b) {
    const auto isRsa = [](const EVP_PKEY* key) {
        const int id = EVP_PKEY_get_base_id(key);
        return id == EVP_PKEY_RSA || id == EVP_PKEY_RSA_PSS;
    };
    if (!isRsa(a) || !isRsa(b)) return false;
    const auto equal = [a, b](const char* param) {
        BIGNUM* x = nullptr;
        BIGNUM* y = nullptr;
        const bool got =
            EVP_PKEY_get_bn_param(a, param, &x) == 1 && EVP_PKEY_get_bn_param(b, param, &y) == 1;
        const bool same = got && BN_cmp(x, y) == 0;
        BN_free(x);
        BN_free(y);
        return same;
    };
    return equal(OSSL_PKEY_PARAM_RSA_N) && equal(OSSL_PKEY_PARAM_RSA_E);
}

}  // namespace

Credential ReadCredential(const QByteArray& bytes) {
    if (bytes.isEmpty()) return {};
    if (bytes.size() > INT_MAX / 2) return OfKind(Credential::Neither);
    const ErrorQueueMark mark;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto length = static_cast<long>(bytes.size());
    // DER begins with a SEQUENCE; its text (a name, say) may hold a PEM marker.
    if (bytes.front() == '\x30') {
        Credential der = FromDer(data, length);
        if (der.kind != Credential::Neither) return der;
    }
    if (bytes.contains("-----BEGIN ")) return FromPem(bytes);
    return FromDer(data, length);
}

bool KeyBelongsTo(const Credential& key, const Credential& certificate) {
    if (key.kind != Credential::PrivateKey || certificate.kind != Credential::Certificate)
        return false;
    const EVP_PKEY* pub = X509_get0_pubkey(certificate.certificate.get());
    const ErrorQueueMark mark;
    return pub != nullptr &&
           (EVP_PKEY_eq(pub, key.key.get()) == 1 || SameRsaKey(pub, key.key.get()));
}

std::vector<std::vector<size_t>> KeyCertificatePairs(const std::vector<Credential>& items) {
    std::vector<std::vector<size_t>> pairs(items.size());
    for (size_t k = 0; k < items.size(); ++k)
        for (size_t c = 0; c < items.size(); ++c)
            if (KeyBelongsTo(items[k], items[c])) {
                pairs[k].push_back(c);
                pairs[c].push_back(k);
            }
    for (std::vector<size_t>& partners : pairs) std::sort(partners.begin(), partners.end());
    return pairs;
}
