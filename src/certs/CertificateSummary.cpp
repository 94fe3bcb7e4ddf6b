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
#include <string>

#include "engine/SlotEngine.h"
#include "engine/SlotTable.h"
#include "support/Text.h"
#include "support/Trace.h"

namespace {

struct X509Deleter {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
using X509Ptr = std::unique_ptr<X509, X509Deleter>;

struct OpenSslDeleter {
    void operator()(unsigned char* block) const { OPENSSL_free(block); }
};
using OpenSslBytes = std::unique_ptr<unsigned char, OpenSslDeleter>;

// Keeps whatever OpenSSL reports while decoding foreign bytes off the thread's error queue,
// so that a rejected slot leaves no stale error behind for the next OpenSSL caller.
class ErrorQueueMark {
  public:
    ErrorQueueMark() { ERR_set_mark(); }
    ~ErrorQueueMark() { ERR_pop_to_mark(); }
    ErrorQueueMark(const ErrorQueueMark&) = delete;
    ErrorQueueMark& operator=(const ErrorQueueMark&) = delete;
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

bool IsLineBreaking(QChar c) {
    const QChar::Category category = c.category();
    return category == QChar::Other_Control || category == QChar::Separator_Line ||
           category == QChar::Separator_Paragraph;
}

QString OneLine(QString text) {
    for (QChar& c : text)
        if (IsLineBreaking(c)) c = QChar(QChar::ReplacementCharacter);
    return text;
}

// Seconds that local time is ahead of UTC at this moment, daylight saving included.
long CurrentUtcOffsetSeconds() {
    return QDateTime::currentDateTime().offsetFromUtc();
}

QString ExpiryText(const X509* certificate) {
    const ASN1_TIME* notAfter = X509_get0_notAfter(certificate);
    // ASN1_TIME_to_tm would read the clock for a null time; a missing date shows nothing.
    if (notAfter == nullptr) return {};
    std::tm utc{};
    if (ASN1_TIME_to_tm(notAfter, &utc) != 1) return {};

    using namespace std::chrono;
    const year_month_day utcDate{year{utc.tm_year + 1900},
                                 month{static_cast<unsigned>(utc.tm_mon + 1)},
                                 day{static_cast<unsigned>(utc.tm_mday)}};
    if (!utcDate.ok()) return {};
    const sys_seconds local = sys_days{utcDate} + hours{utc.tm_hour} + minutes{utc.tm_min} +
                              seconds{utc.tm_sec} + seconds{CurrentUtcOffsetSeconds()};
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

QString GetIssuerCommonNames(const X509* certificate) {
    const X509_NAME* issuer = X509_get_issuer_name(certificate);
    if (issuer == nullptr) return {};

    // Entries are held flat in encoding order, multi-valued RDNs included.
    QStringList names;
    const int count = X509_NAME_entry_count(issuer);
    for (int i = 0; i < count; ++i) {
        const X509_NAME_ENTRY* entry = X509_NAME_get_entry(issuer, i);
        if (entry == nullptr) return {};
        if (OBJ_obj2nid(X509_NAME_ENTRY_get_object(entry)) != NID_commonName) continue;
        unsigned char* utf8 = nullptr;
        const int length = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(entry));
        const OpenSslBytes owned(utf8);
        if (length < 0) return {};
        names.push_back(OneLine(QString::fromUtf8(reinterpret_cast<const char*>(utf8), length)));
    }

    QString text;
    for (const QString& name : names) {
        OutputDebugText(name);
        text += name;
        text += Separator();
    }
    return text;
}

QString SummarizeCertificate(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size == 0) return {};
    const ErrorQueueMark mark;
    const unsigned char* cursor = data;
    const long length = static_cast<long>(std::min<std::size_t>(size, LONG_MAX));
    const X509Ptr certificate(d2i_X509(nullptr, &cursor, length));
    if (!certificate) return {};

    QString text = GetSignatureAlgorithmName(certificate.get());
    text += GetIssuerCommonNames(certificate.get());
    text += ExpiryText(certificate.get());
    return text;
}

QString GetSlotCertificateSummary(const FileSlot& slot) {
    if (slot.nStatus == SLOT_PENDING || !slot.pData || slot.nSize == 0) return {};
    const std::size_t size = std::min<std::size_t>(slot.nSize, SLOT_BUFFER_SIZE);
    return SummarizeCertificate(slot.pData.get(), size);
}

QString CSlotEngine::GetCertificateSummary(int slot) const {
    if (slot < 0 || slot >= SLOT_COUNT) return {};
    return GetSlotCertificateSummary(m_slots[static_cast<std::size_t>(slot)]);
}
