#include "certs/CredentialChecks.h"

#include <openssl/bio.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <QStringList>
#include <algorithm>
#include <memory>

#include "certs/Credential.h"
#include "certs/ErrorQueueMark.h"

namespace {

constexpr int FIRST_FURTHER_SLOT = 2;

using Credentials = std::array<Credential, SLOT_COUNT>;

struct BioDeleter {
    void operator()(BIO* bio) const { BIO_free(bio); }
};

bool Written(const CredentialSlots& slots, const SlotMask& touched, int slot) {
    const auto& bytes = slots[static_cast<size_t>(slot)];
    return touched.test(static_cast<size_t>(slot)) && bytes && !bytes->isEmpty();
}

// Slot 0 and the further certificates: its issuer and repeated certificates are sought
// among them.
bool CertificateGroupTouched(const CredentialSlots& slots, const SlotMask& touched) {
    if (Written(slots, touched, SLOT_SERVER_CERTIFICATE)) return true;
    for (int slot = FIRST_FURTHER_SLOT; slot < SLOT_COUNT; ++slot)
        if (touched.test(static_cast<size_t>(slot))) return true;
    return false;
}

bool KeyPairTouched(const CredentialSlots& slots, const SlotMask& touched) {
    return Written(slots, touched, SLOT_SERVER_CERTIFICATE) ||
           Written(slots, touched, SLOT_SERVER_KEY);
}

// One line of OpenSSL's printing of a name or a time.
template <typename Print>
QString Printed(Print print) {
    const std::unique_ptr<BIO, BioDeleter> bio(BIO_new(BIO_s_mem()));
    if (!bio || print(bio.get()) <= 0) return {};
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return QString::fromUtf8(data, static_cast<qsizetype>(length));
}

QString TimeText(const ASN1_TIME* time) {
    return Printed([time](BIO* bio) { return ASN1_TIME_print_ex(bio, time, ASN1_DTFLGS_ISO8601); });
}

QString NameText(const X509_NAME* name) {
    // RFC 2253 escapes control characters, so the name cannot break the line.
    return Printed([name](BIO* bio) { return X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253); });
}

class Findings {
public:
    void Add(std::vector<int> slots, CredentialProblem::Severity severity, const char* code,
             QString message) {
        m_problems.push_back(
            {std::move(slots), severity, QString::fromLatin1(code), std::move(message)});
    }
    std::vector<CredentialProblem> Take() {
        std::stable_sort(m_problems.begin(), m_problems.end(),
                         [](const CredentialProblem& a, const CredentialProblem& b) {
                             return a.slots.front() < b.slots.front();
                         });
        return std::move(m_problems);
    }

private:
    std::vector<CredentialProblem> m_problems;
};

void CheckContent(const Credential& held, int slot, Findings& findings) {
    using C = Credential;
    const CredentialProblem::Severity error = CredentialProblem::Error;
    if (slot == SLOT_SERVER_KEY) {
        if (held.kind == C::EncryptedKey)
            findings.Add({slot}, error, PROBLEM_KEY_ENCRYPTED,
                         QStringLiteral("the key in slot 1 is encrypted; the device cannot open "
                                        "it without a passphrase"));
        else if (held.kind == C::Certificate)
            findings.Add({slot}, error, PROBLEM_NOT_A_KEY,
                         QStringLiteral("slot 1 takes the server's private key, not a "
                                        "certificate"));
        else if (held.kind == C::Neither)
            findings.Add({slot}, error, PROBLEM_NOT_A_KEY,
                         QStringLiteral("slot 1 takes the server's private key; these bytes are "
                                        "neither a key nor a certificate"));
        return;
    }
    if (held.holdsPrivateKey)
        findings.Add({slot}, error, PROBLEM_KEY_IN_CERTIFICATE_SLOT,
                     (held.kind == C::Certificate
                          ? QStringLiteral("slot %1 takes a certificate; these bytes also hold a "
                                           "private key")
                          : QStringLiteral("slot %1 takes a certificate, not a private key"))
                         .arg(slot));
    else if (held.kind == C::Neither)
        findings.Add({slot}, error, PROBLEM_NOT_A_CERTIFICATE,
                     QStringLiteral("slot %1 takes a certificate; these bytes are neither a "
                                    "certificate nor a key")
                         .arg(slot));
}

// `what` names the certificate in a message: "the server certificate in slot 0". The server
// certificate's expiry is an error, the device's handshake fails with it; a further one's is
// a warning, the device may never need it.
void CheckDates(X509* certificate, int slot, CredentialProblem::Severity expiry,
                const QString& what, std::time_t now, Findings& findings) {
    if (X509_cmp_time(X509_get0_notAfter(certificate), &now) < 0)
        findings.Add({slot}, expiry, PROBLEM_CERTIFICATE_EXPIRED,
                     QStringLiteral("%1 expired at %2")
                         .arg(what, TimeText(X509_get0_notAfter(certificate))));
    if (X509_cmp_time(X509_get0_notBefore(certificate), &now) > 0)
        findings.Add({slot}, CredentialProblem::Warning, PROBLEM_CERTIFICATE_NOT_YET_VALID,
                     QStringLiteral("%1 is not valid before %2")
                         .arg(what, TimeText(X509_get0_notBefore(certificate))));
}

bool SelfIssued(X509* certificate) {
    return X509_NAME_cmp(X509_get_subject_name(certificate), X509_get_issuer_name(certificate)) ==
           0;
}

// `issuer` (null: none) is the issuer of `certificate` and its key verifies the signature.
bool Verifies(X509* issuer, X509* certificate) {
    if (issuer == nullptr || X509_check_issued(issuer, certificate) != X509_V_OK) return false;
    EVP_PKEY* key = X509_get0_pubkey(issuer);
    return key != nullptr && X509_verify(certificate, key) == 1;
}

// A further certificate with the issuer's name whose key verifies slot 0's signature is
// its issuer. One with the name whose key does not is an error: the device would find it
// and fail. None at all is a warning: the device may trust a root it was built with.
// Judged only when every further slot is known.
void CheckIssuer(const Credentials& held, const CredentialSlots& slots, Findings& findings) {
    X509* server = held[SLOT_SERVER_CERTIFICATE].certificate.get();
    if (SelfIssued(server)) return;  // its issuer is itself
    for (int slot = FIRST_FURTHER_SLOT; slot < SLOT_COUNT; ++slot)
        if (!slots[static_cast<size_t>(slot)]) return;  // it may hold the issuer
    std::vector<int> named{SLOT_SERVER_CERTIFICATE};
    for (int slot = FIRST_FURTHER_SLOT; slot < SLOT_COUNT; ++slot) {
        X509* candidate = held[static_cast<size_t>(slot)].certificate.get();
        if (candidate == nullptr) continue;
        if (X509_check_issued(candidate, server) == X509_V_ERR_SUBJECT_ISSUER_MISMATCH) continue;
        if (Verifies(candidate, server)) return;
        named.push_back(slot);
    }
    const QString issuer = NameText(X509_get_issuer_name(server));
    if (named.size() > 1) {
        QStringList where;
        for (size_t i = 1; i < named.size(); ++i) where << QString::number(named[i]);
        findings.Add(named, CredentialProblem::Error, PROBLEM_ISSUER_SIGNATURE_INVALID,
                     QStringLiteral("the issuer of slot 0's certificate (%1) is in slot %2, but "
                                    "slot 0's certificate does not verify against it")
                         .arg(issuer, where.join(QStringLiteral(", "))));
    } else {
        findings.Add(named, CredentialProblem::Warning, PROBLEM_ISSUER_MISSING,
                     QStringLiteral("the issuer of slot 0's certificate (%1) is in none of slots "
                                    "2-14; the device must already trust it")
                         .arg(issuer));
    }
}

void CheckRepeats(const Credentials& held, const SlotMask& touched, Findings& findings) {
    SlotMask reported;
    for (int first = 0; first < SLOT_COUNT; ++first) {
        const X509* a = held[static_cast<size_t>(first)].certificate.get();
        if (first == SLOT_SERVER_KEY || a == nullptr || reported.test(static_cast<size_t>(first)))
            continue;
        std::vector<int> same{first};
        bool anyTouched = touched.test(static_cast<size_t>(first));
        for (int other = first + 1; other < SLOT_COUNT; ++other) {
            const X509* b = held[static_cast<size_t>(other)].certificate.get();
            if (other == SLOT_SERVER_KEY || b == nullptr || X509_cmp(a, b) != 0) continue;
            same.push_back(other);
            reported.set(static_cast<size_t>(other));
            anyTouched = anyTouched || touched.test(static_cast<size_t>(other));
        }
        if (same.size() < 2 || !anyTouched) continue;
        QStringList where;
        for (const int slot : same) where << QString::number(slot);
        findings.Add(same, CredentialProblem::Warning, PROBLEM_DUPLICATE_CERTIFICATE,
                     QStringLiteral("slots %1 hold the same certificate")
                         .arg(where.join(QStringLiteral(", "))));
    }
}

}  // namespace

SlotMask SlotsTheChecksNeed(const CredentialSlots& slots, const SlotMask& touched) {
    const ErrorQueueMark mark;
    SlotMask needed;
    // The key against the certificate.
    if (Written(slots, touched, SLOT_SERVER_CERTIFICATE)) needed.set(SLOT_SERVER_KEY);
    if (Written(slots, touched, SLOT_SERVER_KEY)) needed.set(SLOT_SERVER_CERTIFICATE);
    // Slot 0's issuer among slots 2-14: slot 0 first, then the rest only while none of the
    // known further slots verifies it (an unknown one might name its issuer and not verify).
    if (CertificateGroupTouched(slots, touched)) {
        needed.set(SLOT_SERVER_CERTIFICATE);
        if (const auto& serverBytes = slots[SLOT_SERVER_CERTIFICATE]) {
            const Credential server = ReadCredential(*serverBytes);
            X509* certificate = server.certificate.get();
            bool settled = certificate == nullptr || SelfIssued(certificate);
            for (int slot = FIRST_FURTHER_SLOT; slot < SLOT_COUNT && !settled; ++slot)
                if (const auto& bytes = slots[static_cast<size_t>(slot)])
                    settled = Verifies(ReadCredential(*bytes).certificate.get(), certificate);
            if (!settled)
                for (int slot = FIRST_FURTHER_SLOT; slot < SLOT_COUNT; ++slot)
                    needed.set(static_cast<size_t>(slot));
        }
    }
    for (int slot = 0; slot < SLOT_COUNT; ++slot)
        if (slots[static_cast<size_t>(slot)]) needed.reset(static_cast<size_t>(slot));
    return needed;
}

std::vector<CredentialProblem> CheckCredentials(const CredentialSlots& slots,
                                                const SlotMask& touched, std::time_t now) {
    const ErrorQueueMark mark;
    Credentials held;
    for (int slot = 0; slot < SLOT_COUNT; ++slot)
        if (const auto& bytes = slots[static_cast<size_t>(slot)])
            held[static_cast<size_t>(slot)] = ReadCredential(*bytes);

    Findings findings;
    for (int slot = 0; slot < SLOT_COUNT; ++slot)
        if (touched.test(static_cast<size_t>(slot)))
            CheckContent(held[static_cast<size_t>(slot)], slot, findings);

    const Credential& server = held[SLOT_SERVER_CERTIFICATE];
    const Credential& key = held[SLOT_SERVER_KEY];
    const bool haveServer = server.kind == Credential::Certificate;
    if (KeyPairTouched(slots, touched) && haveServer && key.kind == Credential::PrivateKey &&
        !KeyBelongsTo(key, server))
        findings.Add({SLOT_SERVER_CERTIFICATE, SLOT_SERVER_KEY}, CredentialProblem::Error,
                     PROBLEM_KEY_MISMATCH,
                     QStringLiteral("the key in slot 1 does not belong to the certificate in "
                                    "slot 0"));
    if (haveServer && touched.test(SLOT_SERVER_CERTIFICATE))
        CheckDates(server.certificate.get(), SLOT_SERVER_CERTIFICATE, CredentialProblem::Error,
                   QStringLiteral("the server certificate in slot 0"), now, findings);
    for (int slot = FIRST_FURTHER_SLOT; slot < SLOT_COUNT; ++slot)
        if (X509* further = held[static_cast<size_t>(slot)].certificate.get();
            further != nullptr && touched.test(static_cast<size_t>(slot)))
            CheckDates(further, slot, CredentialProblem::Warning,
                       QStringLiteral("the certificate in slot %1").arg(slot), now, findings);
    if (CertificateGroupTouched(slots, touched)) {
        if (haveServer) CheckIssuer(held, slots, findings);
        CheckRepeats(held, touched, findings);
    }
    return findings.Take();
}

int ErrorCount(const std::vector<CredentialProblem>& problems) {
    return static_cast<int>(
        std::count_if(problems.begin(), problems.end(), [](const CredentialProblem& problem) {
            return problem.severity == CredentialProblem::Error;
        }));
}

std::vector<CredentialProblem> CheckLooseCredentials(const std::vector<Credential>& items,
                                                     std::time_t now) {
    const std::vector<std::vector<size_t>> pairs = KeyCertificatePairs(items);
    std::vector<int> certificates;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].kind == Credential::Certificate) certificates.push_back(static_cast<int>(i));
    Findings findings;
    for (size_t i = 0; i < items.size(); ++i) {
        const int at = static_cast<int>(i);
        if (items[i].kind == Credential::EncryptedKey)
            findings.Add({at}, CredentialProblem::Error, PROBLEM_KEY_ENCRYPTED,
                         QStringLiteral("the key is encrypted; the device cannot open it without "
                                        "a passphrase"));
        if (X509* certificate = items[i].certificate.get())
            CheckDates(certificate, at, CredentialProblem::Warning,
                       QStringLiteral("the certificate"), now, findings);
        if (items[i].kind != Credential::PrivateKey || certificates.empty() || !pairs[i].empty())
            continue;
        std::vector<int> involved = certificates;
        involved.insert(std::lower_bound(involved.begin(), involved.end(), at), at);
        findings.Add(involved, CredentialProblem::Error, PROBLEM_KEY_MISMATCH,
                     QStringLiteral("the key belongs to none of the certificates"));
    }
    return findings.Take();
}
