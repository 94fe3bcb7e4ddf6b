// The certificate summary on arbitrary slot contents of up to 6144 bytes: what the slot
// list shows for whatever a device, or a file a user was sent, holds.

#include <openssl/err.h>

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "certs/CertificateSummary.h"
#include "engine/SlotTable.h"
#include "support/Trace.h"

namespace {

[[noreturn]] void Finding(const char* what, const QString& summary) {
    std::fprintf(stderr, "summary invariant broken: %s\nsummary: %s\n", what,
                 summary.toUtf8().constData());
    std::abort();
}

void Check(bool holds, const char* what, const QString& summary) {
    if (!holds) Finding(what, summary);
}

const QStringList& AlgorithmNames() {
    static const QStringList names = {
        QStringLiteral("RSA"),        QStringLiteral("MD2RSA"),    QStringLiteral("MD4RSA"),
        QStringLiteral("MD5RSA"),     QStringLiteral("SHA1RSA"),   QStringLiteral("SETOAEPRSA"),
        QStringLiteral("RSAES OAEP"), QStringLiteral("MGF1"),      QStringLiteral("PSPECIFIED"),
        QStringLiteral("SSA PSS"),    QStringLiteral("SHA256RSA"), QStringLiteral("SHA384RSA"),
        QStringLiteral("SHA512RSA")};
    return names;
}

// The shape every non-empty summary has: an algorithm name or dotted identifier, the
// separator, then names, and last a date or nothing.
void CheckShape(const QString& summary) {
    for (const QChar c : summary) {
        const QChar::Category category = c.category();
        Check(category != QChar::Other_Control && category != QChar::Separator_Line &&
                  category != QChar::Separator_Paragraph,
              "a line break or control character in the summary", summary);
    }
    const qsizetype first = summary.indexOf(QStringLiteral(" , "));
    Check(first >= 0, "no separator after the algorithm", summary);
    const QString algorithm = summary.left(first);
    static const QRegularExpression dotted(QStringLiteral("^[0-9.]*$"));
    Check(AlgorithmNames().contains(algorithm) || dotted.match(algorithm).hasMatch(),
          "the first element is neither a known name nor a dotted identifier", summary);
    static const QRegularExpression date(
        QStringLiteral(" , [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}$"));
    Check(summary.endsWith(QStringLiteral(" , ")) || date.match(summary).hasMatch(),
          "the summary ends in neither a separator nor a date", summary);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static const bool quiet = [] {
        SetStandardOutputSink([](const QString&) {});
        return true;
    }();
    static_cast<void>(quiet);
    QStringList commonNames;
    SetDebugOutputSink([&commonNames](const QString& text) { commonNames << text; });

    size = std::min<size_t>(size, SLOT_BUFFER_SIZE);
    const QString summary = SummarizeCertificate(data, size);
    Check(ERR_peek_error() == 0, "an OpenSSL error was left on the queue", summary);
    SetDebugOutputSink([](const QString&) {});

    if (!summary.isEmpty()) {
        CheckShape(summary);
        for (const QString& name : commonNames)
            Check(summary.contains(name), "a common name written out is not in the summary",
                  summary);
    } else {
        Check(commonNames.isEmpty(), "common names written out for no summary", summary);
    }

    // The slot list sees the same text through the slot copy, and nothing while pending.
    FileSlot slot;
    std::memcpy(slot.EnsureBuffer(), data, size);
    slot.nSize = static_cast<std::uint16_t>(size);
    Check(GetSlotCertificateSummary(slot).isEmpty(), "a pending slot has a summary", summary);
    slot.nStatus = SLOT_DONE;
    Check(GetSlotCertificateSummary(slot) == summary, "the slot copy reads differently", summary);

    // Bytes after a complete certificate (padding, a line break) do not change it.
    if (!summary.isEmpty() && size < SLOT_BUFFER_SIZE) {
        std::vector<std::uint8_t> padded(data, data + size);
        padded.resize(std::min<size_t>(size + 37, SLOT_BUFFER_SIZE), 0x30);
        Check(SummarizeCertificate(padded.data(), padded.size()) == summary,
              "trailing bytes changed the summary", summary);
    }
    return 0;
}
