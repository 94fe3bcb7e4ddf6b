#include "certs/CertificateSummary.h"

#include <openssl/asn1.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <QDateTime>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <climits>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "certs/ErrorQueueMark.h"
#include "engine/SlotEngine.h"
#include "engine/SlotTable.h"
#include "support/Text.h"
#include "support/Trace.h"

void X509Deleter::operator()(X509* certificate) const {
    X509_free(certificate);
}

namespace {

struct OpenSslDeleter {
    void operator()(unsigned char* block) const { OPENSSL_free(block); }
};
using OpenSslBytes = std::unique_ptr<unsigned char, OpenSslDeleter>;

struct Asn1StringDeleter {
    void operator()(ASN1_STRING* string) const { ASN1_STRING_free(string); }
};

struct Asn1ObjectDeleter {
    void operator()(ASN1_OBJECT* object) const { ASN1_OBJECT_free(object); }
};

const QString& Separator() {
    static const QString separator = QStringLiteral(" , ");
    return separator;
}

struct AlgorithmName {
    const char* identifier;
    const char* name;
};

constexpr AlgorithmName ALGORITHM_NAMES[] = {
    {"1.2.840.113549.1.1.1", "RSA"},        {"1.2.840.113549.1.1.2", "MD2RSA"},
    {"1.2.840.113549.1.1.3", "MD4RSA"},     {"1.2.840.113549.1.1.4", "MD5RSA"},
    {"1.2.840.113549.1.1.5", "SHA1RSA"},    {"1.2.840.113549.1.1.6", "SETOAEPRSA"},
    {"1.2.840.113549.1.1.7", "RSAES OAEP"}, {"1.2.840.113549.1.1.8", "MGF1"},
    {"1.2.840.113549.1.1.9", "PSPECIFIED"}, {"1.2.840.113549.1.1.10", "SSA PSS"},
    {"1.2.840.113549.1.1.11", "SHA256RSA"}, {"1.2.840.113549.1.1.12", "SHA384RSA"},
    {"1.2.840.113549.1.1.13", "SHA512RSA"},
};

std::string DottedIdentifier(const ASN1_OBJECT* object) {
    if (object == nullptr) return {};
    const int length = OBJ_obj2txt(nullptr, 0, object, 1);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int written = OBJ_obj2txt(text.data(), length + 1, object, 1);
    text.resize(static_cast<std::size_t>(std::clamp(written, 0, length)));
    return text;
}

// One DER element inside a buffer: where it starts, its content and what its header says.
struct Element {
    const unsigned char* start = nullptr;
    const unsigned char* content = nullptr;
    long length = 0;
    int tag = 0;
    int tagClass = 0;
    bool constructed = false;

    const unsigned char* end() const { return content + length; }
    bool Is(int universalTag, bool isConstructed) const {
        return tagClass == V_ASN1_UNIVERSAL && tag == universalTag && constructed == isConstructed;
    }
};

// Reads the element at `cursor`, which has to end by `end`, and moves past it. Definite
// lengths only, as DER has them.
bool ReadElement(const unsigned char*& cursor, const unsigned char* end, Element& element) {
    if (cursor >= end) return false;
    const unsigned char* content = cursor;
    long length = 0;
    int tag = 0;
    int tagClass = 0;
    const int info = ASN1_get_object(&content, &length, &tag, &tagClass, end - cursor);
    if ((info & 0x80) != 0 || (info & 0x01) != 0) return false;  // malformed, indefinite
    element = {cursor, content, length, tag, tagClass, (info & V_ASN1_CONSTRUCTED) != 0};
    cursor = content + length;
    return true;
}

std::vector<unsigned char> Sequence(const std::vector<unsigned char>& content) {
    const int length = static_cast<int>(content.size());
    std::vector<unsigned char> encoded(
        static_cast<std::size_t>(ASN1_object_size(1, length, V_ASN1_SEQUENCE)));
    unsigned char* cursor = encoded.data();
    ASN1_put_object(&cursor, 1, length, V_ASN1_SEQUENCE, V_ASN1_UNIVERSAL);
    std::copy(content.begin(), content.end(), cursor);
    return encoded;
}

void Append(std::vector<unsigned char>& to, const unsigned char* from, const unsigned char* end) {
    to.insert(to.end(), from, end);
}

struct NamesSetAside {
    std::vector<unsigned char> certificate;  // issuer and subject replaced by empty names
    std::vector<unsigned char> issuer;       // the issuer as it was encoded
};

// OpenSSL decodes issuer and subject with the certificate and refuses the whole certificate
// for a name string it does not take. This takes both names out of the to-be-signed part
// (version, serial number, signature, issuer, validity, subject, ...) so that the rest can
// be decoded on its own. Nothing when the bytes do not have that outline.
std::optional<NamesSetAside> SetNamesAside(const unsigned char* data, std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX / 2)) return std::nullopt;  // no certificate
    const unsigned char* const end = data + size;
    const unsigned char* cursor = data;
    Element certificate;
    Element tbs;
    if (!ReadElement(cursor, end, certificate) || !certificate.Is(V_ASN1_SEQUENCE, true))
        return std::nullopt;
    cursor = certificate.content;
    if (!ReadElement(cursor, certificate.end(), tbs) || !tbs.Is(V_ASN1_SEQUENCE, true))
        return std::nullopt;

    cursor = tbs.content;
    Element serial;
    if (!ReadElement(cursor, tbs.end(), serial)) return std::nullopt;
    const bool hasVersion = serial.tagClass == V_ASN1_CONTEXT_SPECIFIC && serial.tag == 0;
    if (hasVersion && !ReadElement(cursor, tbs.end(), serial)) return std::nullopt;
    Element signature;
    Element issuer;
    Element validity;
    Element subject;
    if (!ReadElement(cursor, tbs.end(), signature) || !ReadElement(cursor, tbs.end(), issuer) ||
        !ReadElement(cursor, tbs.end(), validity) || !ReadElement(cursor, tbs.end(), subject) ||
        !issuer.Is(V_ASN1_SEQUENCE, true) || !subject.Is(V_ASN1_SEQUENCE, true))
        return std::nullopt;

    static constexpr unsigned char EMPTY_NAME[] = {0x30, 0x00};
    std::vector<unsigned char> tbsContent;
    Append(tbsContent, tbs.content, issuer.start);
    Append(tbsContent, std::begin(EMPTY_NAME), std::end(EMPTY_NAME));
    Append(tbsContent, issuer.end(), subject.start);
    Append(tbsContent, std::begin(EMPTY_NAME), std::end(EMPTY_NAME));
    Append(tbsContent, subject.end(), tbs.end());
    std::vector<unsigned char> certificateContent = Sequence(tbsContent);
    Append(certificateContent, tbs.end(), certificate.end());

    NamesSetAside aside;
    aside.certificate = Sequence(certificateContent);
    aside.issuer.assign(issuer.start, issuer.end());
    return aside;
}

// The dotted text of an encoded OBJECT IDENTIFIER element, nothing when it is not one.
std::optional<std::string> IdentifierText(const Element& element) {
    if (!element.Is(V_ASN1_OBJECT, false)) return std::nullopt;
    const unsigned char* cursor = element.start;
    const std::unique_ptr<ASN1_OBJECT, Asn1ObjectDeleter> object(
        d2i_ASN1_OBJECT(nullptr, &cursor, element.end() - element.start));
    if (!object) return std::nullopt;
    return DottedIdentifier(object.get());
}

// The characters of an attribute value, nothing when it has no text form.
std::optional<QString> ValueText(const Element& value) {
    if (value.tagClass != V_ASN1_UNIVERSAL || value.constructed) return std::nullopt;
    switch (value.tag) {
        case V_ASN1_NUMERICSTRING:
        case V_ASN1_PRINTABLESTRING:
        case V_ASN1_T61STRING:
        case V_ASN1_VIDEOTEXSTRING:
        case V_ASN1_IA5STRING:
        case V_ASN1_GRAPHICSTRING:
        case V_ASN1_VISIBLESTRING:
        case V_ASN1_GENERALSTRING:
            return QString::fromLatin1(reinterpret_cast<const char*>(value.content),
                                       static_cast<qsizetype>(value.length));
        case V_ASN1_UTF8STRING:
        case V_ASN1_BMPSTRING:
        case V_ASN1_UNIVERSALSTRING: {
            // OpenSSL checks the encoding: no broken UTF-8, no lone surrogates, no code
            // points past U+10FFFF.
            const std::unique_ptr<ASN1_STRING, Asn1StringDeleter> string(
                ASN1_STRING_type_new(value.tag));
            if (!string ||
                ASN1_STRING_set(string.get(), value.content, static_cast<int>(value.length)) != 1)
                return std::nullopt;
            unsigned char* utf8 = nullptr;
            const int length = ASN1_STRING_to_UTF8(&utf8, string.get());
            const OpenSslBytes owned(utf8);
            if (length < 0) return std::nullopt;
            return QString::fromUtf8(reinterpret_cast<const char*>(utf8), length);
        }
        default:
            return std::nullopt;
    }
}

// The common names of an encoded Name (SEQUENCE OF SET OF SEQUENCE {type, value}) in
// encoding order, multi-valued RDNs included; nothing when it does not decode.
std::optional<QStringList> CommonNames(const std::vector<unsigned char>& encoded) {
    const unsigned char* cursor = encoded.data();
    const unsigned char* const end = cursor + encoded.size();
    Element name;
    if (!ReadElement(cursor, end, name) || !name.Is(V_ASN1_SEQUENCE, true) || cursor != end)
        return std::nullopt;
    QStringList names;
    for (const unsigned char* rdns = name.content; rdns < name.end();) {
        Element rdn;
        if (!ReadElement(rdns, name.end(), rdn) || !rdn.Is(V_ASN1_SET, true)) return std::nullopt;
        for (const unsigned char* attributes = rdn.content; attributes < rdn.end();) {
            Element attribute;
            Element type;
            Element value;
            if (!ReadElement(attributes, rdn.end(), attribute) ||
                !attribute.Is(V_ASN1_SEQUENCE, true))
                return std::nullopt;
            const unsigned char* fields = attribute.content;
            if (!ReadElement(fields, attribute.end(), type) ||
                !ReadElement(fields, attribute.end(), value) || fields != attribute.end())
                return std::nullopt;
            const std::optional<std::string> typeText = IdentifierText(type);
            if (!typeText) return std::nullopt;
            if (*typeText != "2.5.4.3") continue;
            const std::optional<QString> text = ValueText(value);
            if (!text) return std::nullopt;
            names.push_back(OneLine(*text));
        }
    }
    return names;
}

// Seconds that local time is ahead of UTC at this moment, daylight saving included.
long CurrentUtcOffsetSeconds() {
    return QDateTime::currentDateTime().offsetFromUtc();
}

// notAfter as a moment in UTC; nothing when the certificate has none or it does not convert.
std::optional<std::chrono::sys_seconds> NotAfterUtc(const X509* certificate) {
    const ASN1_TIME* notAfter = X509_get0_notAfter(certificate);
    // ASN1_TIME_to_tm would read the clock for a null time; a missing date shows nothing.
    if (notAfter == nullptr) return std::nullopt;
    std::tm utc{};
    if (ASN1_TIME_to_tm(notAfter, &utc) != 1) return std::nullopt;

    using namespace std::chrono;
    const year_month_day utcDate{year{utc.tm_year + 1900},
                                 month{static_cast<unsigned>(utc.tm_mon + 1)},
                                 day{static_cast<unsigned>(utc.tm_mday)}};
    if (!utcDate.ok()) return std::nullopt;
    return sys_days{utcDate} + hours{utc.tm_hour} + minutes{utc.tm_min} + seconds{utc.tm_sec};
}

QString ExpiryText(const X509* certificate) {
    const std::optional<std::chrono::sys_seconds> utc = NotAfterUtc(certificate);
    if (!utc) return {};

    using namespace std::chrono;
    const sys_seconds local = *utc + seconds{CurrentUtcOffsetSeconds()};
    const sys_days localDay = floor<days>(local);
    const year_month_day date{localDay};
    const hh_mm_ss<seconds> clock{local - localDay};
    // Four-digit years only: 9999-12-31 shifted east of UTC is no date rather than a
    // longer text.
    const int localYear = static_cast<int>(date.year());
    if (localYear < 0 || localYear > 9999) return {};
    return FormatWide("%04d-%02d-%02d %02d:%02d:%02d", localYear,
                      static_cast<int>(static_cast<unsigned>(date.month())),
                      static_cast<int>(static_cast<unsigned>(date.day())),
                      static_cast<int>(clock.hours().count()),
                      static_cast<int>(clock.minutes().count()),
                      static_cast<int>(clock.seconds().count()));
}

}  // namespace

QString GetSignatureAlgorithmName(const X509* certificate) {
    const ASN1_OBJECT* object = nullptr;
    if (const X509_ALGOR* algorithm = X509_get0_tbs_sigalg(certificate))
        X509_ALGOR_get0(&object, nullptr, nullptr, algorithm);
    const std::string dotted = DottedIdentifier(object);

    QString text;
    const auto* hit =
        std::find_if(std::begin(ALGORITHM_NAMES), std::end(ALGORITHM_NAMES),
                     [&dotted](const AlgorithmName& entry) { return dotted == entry.identifier; });
    if (hit != std::end(ALGORITHM_NAMES))
        text = QString::fromLatin1(hit->name);
    else
        text = ToWideString(dotted.data(), static_cast<int>(dotted.size()));
    return text + Separator();
}

QString GetIssuerCommonNames(const CertificateContext& context) {
    const ErrorQueueMark mark;
    const std::optional<QStringList> names = CommonNames(context.issuer);
    if (!names) return {};

    QString text;
    for (const QString& name : *names) {
        OutputDebugText(name);
        text += name;
        text += Separator();
    }
    return text;
}

std::optional<CertificateContext> CreateCertificateContext(const std::uint8_t* data,
                                                           std::size_t size) {
    if (data == nullptr || size == 0) return std::nullopt;
    const ErrorQueueMark mark;
    CertificateContext context;
    const unsigned char* cursor = data;
    const long length = static_cast<long>(std::min<std::size_t>(size, LONG_MAX));
    context.certificate.reset(d2i_X509(nullptr, &cursor, length));
    if (context.certificate) {
        const unsigned char* issuer = nullptr;
        std::size_t issuerLength = 0;
        if (X509_NAME_get0_der(X509_get_issuer_name(context.certificate.get()), &issuer,
                               &issuerLength) == 1)
            context.issuer.assign(issuer, issuer + issuerLength);
        return context;
    }

    std::optional<NamesSetAside> aside = SetNamesAside(data, size);
    if (!aside) return std::nullopt;
    cursor = aside->certificate.data();
    context.certificate.reset(
        d2i_X509(nullptr, &cursor, static_cast<long>(aside->certificate.size())));
    if (!context.certificate) return std::nullopt;
    context.issuer = std::move(aside->issuer);
    return context;
}

QString SummarizeCertificate(const std::uint8_t* data, std::size_t size) {
    const std::optional<CertificateContext> context = CreateCertificateContext(data, size);
    if (!context) return {};

    QString text = GetSignatureAlgorithmName(context->certificate.get());
    text += GetIssuerCommonNames(*context);
    text += ExpiryText(context->certificate.get());
    return text;
}

std::optional<QDateTime> CertificateExpiryUtc(const std::uint8_t* data, std::size_t size) {
    const std::optional<CertificateContext> context = CreateCertificateContext(data, size);
    if (!context) return std::nullopt;
    const std::optional<std::chrono::sys_seconds> utc = NotAfterUtc(context->certificate.get());
    if (!utc) return std::nullopt;
    const QDateTime expiry =
        QDateTime::fromSecsSinceEpoch(utc->time_since_epoch().count(), Qt::UTC);
    if (!expiry.isValid()) return std::nullopt;
    return expiry;
}

QString GetSlotCertificateSummary(const FileSlot& slot) {
    if (slot.nStatus == SLOT_PENDING || !slot.pData || slot.nSize == 0) return {};
    const std::size_t size = std::min<std::size_t>(slot.nSize, SLOT_BUFFER_SIZE);
    return SummarizeCertificate(slot.pData.get(), size);
}

QString GetCertificateSummary(const CSlotEngine& engine, int slot) {
    if (engine.SlotStatus(slot) == SLOT_PENDING) return {};
    const std::span<const std::uint8_t> bytes = engine.SlotBytes(slot);
    if (bytes.empty()) return {};
    return SummarizeCertificate(bytes.data(), bytes.size());
}
