// Arbitrary slot contents up to a slot's capacity: random bytes, cut and damaged
// certificates, PEM text and keys. The summary must never crash (the sanitizer build checks
// memory use), must not be empty when OpenSSL takes the bytes for a certificate, and when it
// is not empty must start with an algorithm name and the separator. Bytes that OpenSSL
// refuses only for their names still have a summary, so the other direction does not hold.

#include <gtest/gtest.h>
#include <openssl/x509.h>

#include <random>

#include "TestCertificates.h"
#include "certs/CertificateSummary.h"
#include "engine/SlotTable.h"

namespace {

bool OpenSslTakesForCertificate(const Bytes& bytes) {
    const unsigned char* cursor = bytes.data();
    X509Handle cert(d2i_X509(nullptr, &cursor, static_cast<long>(bytes.size())));
    return cert != nullptr;
}

class SummaryRobustnessTest : public ::testing::Test {
  protected:
    void Check(const Bytes& bytes, const char* kind, int round) {
        ASSERT_LE(bytes.size(), static_cast<std::size_t>(SLOT_BUFFER_SIZE));
        const QString summary = SummarizeCertificate(bytes.data(), bytes.size());
        const bool certificate = OpenSslTakesForCertificate(bytes);
        if (certificate) {
            ++accepted;
            ASSERT_FALSE(summary.isEmpty()) << kind << " round " << round;
        } else if (summary.isEmpty()) {
            ++rejected;
        } else {
            ++acceptedDespiteNames;
        }
        if (!summary.isEmpty()) {
            ASSERT_GT(summary.indexOf(QStringLiteral(" , ")), 0)
                << kind << " round " << round << ": " << summary.toStdString();
        }
        ASSERT_EQ(summary.indexOf(QLatin1Char('\n')), -1) << kind << " round " << round;
    }

    std::vector<Bytes> Seeds() {
        Bytes visibleNames = CertificateBuilder()
                                 .Issuer("2.5.4.3", V_ASN1_T61STRING, "Visible")
                                 .IssuerCommonName(QStringLiteral("Second"), true)
                                 .Subject("2.5.4.3", V_ASN1_T61STRING, "General")
                                 .SignRsa(EVP_sha256());
        EXPECT_TRUE(Retag(visibleNames, "Visible", V_ASN1_T61STRING, V_ASN1_VISIBLESTRING));
        EXPECT_TRUE(Retag(visibleNames, "General", V_ASN1_T61STRING, V_ASN1_GENERALSTRING));
        return {
            ExampleCertificate(),
            CertificateBuilder()
                .IssuerCommonName(QStringLiteral("Zeta"))
                .IssuerCommonName(QStringLiteral("Al"), true)
                .Issuer("2.5.4.3", V_ASN1_BMPSTRING, QByteArray::fromHex("8a8d8a3c"))
                .NotAfter("20991231150000Z")
                .SignEcdsa(EVP_sha256()),
            CertificateBuilder()
                .Issuer("2.5.4.3", V_ASN1_UNIVERSALSTRING, QByteArray::fromHex("0001f600"))
                .SignRsaPss(EVP_sha256()),
            CertificateBuilder().SignWithAlgorithms("1.2.840.113549.1.1.2"),
            visibleNames,
        };
    }

    DebugCapture debug;  // keeps the common names of accepted mutants off the test output
    std::mt19937 random{20240531};
    int accepted = 0;
    int acceptedDespiteNames = 0;
    int rejected = 0;
};

TEST_F(SummaryRobustnessTest, ArbitraryBytesNeverCrashAndAgreeWithTheDecoder) {
    const std::vector<Bytes> seeds = Seeds();
    auto below = [this](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    auto byte = [this] { return static_cast<std::uint8_t>(random() & 0xFF); };

    for (const Bytes& seed : seeds) ASSERT_NO_FATAL_FAILURE(Check(seed, "seed", 0));
    ASSERT_NO_FATAL_FAILURE(Check({}, "empty", 0));
    ASSERT_NO_FATAL_FAILURE(Check(PemOf(seeds[0]), "pem", 0));
    ASSERT_NO_FATAL_FAILURE(Check(RsaKeyDer(), "key", 0));
    ASSERT_NO_FATAL_FAILURE(Check(RsaKeyPem(), "key pem", 0));
    ASSERT_NO_FATAL_FAILURE(Check(Bytes(SLOT_BUFFER_SIZE, 0xFF), "all ones", 0));

    for (int round = 0; round < 400; ++round) {
        // Random bytes of random length, some of them dressed as a DER sequence.
        Bytes noise(below(SLOT_BUFFER_SIZE + 1));
        for (auto& b : noise) b = byte();
        if (noise.size() >= 4 && round % 2 == 0) {
            noise[0] = 0x30;
            noise[1] = 0x82;
        }
        ASSERT_NO_FATAL_FAILURE(Check(noise, "noise", round));
    }

    for (int round = 0; round < 2400; ++round) {
        const Bytes& seed = seeds[static_cast<std::size_t>(round) % seeds.size()];
        Bytes mutant = seed;
        switch (round % 4) {
            case 0:  // cut short
                mutant.resize(below(seed.size()));
                break;
            case 1:  // a few flipped bits
                for (int n = 1 + static_cast<int>(below(4)); n > 0; --n)
                    mutant[below(mutant.size())] ^= static_cast<std::uint8_t>(1u << below(8));
                break;
            case 2: {  // a byte set to a length-like value
                static const std::uint8_t values[] = {0x00, 0x7F, 0x80, 0x81, 0x82,
                                                      0x83, 0x84, 0x89, 0xFF};
                mutant[below(mutant.size())] = values[below(std::size(values))];
                break;
            }
            case 3: {  // random tail or random bytes spliced in
                const std::size_t at = below(mutant.size());
                Bytes insert(below(64) + 1);
                for (auto& b : insert) b = byte();
                mutant.insert(mutant.begin() + static_cast<std::ptrdiff_t>(at), insert.begin(),
                              insert.end());
                break;
            }
        }
        ASSERT_NO_FATAL_FAILURE(Check(mutant, "mutant", round));
    }

    // Every outcome occurred, so the checks above were not one-sided.
    EXPECT_GT(accepted, 10);
    EXPECT_GT(acceptedDespiteNames, 10);
    EXPECT_GT(rejected, 100);
}

}  // namespace
