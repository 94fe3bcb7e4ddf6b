// What the command-line tool reports about a slot's bytes: the fingerprint, the cell text and
// the expiry in UTC, whatever the local time zone.

#include <gtest/gtest.h>

#include "TestCertificates.h"
#include "certs/SlotFacts.h"

namespace {

QByteArray Of(const Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

TEST(SlotFactsTest, FingerprintCellAndExpiryOfSlotBytes) {
    const ScopedTimeZone zone{"Asia/Tokyo"};  // the expiry stays in UTC; the cell does not
    DebugCapture debug;
    CertificateBuilder late;
    late.IssuerCommonName(QStringLiteral("Late CA"));
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* sha256;  // nullptr: computed by no one else, only checked for form
        QString information;
        QString expires;  // empty: none
    };
    const Case cases[] = {
        {"nothing", QByteArray(), "", QString(), QString()},
        {"abc", QByteArrayLiteral("abc"),
         "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
         QStringLiteral("File Size : 3Bytes"), QString()},
        {"certificate", Of(ExampleCertificate()), nullptr,
         QStringLiteral("SHA256RSA , Example CA , 2031-01-01 00:00:00"),
         QStringLiteral("2030-12-31T15:00:00Z")},
        {"generalized time", Of(late.NotAfter("20510630235959Z").SignRsa(EVP_sha256())), nullptr,
         QStringLiteral("SHA256RSA , Late CA , 2051-07-01 08:59:59"),
         QStringLiteral("2051-06-30T23:59:59Z")},
        {"key", Of(RsaKeyDer()), nullptr,
         QStringLiteral("File Size : %1Bytes").arg(RsaKeyDer().size()), QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SlotFacts facts = DescribeSlotBytes(c.bytes);
        EXPECT_EQ(facts.size, c.bytes.size());
        if (c.sha256 != nullptr)
            EXPECT_EQ(facts.sha256, QString::fromLatin1(c.sha256));
        else
            EXPECT_EQ(facts.sha256.size(), 64);
        EXPECT_EQ(facts.information, c.information);
        EXPECT_EQ(facts.expiresUtc ? IsoUtcText(*facts.expiresUtc) : QString(), c.expires);
    }
}

}  // namespace
