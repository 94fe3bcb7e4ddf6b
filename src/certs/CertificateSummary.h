#pragma once
// The one-line summary of a slot's certificate: signature algorithm name, issuer common
// names, expiry in local time, each but the last followed by " , ". Bytes that are not a
// DER X.509 certificate give the empty text. Decoding is OpenSSL's.

#include <openssl/types.h>

#include <QDateTime>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class CSlotEngine;
struct FileSlot;

struct X509Deleter {
    void operator()(X509* certificate) const;
};

// A certificate as the summary reads it: decoded, with the issuer's name kept as encoded
// and decoded only when its common names are asked for. A name that does not decode then
// costs the names, not the whole summary.
struct CertificateContext {
    std::unique_ptr<X509, X509Deleter> certificate;
    std::vector<unsigned char> issuer;  // the issuer's DER-encoded Name
};

// The certificate at the start of `size` bytes, or nothing when they do not start with a
// DER X.509 certificate. Issuer and subject are not looked into: a certificate whose names
// OpenSSL refuses (a VisibleString, a malformed string) is still a certificate.
std::optional<CertificateContext> CreateCertificateContext(const std::uint8_t* data,
                                                           std::size_t size);

// Display name of the to-be-signed part's signature algorithm (the dotted identifier when
// it has no name), followed by " , ". Never empty.
QString GetSignatureAlgorithmName(const X509* certificate);

// Every issuer attribute of type 2.5.4.3 in encoding order, each followed by " , ", and each
// also written alone to the debug output. Empty when there is none, or when the name does
// not decode: a structure that is not a Name, or a common-name value that has no text form
// (not a string type, or a UTF8String, BMPString or UniversalString that is not valid in its
// encoding). The 8-bit string types show one character per byte (ISO 8859-1).
// Control characters (line breaks included) are shown as U+FFFD so that the summary stays
// one line and a crafted name cannot fake further lines of output.
QString GetIssuerCommonNames(const CertificateContext& context);

// The summary of `size` bytes at `data`, or "" when they do not start with a complete DER
// certificate. Bytes after the first certificate are ignored, so a file padded to a fixed
// size or ending in a line break still shows. The expiry is notAfter shifted by the UTC
// offset in force now (not the one in force at the expiry date); it is left out when it
// does not convert or falls outside the years 0 to 9999.
QString SummarizeCertificate(const std::uint8_t* data, std::size_t size);

// notAfter of the certificate at the start of `size` bytes, as a Qt::UTC date and time;
// nothing when they do not start with a certificate or its date does not convert.
std::optional<QDateTime> CertificateExpiryUtc(const std::uint8_t* data, std::size_t size);

// The summary of a slot copy: "" while the slot is pending, has no buffer or no bytes.
// Never reads past the slot's buffer, whatever nSize says.
QString GetSlotCertificateSummary(const FileSlot& slot);

// The same for slot `slot` of the engine; "" for a number outside 0..14.
QString GetCertificateSummary(const CSlotEngine& engine, int slot);
