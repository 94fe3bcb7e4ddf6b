#include "certs/InformationCell.h"

#include <cstddef>

#include "certs/CertificateSummary.h"
#include "engine/SlotEngine.h"
#include "engine/SlotTable.h"
#include "support/Text.h"

namespace {
QString CellText(QString summary, int size) {
    if (summary.isEmpty() && size != 0) return FormatWide("File Size : %dBytes", size);
    return summary;
}
}  // namespace

QString InformationCellText(const CSlotEngine& engine, int slot) {
    if (slot < 0 || slot >= SLOT_COUNT) return {};
    return CellText(GetCertificateSummary(engine, slot), engine.SlotSize(slot));
}

QString InformationCellText(const FileSlot& slot) {
    return CellText(GetSlotCertificateSummary(slot), slot.nSize);
}
