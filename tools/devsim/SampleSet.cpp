#include "SampleSet.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <memory>

namespace {
struct Free {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(X509* p) const { X509_free(p); }
    void operator()(X509_NAME* p) const { X509_NAME_free(p); }
    void operator()(BIO* p) const { BIO_free(p); }
    void operator()(ASN1_INTEGER* p) const { ASN1_INTEGER_free(p); }
    void operator()(BIGNUM* p) const { BN_free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Free>;
using Cert = std::unique_ptr<X509, Free>;
using Name = std::unique_ptr<X509_NAME, Free>;

Name MakeName(std::initializer_list<std::pair<const char*, const char*>> entries) {
    Name name(X509_NAME_new());
    for (const auto& [field, value] : entries) {
        if (!name) break;
        if (X509_NAME_add_entry_by_txt(name.get(), field, MBSTRING_UTF8,
                                       reinterpret_cast<const unsigned char*>(value), -1, -1,
                                       0) != 1)
            name.reset();
    }
    return name;
}

// A certificate for `subjectKey` named `subject`, issued under `issuer` and signed by
// `signingKey` with `digest`, valid from now for `days`.
Cert MakeCertificate(EVP_PKEY* subjectKey, const X509_NAME* subject, const X509_NAME* issuer,
                     EVP_PKEY* signingKey, const EVP_MD* digest, long days) {
    Cert cert(X509_new());
    if (!cert) return nullptr;
    std::unique_ptr<BIGNUM, Free> serial(BN_new());
    if (!serial || BN_rand(serial.get(), 64, BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ANY) != 1)
        return nullptr;
    std::unique_ptr<ASN1_INTEGER, Free> serialNumber(BN_to_ASN1_INTEGER(serial.get(), nullptr));
    const bool ok = serialNumber && X509_set_version(cert.get(), X509_VERSION_3) == 1 &&
                    X509_set_serialNumber(cert.get(), serialNumber.get()) == 1 &&
                    X509_set_subject_name(cert.get(), subject) == 1 &&
                    X509_set_issuer_name(cert.get(), issuer) == 1 &&
                    X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0) != nullptr &&
                    X509_gmtime_adj(X509_getm_notAfter(cert.get()), days * 24 * 3600) != nullptr &&
                    X509_set_pubkey(cert.get(), subjectKey) == 1 &&
                    X509_sign(cert.get(), signingKey, digest) > 0;
    return ok ? std::move(cert) : nullptr;
}

QByteArray Der(X509* cert) {
    unsigned char* out = nullptr;
    const int length = i2d_X509(cert, &out);
    if (length <= 0) return {};
    QByteArray bytes(reinterpret_cast<const char*>(out), length);
    OPENSSL_free(out);
    return bytes;
}

QByteArray Pkcs8Der(EVP_PKEY* key) {
    std::unique_ptr<BIO, Free> bio(BIO_new(BIO_s_mem()));
    if (!bio ||
        i2d_PKCS8PrivateKey_bio(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return {};
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, static_cast<qsizetype>(length));
}
}  // namespace

bool MakeSampleSlots(std::array<QByteArray, 15>& slots, QString& error) {
    Key caKey(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    Key serverKey(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(2048)));
    Key clientKey(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    if (!caKey || !serverKey || !clientKey) {
        error = QStringLiteral("cannot generate the sample keys");
        return false;
    }
    const Name caName = MakeName({{"C", "DE"}, {"O", "Quillbank Samples"}, {"CN", "Sample Root CA"}});
    const Name serverName = MakeName({{"O", "Quillbank Samples"}, {"CN", "device.sample.test"}});
    const Name clientA = MakeName({{"O", "Quillbank Samples"}, {"CN", "Operator A"}});
    const Name clientB = MakeName({{"O", "Quillbank Samples"}, {"CN", "Operator B"}});
    const Name clientC = MakeName({{"O", "Quillbank Samples"}, {"CN", "Service Station 7"}});
    // An issuer with two common names, as some in-house authorities use.
    const Name twoNames = MakeName({{"CN", "Sample Issuing CA"}, {"O", "Quillbank Samples"},
                                    {"CN", "Plant North"}});
    if (!caName || !serverName || !clientA || !clientB || !clientC || !twoNames) {
        error = QStringLiteral("cannot build the sample names");
        return false;
    }

    const Cert ca = MakeCertificate(caKey.get(), caName.get(), caName.get(), caKey.get(),
                                    EVP_sha256(), 3650);
    const Cert server = MakeCertificate(serverKey.get(), serverName.get(), caName.get(),
                                        caKey.get(), EVP_sha256(), 825);
    const Cert a = MakeCertificate(clientKey.get(), clientA.get(), caName.get(), caKey.get(),
                                   EVP_sha256(), 365);
    const Cert b = MakeCertificate(clientKey.get(), clientB.get(), serverName.get(),
                                   serverKey.get(), EVP_sha256(), 730);
    const Cert c = MakeCertificate(clientKey.get(), clientC.get(), twoNames.get(), caKey.get(),
                                   EVP_sha384(), 180);
    if (!ca || !server || !a || !b || !c) {
        error = QStringLiteral("cannot sign the sample certificates");
        return false;
    }

    slots = {};
    slots[0] = Der(server.get());
    slots[1] = Pkcs8Der(serverKey.get());
    slots[2] = Der(a.get());
    slots[3] = Der(b.get());
    slots[4] = Der(c.get());
    slots[5] = Der(ca.get());
    for (int i = 0; i <= 5; ++i) {
        if (slots[static_cast<size_t>(i)].isEmpty()) {
            error = QStringLiteral("cannot encode sample slot %1").arg(i);
            return false;
        }
    }
    return true;
}
