// The credential checks over sets made at test time: pairs, encrypted keys, kinds in the
// wrong slots, dates, chains, repeats; and the device slots each job needs for them.

#include <gtest/gtest.h>

#include <QStringList>
#include <ctime>
#include <map>
#include <string>

#include "TestCredentials.h"
#include "certs/Credential.h"
#include "certs/CredentialChecks.h"

namespace {

// "code slots severity", e.g. "key-mismatch 0,1 E".
QStringList Summaries(const std::vector<CredentialProblem>& problems) {
    QStringList lines;
    for (const CredentialProblem& problem : problems) {
        QStringList slots;
        for (const int slot : problem.slots) slots << QString::number(slot);
        lines << QStringLiteral("%1 %2 %3")
                     .arg(problem.code, slots.join(u','),
                          problem.severity == CredentialProblem::Error ? QStringLiteral("E")
                                                                       : QStringLiteral("W"));
        EXPECT_FALSE(problem.message.isEmpty() || problem.message.contains(u'\n'))
            << problem.message.toStdString();
    }
    return lines;
}

SlotMask Mask(std::initializer_list<int> slots) {
    SlotMask mask;
    for (const int slot : slots) mask.set(static_cast<size_t>(slot));
    return mask;
}

TEST(CredentialChecks, EachSetGivesItsProblems) {
    using K = TestKey;
    using F = KeyForm;
    const QByteArray ca = TestAuthority();
    const QByteArray server = TestCertificate({});
    const QByteArray serverEc = TestCertificate({"device.test", "Test CA", K::EcA});
    const QByteArray rsaKey = TestKeyBytes(K::RsaA, F::Pkcs8Der);
    const QByteArray pssServer =
        TestCertificate({"device.test", "Test CA", K::RsaA, K::Ca, -1, 365, true});
    const QByteArray expired = TestCertificate({"Old CA", "Test CA", K::OtherCa, K::Ca, -400, -2});
    const QByteArray future = TestCertificate({"New CA", "Test CA", K::OtherCa, K::Ca, 2, 400});
    static const char junkBytes[] = "\x30\x03\x02\x01\x05 not a credential";
    const QByteArray junk(junkBytes, sizeof junkBytes - 1);
    struct Case {
        const char* name;
        std::map<int, QByteArray> slots;
        std::vector<int> touched;  // empty: every slot (as `check` has them)
        std::vector<std::string> problems;
        bool restUnknown = false;  // slots not in `slots`: not known instead of empty
    };
    const Case cases[] = {
        {"RSA pair and its authority, DER", {{0, server}, {1, rsaKey}, {2, ca}}, {}, {}},
        {"EC pair and its authority, PEM",
         {{0, CertificatePem(serverEc)},
          {1, TestKeyBytes(K::EcA, F::Pkcs8Pem)},
          {5, CertificatePem(ca)}},
         {},
         {}},
        {"traditional PEM key",
         {{0, server}, {1, TestKeyBytes(K::RsaA, F::TraditionalPem)}, {2, ca}},
         {},
         {}},
        {"RSA key of another certificate",
         {{0, server}, {1, TestKeyBytes(K::RsaB, F::Pkcs8Pem)}, {2, ca}},
         {},
         {"key-mismatch 0,1 E"}},
        {"EC key of another certificate",
         {{0, serverEc}, {1, TestKeyBytes(K::EcB, F::TraditionalPem)}, {2, ca}},
         {},
         {"key-mismatch 0,1 E"}},
        {"EC key for an RSA certificate",
         {{0, server}, {1, TestKeyBytes(K::EcA, F::Pkcs8Der)}, {2, ca}},
         {},
         {"key-mismatch 0,1 E"}},
        {"encrypted PKCS#8, PEM",
         {{0, server}, {1, TestKeyBytes(K::RsaA, F::EncryptedPkcs8Pem)}, {2, ca}},
         {},
         {"key-encrypted 1 E"}},
        {"encrypted PKCS#8, DER",
         {{0, server}, {1, TestKeyBytes(K::RsaA, F::EncryptedPkcs8Der)}, {2, ca}},
         {},
         {"key-encrypted 1 E"}},
        {"Proc-Type: 4,ENCRYPTED",
         {{0, server}, {1, TestKeyBytes(K::RsaA, F::EncryptedTraditionalPem)}, {2, ca}},
         {},
         {"key-encrypted 1 E"}},
        {"keys in certificate slots",
         {{0, server},
          {1, rsaKey},
          {2, ca},
          {3, rsaKey},
          {4, TestKeyBytes(K::EcA, F::EncryptedPkcs8Pem)}},
         {},
         {"key-in-certificate-slot 3 E", "key-in-certificate-slot 4 E"}},
        {"a certificate in the key slot", {{0, server}, {1, ca}, {2, ca}}, {}, {"not-a-key 1 E"}},
        {"bytes of neither kind in the key slot",
         {{0, server}, {1, junk}, {2, ca}},
         {},
         {"not-a-key 1 E"}},
        {"bytes of neither kind in certificate slots",
         {{0, junk},
          {1, rsaKey},
          {6, "-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n"}},
         {},
         {"not-a-certificate 0 E", "not-a-certificate 6 E"}},
        {"expired server certificate",
         {{0, TestCertificate({"device.test", "Test CA", K::RsaA, K::Ca, -400, -2})},
          {1, rsaKey},
          {2, ca}},
         {},
         {"certificate-expired 0 E"}},
        {"server certificate not yet valid",
         {{0, TestCertificate({"device.test", "Test CA", K::RsaA, K::Ca, 2, 400})},
          {1, rsaKey},
          {2, ca}},
         {},
         {"certificate-not-yet-valid 0 W"}},
        {"chain verifies among other certificates",
         {{0, server}, {1, rsaKey}, {3, serverEc}, {7, CertificatePem(ca)}},
         {},
         {}},
        {"an authority of the issuer's name and another key",
         {{0, server}, {1, rsaKey}, {2, TestAuthority(K::OtherCa)}},
         {},
         {"issuer-signature-invalid 0,2 E"}},
        {"issuer missing", {{0, server}, {1, rsaKey}}, {}, {"issuer-missing 0 W"}},
        // Before the device's slots are loaded: one of them may hold the issuer.
        {"issuer not found among known slots only",
         {{0, server}, {1, rsaKey}, {3, serverEc}},
         {0, 1},
         {},
         true},
        {"a false issuer among known slots only",
         {{0, server}, {1, rsaKey}, {2, TestAuthority(K::OtherCa)}},
         {0, 1, 2},
         {},
         true},
        {"self-issued server certificate",
         {{0, TestCertificate({"device.test", "device.test", K::RsaA, K::RsaA})}, {1, rsaKey}},
         {},
         {}},
        {"the same certificate twice, DER and PEM",
         {{0, server}, {1, rsaKey}, {2, ca}, {9, CertificatePem(ca)}},
         {},
         {"duplicate-certificate 2,9 W"}},
        // Only the checks of the slots a job touches: writing the key compares it with the
        // device's certificate, and leaves the certificates' own problems alone.
        {"only the key written",
         {{0, TestCertificate({"device.test", "Test CA", K::RsaA, K::Ca, -400, -2})},
          {1, TestKeyBytes(K::RsaB, F::Pkcs8Der)},
          {2, ca},
          {9, ca},
          {4, rsaKey}},
         {1},
         {"key-mismatch 0,1 E"}},
        {"only slot 4 removed: the issuer is sought",
         {{0, server}, {1, TestKeyBytes(K::RsaB, F::Pkcs8Der)}},
         {4},
         {"issuer-missing 0 W"}},
        {"empty slot 0: nothing to compare the key with", {{1, rsaKey}, {2, ca}}, {}, {}},
        {"an RSA key and its RSA-PSS certificate",
         {{0, pssServer}, {1, TestKeyBytes(K::RsaA, F::TraditionalPem)}, {2, ca}},
         {},
         {}},
        {"an RSA key and another key's RSA-PSS certificate",
         {{0, pssServer}, {1, TestKeyBytes(K::RsaB, F::TraditionalPem)}, {2, ca}},
         {},
         {"key-mismatch 0,1 E"}},
        {"certificates followed by their keys",
         {{0, CertificatePem(server) + TestKeyBytes(K::RsaA, F::Pkcs8Pem)},
          {1, rsaKey},
          {2, ca},
          {3, CertificatePem(serverEc) + TestKeyBytes(K::EcA, F::EncryptedPkcs8Pem)}},
         {},
         {"key-in-certificate-slot 0 E", "key-in-certificate-slot 3 E"}},
        {"authorities outside their dates",
         {{0, server}, {1, rsaKey}, {2, ca}, {5, expired}, {6, future}},
         {},
         {"certificate-expired 5 W", "certificate-not-yet-valid 6 W"}},
        {"an expired authority written beside a good one",
         {{0, server}, {1, rsaKey}, {2, ca}, {5, expired}},
         {5},
         {"certificate-expired 5 W"}},
    };
    const std::time_t now = std::time(nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CredentialSlots slots;
        SlotMask touched = Mask({});
        for (int slot = 0; slot < SLOT_COUNT; ++slot)
            if (!c.restUnknown) slots[static_cast<size_t>(slot)] = QByteArray();
        for (const auto& [slot, bytes] : c.slots) {
            ASSERT_FALSE(bytes.isEmpty()) << "slot " << slot << " was not made";
            slots[static_cast<size_t>(slot)] = bytes;
        }
        if (c.touched.empty()) touched.set();
        for (const int slot : c.touched) touched.set(static_cast<size_t>(slot));
        QStringList expected;
        for (const std::string& problem : c.problems) expected << QString::fromStdString(problem);
        EXPECT_EQ(Summaries(CheckCredentials(slots, touched, now)).join(u'|').toStdString(),
                  expected.join(u'|').toStdString());
    }
}

// The device slots a job loads for the checks, step by step as they become known: none
// for what it leaves alone, none for a warning.
TEST(CredentialChecks, JobsLoadOnlyTheSlotsTheirErrorsNeed) {
    const SlotMask further = Mask({2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
    const QByteArray server = TestCertificate({});
    const QByteArray ca = TestAuthority();
    const QByteArray other = TestAuthority(TestKey::OtherCa);  // the issuer's name, not its key
    const QByteArray selfIssued =
        TestCertificate({"device.test", "device.test", TestKey::RsaA, TestKey::RsaA});
    const QByteArray key = TestKeyBytes(TestKey::RsaA, KeyForm::Pkcs8Der);
    // A credential that was not made would read as a removal.
    for (const QByteArray* made : {&server, &ca, &other, &selfIssued, &key})
        ASSERT_FALSE(made->isEmpty());
    struct Case {
        const char* name;
        std::map<int, QByteArray> job;     // empty bytes: a removal
        std::map<int, QByteArray> device;  // the device's slots loaded so far
        SlotMask needed;
    };
    const Case cases[] = {
        {"the key", {{1, key}}, {}, Mask({0})},
        {"the server certificate alone", {{0, server}}, {}, Mask({1}) | further},
        {"the server certificate and its issuer", {{0, server}, {4, ca}}, {}, Mask({1})},
        {"a self-issued server certificate", {{0, selfIssued}}, {}, Mask({1})},
        {"bytes that are no certificate in slot 0", {{0, QByteArray("x")}}, {}, Mask({1})},
        {"a further certificate: slot 0 first", {{5, ca}}, {}, Mask({0})},
        {"a further certificate that verifies slot 0", {{5, ca}}, {{0, server}}, Mask({})},
        {"a further certificate of the issuer's name that does not",
         {{5, other}},
         {{0, server}},
         further & ~Mask({5})},
        {"a further slot erased", {{5, {}}}, {}, Mask({0})},
        {"a further slot erased, slot 0 known", {{5, {}}}, {{0, server}}, further & ~Mask({5})},
        {"a further slot erased, slot 0 empty", {{5, {}}}, {{0, {}}}, Mask({})},
        {"slots 0 and 1 erased", {{0, {}}, {1, {}}}, {}, Mask({})},
        {"pair, authority, an erasure", {{0, server}, {1, key}, {2, ca}, {5, {}}}, {}, Mask({})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CredentialSlots slots;
        SlotMask touched;
        for (const auto& [slot, content] : c.job) {
            slots[static_cast<size_t>(slot)] = content;
            touched.set(static_cast<size_t>(slot));
        }
        for (const auto& [slot, content] : c.device) slots[static_cast<size_t>(slot)] = content;
        EXPECT_EQ(SlotsTheChecksNeed(slots, touched).to_string(), c.needed.to_string());
    }
}

// What the bytes of a file read as, whatever order its blocks come in.
TEST(CredentialChecks, EachFormReadsAsItsKind) {
    using K = TestKey;
    using F = KeyForm;
    using C = Credential;
    const QByteArray server = TestCertificate({});
    const QByteArray ecKey = TestKeyBytes(K::EcA, F::TraditionalPem);
    struct Case {
        const char* name;
        QByteArray bytes;
        C::Kind kind;
        bool holdsKey;
        const char* algorithm;
    };
    const Case cases[] = {
        {"EC parameters, then the key", TestKeyParameters(K::EcA) + ecKey, C::PrivateKey, true,
         "EC P-256"},
        {"EC parameters alone", TestKeyParameters(K::EcA), C::Neither, false, ""},
        {"a key, then its certificate", ecKey + CertificatePem(server), C::PrivateKey, true,
         "EC P-256"},
        {"a certificate, then its key", CertificatePem(server) + TestKeyBytes(K::RsaA, F::Pkcs8Pem),
         C::Certificate, true, "RSA 1024"},
        {"a certificate, then an encrypted key",
         CertificatePem(server) + TestKeyBytes(K::RsaA, F::EncryptedPkcs8Pem), C::Certificate, true,
         "RSA 1024"},
        {"a chain", CertificatePem(server) + CertificatePem(TestAuthority(K::EcB)), C::Certificate,
         false, "RSA 1024"},
        {"a PKCS#1 key", TestKeyBytes(K::RsaA, F::TraditionalPem), C::PrivateKey, true, "RSA 1024"},
        {"an RSA-PSS certificate",
         TestCertificate({"device.test", "Test CA", K::RsaA, K::Ca, -1, 365, true}), C::Certificate,
         false, "RSA-PSS 1024"},
        {"DER whose name holds a PEM marker",
         TestCertificate({"-----BEGIN CERTIFICATE-----", "Test CA"}), C::Certificate, false,
         "RSA 1024"},
        {"an encrypted key in DER", TestKeyBytes(K::RsaA, F::EncryptedPkcs8Der), C::EncryptedKey,
         true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.bytes.isEmpty());
        const Credential read = ReadCredential(c.bytes);
        EXPECT_EQ(read.kind, c.kind);
        EXPECT_EQ(read.holdsPrivateKey, c.holdsKey);
        EXPECT_EQ(read.algorithm.toStdString(), c.algorithm);
    }
}

}  // namespace
