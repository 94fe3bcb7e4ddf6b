#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cctype>
#include <ctime>
#include <string>

#include "TestCertificates.h"
#include "certs/CertificateSummary.h"

namespace {

QString Summary(const Bytes& der) {
    return SummarizeCertificate(der.data(), der.size());
}

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class CertificateSummaryTest : public ::testing::Test {
  protected:
    ScopedTimeZone zone{"UTC"};
    DebugCapture debug;
};

// --- Signature algorithm ---------------------------------------------------------------

struct AlgorithmCase {
    const char* oid;
    const char* shown;
};
void PrintTo(const AlgorithmCase& c, std::ostream* out) {
    *out << c.oid;
}

class AlgorithmTableTest : public CertificateSummaryTest,
                           public ::testing::WithParamInterface<AlgorithmCase> {};

TEST_P(AlgorithmTableTest, ToBeSignedIdentifierIsShownByItsName) {
    const Bytes der = CertificateBuilder()
                          .IssuerCommonName(QStringLiteral("Example CA"))
                          .SignWithAlgorithms(GetParam().oid);
    EXPECT_EQ(Summary(der),
              U(GetParam().shown) + QStringLiteral(" , Example CA , 2030-12-31 15:00:00"));
}

INSTANTIATE_TEST_SUITE_P(
    EveryTableEntry, AlgorithmTableTest,
    ::testing::Values(AlgorithmCase{"1.2.840.113549.1.1.1", "RSA"},
                      AlgorithmCase{"1.2.840.113549.1.1.2", "MD2RSA"},
                      AlgorithmCase{"1.2.840.113549.1.1.3", "MD4RSA"},
                      AlgorithmCase{"1.2.840.113549.1.1.4", "MD5RSA"},
                      AlgorithmCase{"1.2.840.113549.1.1.5", "SHA1RSA"},
                      AlgorithmCase{"1.2.840.113549.1.1.6", "SETOAEPRSA"},
                      AlgorithmCase{"1.2.840.113549.1.1.7", "RSAES OAEP"},
                      AlgorithmCase{"1.2.840.113549.1.1.8", "MGF1"},
                      AlgorithmCase{"1.2.840.113549.1.1.9", "PSPECIFIED"},
                      AlgorithmCase{"1.2.840.113549.1.1.10", "SSA PSS"},
                      AlgorithmCase{"1.2.840.113549.1.1.11", "SHA256RSA"},
                      AlgorithmCase{"1.2.840.113549.1.1.12", "SHA384RSA"},
                      AlgorithmCase{"1.2.840.113549.1.1.13", "SHA512RSA"},
                      // Whole-string comparison: neighbours and prefixes are not names.
                      AlgorithmCase{"1.2.840.113549.1.1.110", "1.2.840.113549.1.1.110"},
                      AlgorithmCase{"1.2.840.113549.1.1.14", "1.2.840.113549.1.1.14"},
                      AlgorithmCase{"1.2.840.113549.1.1", "1.2.840.113549.1.1"},
                      AlgorithmCase{"1.2.840.113549.1.1.0", "1.2.840.113549.1.1.0"}),
    [](const ::testing::TestParamInfo<AlgorithmCase>& param) {
        std::string name = param.param.oid;
        for (char& c : name)
            if (c == '.') c = '_';
        return name;
    });

TEST_F(CertificateSummaryTest, CertificatesSignedByOpenSslShowTheirAlgorithm) {
    const struct {
        const char* shown;
        Bytes der;
    } cases[] = {
        {"MD5RSA", CertificateBuilder().SignRsa(EVP_md5())},
        {"SHA1RSA", CertificateBuilder().SignRsa(EVP_sha1())},
        {"SHA256RSA", CertificateBuilder().SignRsa(EVP_sha256())},
        {"SHA384RSA", CertificateBuilder().SignRsa(EVP_sha384())},
        {"SHA512RSA", CertificateBuilder().SignRsa(EVP_sha512())},
        {"SSA PSS", CertificateBuilder().SignRsaPss(EVP_sha256())},
        {"1.2.840.10045.4.3.2", CertificateBuilder().SignEcdsa(EVP_sha256())},
        {"1.2.840.10045.4.3.4", CertificateBuilder().SignEcdsa(EVP_sha512())},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Summary(c.der), U(c.shown) + QStringLiteral(" , 2030-12-31 15:00:00")) << c.shown;
}

TEST_F(CertificateSummaryTest, EllipticCurveIdentifierIsShownDotted) {
    const Bytes der =
        CertificateBuilder().IssuerCommonName(QStringLiteral("Example CA")).SignEcdsa(EVP_sha256());
    EXPECT_EQ(Summary(der),
              QStringLiteral("1.2.840.10045.4.3.2 , Example CA , 2030-12-31 15:00:00"));
}

TEST_F(CertificateSummaryTest, OnlyTheToBeSignedAlgorithmCounts) {
    // Inner and outer algorithm disagree: the inner one is shown, both ways round.
    const Bytes innerRsa =
        CertificateBuilder().SignWithAlgorithms("1.2.840.113549.1.1.1", "1.2.840.113549.1.1.11");
    EXPECT_EQ(Summary(innerRsa), QStringLiteral("RSA , 2030-12-31 15:00:00"));

    const Bytes innerSha256 =
        CertificateBuilder().SignWithAlgorithms("1.2.840.113549.1.1.11", "1.2.840.113549.1.1.5");
    EXPECT_EQ(Summary(innerSha256), QStringLiteral("SHA256RSA , 2030-12-31 15:00:00"));
}

// --- Issuer common names ---------------------------------------------------------------

TEST_F(CertificateSummaryTest, WorkedExampleAtNineHoursAheadOfUtc) {
    const ScopedTimeZone tokyo("Asia/Tokyo");
    EXPECT_EQ(Summary(ExampleCertificate()),
              QStringLiteral("SHA256RSA , Example CA , 2031-01-01 00:00:00"));
    EXPECT_EQ(debug.lines, std::vector<QString>{QStringLiteral("Example CA")});
}

TEST_F(CertificateSummaryTest, IssuerWithoutCommonNameLeavesNothingBetween) {
    const Bytes none = CertificateBuilder()
                           .Issuer("2.5.4.6", V_ASN1_PRINTABLESTRING, "JP")
                           .Issuer("2.5.4.10", MBSTRING_UTF8, "Example Org")
                           .SignRsa(EVP_sha256());
    EXPECT_EQ(Summary(none), QStringLiteral("SHA256RSA , 2030-12-31 15:00:00"));
    EXPECT_TRUE(debug.lines.empty());

    // An issuer with no attributes at all.
    EXPECT_EQ(Summary(CertificateBuilder().SignRsa(EVP_sha256())),
              QStringLiteral("SHA256RSA , 2030-12-31 15:00:00"));
}

TEST_F(CertificateSummaryTest, EveryCommonNameInEncodingOrderAcrossRdns) {
    const Bytes der = CertificateBuilder()
                          .Issuer("2.5.4.6", V_ASN1_PRINTABLESTRING, "JP")
                          .IssuerCommonName(QStringLiteral("Root"))
                          .Issuer("2.5.4.11", MBSTRING_UTF8, "Unit")
                          .IssuerCommonName(QStringLiteral("Issuing"))
                          .IssuerCommonName(QStringLiteral("Issuing"))
                          .SignRsa(EVP_sha256());
    EXPECT_EQ(Summary(der),
              QStringLiteral("SHA256RSA , Root , Issuing , Issuing , 2030-12-31 15:00:00"));
    // Each name alone on the debug output, duplicates included.
    EXPECT_EQ(debug.lines, (std::vector<QString>{QStringLiteral("Root"), QStringLiteral("Issuing"),
                                                 QStringLiteral("Issuing")}));
}

TEST_F(CertificateSummaryTest, MultiValuedRdnKeepsEncodingOrder) {
    // DER sorts the members of a multi-valued RDN by their encoding: "Al", "Org", "Zeta",
    // although "Al" was added after "Zeta".
    Bytes der = CertificateBuilder()
                    .IssuerCommonName(QStringLiteral("Zeta"))
                    .IssuerCommonName(QStringLiteral("Al"), true)
                    .Issuer("2.5.4.10", MBSTRING_UTF8, "Org", true)
                    .SignRsa(EVP_sha256());
    EXPECT_EQ(Summary(der), QStringLiteral("SHA256RSA , Al , Zeta , 2030-12-31 15:00:00"));

    // The same RDN with its two common names swapped in the bytes (not sorted, as some
    // encoders leave it): the names follow the bytes, not a sort.
    const QByteArray al = QByteArray::fromHex("300906035504030c02416c");
    const QByteArray org = QByteArray::fromHex("300a060355040a0c034f7267");
    const QByteArray zeta = QByteArray::fromHex("300b06035504030c045a657461");
    ASSERT_TRUE(ReplaceBytes(der, al + org + zeta, zeta + org + al));
    EXPECT_EQ(Summary(der), QStringLiteral("SHA256RSA , Zeta , Al , 2030-12-31 15:00:00"));
}

TEST_F(CertificateSummaryTest, EveryStringTypeGivesItsCharacters) {
    const struct {
        int type;
        QByteArray content;
        QString shown;
    } cases[] = {
        {V_ASN1_PRINTABLESTRING, "Printable CA", QStringLiteral("Printable CA")},
        {V_ASN1_IA5STRING, "ia5@example.com", QStringLiteral("ia5@example.com")},
        {V_ASN1_T61STRING, QByteArray("M\xFCller CA"), U("M\u00fcller CA")},
        {V_ASN1_UTF8STRING, QByteArray("Zertifizierungsstelle \xC3\x84 \xE8\xAA\x8D\xE8\xA8\xBC"),
         U("Zertifizierungsstelle \u00c4 \u8a8d\u8a3c")},
        {V_ASN1_BMPSTRING, QByteArray::fromHex("8a8d8a3c5c400020004300410020006b"),
         U("\u8a8d\u8a3c\u5c40 CA k")},
        {V_ASN1_UNIVERSALSTRING, QByteArray::fromHex("0001f60000000020000000e9"),
         U("\U0001F600 \u00e9")},
        {V_ASN1_NUMERICSTRING, "0123 456", QStringLiteral("0123 456")},
        // OpenSSL refuses a certificate with these in a name; they are names all the same.
        {V_ASN1_VISIBLESTRING, QByteArray("Visible L\xF6we"), U("Visible L\u00f6we")},
        {V_ASN1_GENERALSTRING, "General CA", QStringLiteral("General CA")},
        {V_ASN1_GRAPHICSTRING, "Graphic CA", QStringLiteral("Graphic CA")},
        {V_ASN1_VIDEOTEXSTRING, "Videotex CA", QStringLiteral("Videotex CA")},
    };
    for (const auto& c : cases) {
        debug.lines.clear();
        // OpenSSL builds names of its own string types only: those others are given their
        // tag afterwards.
        const bool own = c.type != V_ASN1_VISIBLESTRING && c.type != V_ASN1_GENERALSTRING &&
                         c.type != V_ASN1_GRAPHICSTRING && c.type != V_ASN1_VIDEOTEXSTRING;
        Bytes der = CertificateBuilder()
                        .Issuer("2.5.4.3", own ? c.type : V_ASN1_T61STRING, c.content)
                        .IssuerCommonName(QStringLiteral("Next"))
                        .SignRsa(EVP_sha256());
        if (!own) {
            ASSERT_TRUE(Retag(der, c.content, V_ASN1_T61STRING, c.type)) << c.type;
        }
        EXPECT_EQ(Summary(der), QStringLiteral("SHA256RSA , ") + c.shown +
                                    QStringLiteral(" , Next , 2030-12-31 15:00:00"))
            << c.type;
        EXPECT_EQ(debug.lines, (std::vector<QString>{c.shown, QStringLiteral("Next")})) << c.type;
    }
}

TEST_F(CertificateSummaryTest, NamesAreNotNeededToReadTheRest) {
    // A subject that OpenSSL refuses plays no part.
    Bytes visibleSubject = CertificateBuilder()
                               .IssuerCommonName(QStringLiteral("Example CA"))
                               .Subject("2.5.4.11", V_ASN1_T61STRING, "Unit")
                               .SignRsa(EVP_sha256());
    ASSERT_TRUE(Retag(visibleSubject, "Unit", V_ASN1_T61STRING, V_ASN1_VISIBLESTRING));
    EXPECT_EQ(Summary(visibleSubject),
              QStringLiteral("SHA256RSA , Example CA , 2030-12-31 15:00:00"));

    Bytes brokenSubject = CertificateBuilder()
                              .IssuerCommonName(QStringLiteral("Example CA"))
                              .Subject("2.5.4.11", V_ASN1_UTF8STRING, "Unit")
                              .SignRsa(EVP_sha256());
    ASSERT_TRUE(ReplaceBytes(brokenSubject, QByteArray::fromHex("0c04") + "Unit",
                             QByteArray::fromHex("0c04ff") + "nit"));
    EXPECT_EQ(Summary(brokenSubject),
              QStringLiteral("SHA256RSA , Example CA , 2030-12-31 15:00:00"));
}

TEST_F(CertificateSummaryTest, IssuerThatDoesNotDecodeCostsOnlyTheNames) {
    const struct {
        const char* what;
        int type;
        QByteArray content;
        QByteArray from;
        QByteArray to;
    } cases[] = {
        {"lone surrogate in a BMPString", V_ASN1_BMPSTRING, QByteArray::fromHex("00410042"),
         QByteArray::fromHex("1e0400410042"), QByteArray::fromHex("1e04d8000042")},
        {"BMPString of odd length", V_ASN1_T61STRING, "ABCDE", Tlv(V_ASN1_T61STRING, "ABCDE"),
         Tlv(V_ASN1_BMPSTRING, QByteArray::fromHex("0041004200"))},
        {"broken UTF-8", V_ASN1_UTF8STRING, "ABC", QByteArray::fromHex("0c03414243"),
         QByteArray::fromHex("0c03ff4243")},
        {"UTF-8 of a surrogate", V_ASN1_UTF8STRING, "ABC", QByteArray::fromHex("0c03414243"),
         QByteArray::fromHex("0c03eda080")},
        {"UniversalString past U+10FFFF", V_ASN1_UNIVERSALSTRING, QByteArray::fromHex("00000041"),
         QByteArray::fromHex("1c0400000041"), QByteArray::fromHex("1c0400410042")},
        {"an RDN that is not a SET", V_ASN1_UTF8STRING, "AB",
         QByteArray::fromHex("310b300906035504030c024142"),
         QByteArray::fromHex("020b300906035504030c024142")},
        {"a common name that is an OCTET STRING", V_ASN1_UTF8STRING, "AB",
         QByteArray::fromHex("0c024142"), QByteArray::fromHex("04024142")},
    };
    for (const auto& c : cases) {
        debug.lines.clear();
        Bytes der = CertificateBuilder()
                        .IssuerCommonName(QStringLiteral("First"))
                        .Issuer("2.5.4.3", c.type, c.content)
                        .SignRsa(EVP_sha256());
        ASSERT_TRUE(ReplaceBytes(der, c.from, c.to)) << c.what;
        EXPECT_EQ(Summary(der), QStringLiteral("SHA256RSA , 2030-12-31 15:00:00")) << c.what;
        EXPECT_TRUE(debug.lines.empty()) << c.what;
    }

    // Only common names are turned into text: a broken value of another attribute is no
    // reason to leave them out.
    Bytes brokenOrganisation = CertificateBuilder()
                                   .IssuerCommonName(QStringLiteral("Example CA"))
                                   .Issuer("2.5.4.10", V_ASN1_UTF8STRING, "Org")
                                   .SignRsa(EVP_sha256());
    ASSERT_TRUE(ReplaceBytes(brokenOrganisation, QByteArray::fromHex("0c03") + "Org",
                             QByteArray::fromHex("0c03ff") + "rg"));
    EXPECT_EQ(Summary(brokenOrganisation),
              QStringLiteral("SHA256RSA , Example CA , 2030-12-31 15:00:00"));
}

TEST_F(CertificateSummaryTest, ControlCharactersInNamesCannotBreakTheLine) {
    const Bytes der = CertificateBuilder()
                          .IssuerCommonName(U("Evil\nother.der: SHA256RSA , Fake\r\t\u2028x"))
                          .SignRsa(EVP_sha256());
    const QString expected = U("Evil\ufffdother.der: SHA256RSA , Fake\ufffd\ufffd\ufffdx");
    EXPECT_EQ(Summary(der),
              QStringLiteral("SHA256RSA , ") + expected + QStringLiteral(" , 2030-12-31 15:00:00"));
    EXPECT_EQ(debug.lines, std::vector<QString>{expected});
}

TEST_F(CertificateSummaryTest, CommonNameWithoutTextFormShowsNoNames) {
    // A common name whose value is a SEQUENCE decodes as a certificate but has no text.
    Bytes der = CertificateBuilder()
                    .IssuerCommonName(QStringLiteral("First"))
                    .IssuerCommonName(QStringLiteral("Example CA"))
                    .SignRsa(EVP_sha256());
    ASSERT_TRUE(ReplaceBytes(der, QByteArray::fromHex("0c0a") + "Example CA",
                             QByteArray::fromHex("300a") + "Example CA"));
    EXPECT_EQ(Summary(der), QStringLiteral("SHA256RSA , 2030-12-31 15:00:00"));
    EXPECT_TRUE(debug.lines.empty());
}

// --- Expiry ----------------------------------------------------------------------------

struct ExpiryCase {
    const char* zone;
    const char* notAfter;
    const char* shown;  // "" when the date is left out
};
void PrintTo(const ExpiryCase& c, std::ostream* out) {
    *out << c.zone << ' ' << c.notAfter;
}

class ExpiryTest : public CertificateSummaryTest,
                   public ::testing::WithParamInterface<ExpiryCase> {};

TEST_P(ExpiryTest, NotAfterInLocalTime) {
    const ScopedTimeZone local(GetParam().zone);
    const Bytes der = CertificateBuilder()
                          .IssuerCommonName(QStringLiteral("Example CA"))
                          .NotAfter(GetParam().notAfter)
                          .SignRsa(EVP_sha256());
    EXPECT_EQ(Summary(der), QStringLiteral("SHA256RSA , Example CA , ") + U(GetParam().shown));
}

INSTANTIATE_TEST_SUITE_P(
    UtcTimeAndGeneralizedTime, ExpiryTest,
    ::testing::Values(
        ExpiryCase{"UTC", "301231150000Z", "2030-12-31 15:00:00"},
        ExpiryCase{"Asia/Tokyo", "301231150000Z", "2031-01-01 00:00:00"},
        ExpiryCase{"XST5", "301231150000Z", "2030-12-31 10:00:00"},
        ExpiryCase{"Asia/Kolkata", "301231150000Z", "2030-12-31 20:30:00"},
        ExpiryCase{"XST5", "310101030000Z", "2030-12-31 22:00:00"},
        // UTCTime years 50-99 are 19xx, 00-49 are 20xx.
        ExpiryCase{"UTC", "500101000000Z", "1950-01-01 00:00:00"},
        ExpiryCase{"UTC", "491231235959Z", "2049-12-31 23:59:59"},
        ExpiryCase{"UTC", "20991231150000Z", "2099-12-31 15:00:00"},
        ExpiryCase{"Asia/Tokyo", "20991231150000Z", "2100-01-01 00:00:00"},
        ExpiryCase{"Asia/Tokyo", "20240228200000Z", "2024-02-29 05:00:00"},
        ExpiryCase{"UTC", "99991231235959Z", "9999-12-31 23:59:59"},
        // Past the year 9999 in local time: no date, the text ends with the separator.
        ExpiryCase{"Asia/Tokyo", "99991231200000Z", ""},
        ExpiryCase{"Asia/Tokyo", "99991231235959Z", ""},
        ExpiryCase{"UTC", "16010101000000Z", "1601-01-01 00:00:00"},
        ExpiryCase{"XST5", "00010101000000Z", "0000-12-31 19:00:00"},
        ExpiryCase{"XST5", "00000101000000Z", ""}),
    [](const ::testing::TestParamInfo<ExpiryCase>& param) {
        std::string name = std::string(param.param.zone) + "_" + param.param.notAfter;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

TEST_F(CertificateSummaryTest, OffsetInForceNowNotAtExpiry) {
    const ScopedTimeZone newYork("America/New_York");
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    ASSERT_EQ(localtime_s(&local, &now), 0);
#else
    ASSERT_NE(localtime_r(&now, &local), nullptr);
#endif
    ASSERT_GE(local.tm_isdst, 0);
    // Expiry in the other season than now: the offset of now (-4 in summer, -5 in winter)
    // applies, not the expiry date's.
    const bool summerNow = local.tm_isdst > 0;
    const Bytes der = CertificateBuilder()
                          .NotAfter(summerNow ? "310115120000Z" : "310715120000Z")
                          .SignRsa(EVP_sha256());
    EXPECT_EQ(Summary(der), summerNow ? QStringLiteral("SHA256RSA , 2031-01-15 08:00:00")
                                      : QStringLiteral("SHA256RSA , 2031-07-15 07:00:00"));
}

TEST_F(CertificateSummaryTest, UnconvertibleDateEndsWithSeparator) {
    Bytes der = ExampleCertificate();
    ASSERT_TRUE(ReplaceBytes(der, "301231150000Z", "301331150000Z"));  // month 13
    EXPECT_EQ(Summary(der), QStringLiteral("SHA256RSA , Example CA , "));
}

// --- Not a certificate ------------------------------------------------------------------

TEST_F(CertificateSummaryTest, BytesThatAreNotACertificateGiveNothing) {
    const Bytes der = ExampleCertificate();
    EXPECT_EQ(Summary(PemOf(der)), QString());
    EXPECT_EQ(Summary(RsaKeyDer()), QString());
    EXPECT_EQ(Summary(RsaKeyPem()), QString());
    EXPECT_EQ(SummarizeCertificate(nullptr, 100), QString());
    EXPECT_EQ(SummarizeCertificate(der.data(), 0), QString());
    EXPECT_TRUE(debug.lines.empty());
}

TEST_F(CertificateSummaryTest, EveryTruncationGivesNothing) {
    const Bytes der = ExampleCertificate();
    for (std::size_t length = 0; length < der.size(); ++length)
        ASSERT_EQ(SummarizeCertificate(der.data(), length), QString()) << length;
    EXPECT_TRUE(debug.lines.empty());
}

TEST_F(CertificateSummaryTest, BytesAfterTheCertificateAreIgnored) {
    Bytes der = ExampleCertificate();
    const QString whole = Summary(der);
    ASSERT_FALSE(whole.isEmpty());
    for (const Bytes& tail : {Bytes{'\n'}, Bytes(6144 - der.size(), 0), ExampleCertificate()}) {
        Bytes padded = der;
        padded.insert(padded.end(), tail.begin(), tail.end());
        EXPECT_EQ(Summary(padded), whole) << tail.size();
    }
}

}  // namespace
