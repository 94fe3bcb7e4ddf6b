#include "certs/SlotFacts.h"

#include <QCryptographicHash>
#include <algorithm>
#include <cstdint>

#include "certs/CertificateSummary.h"
#include "certs/InformationCell.h"
#include "engine/SlotTable.h"

SlotFacts DescribeSlotBytes(const QByteArray& bytes) {
    SlotFacts facts;
    facts.size = static_cast<int>(bytes.size());
    if (bytes.isEmpty()) return facts;
    facts.sha256 = Sha256Hex(bytes);

    FileSlot slot;
    slot.nStatus = SLOT_DONE;
    const qsizetype kept = std::min<qsizetype>(bytes.size(), SLOT_BUFFER_SIZE);
    std::copy_n(bytes.constData(), kept, reinterpret_cast<char*>(slot.EnsureBuffer()));
    slot.nSize = static_cast<std::uint16_t>(kept);
    facts.information = InformationCellText(slot);
    facts.expiresUtc = CertificateExpiryUtc(slot.pData.get(), slot.nSize);
    return facts;
}

QString Sha256Hex(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString IsoUtcText(const QDateTime& moment) {
    return moment.toUTC().toString(Qt::ISODate);
}
