#include "engine/SlotTable.h"

#include "support/Text.h"

std::uint8_t* FileSlot::EnsureBuffer() {
    if (!pData) pData.reset(new std::uint8_t[SLOT_BUFFER_SIZE]);
    return pData.get();
}

void FileSlot::Release() {
    pData.reset();
    nSize = 0;
}

QString SlotLabel(int slot) {
    if (slot == SLOT_SERVER_CERTIFICATE) return QStringLiteral("Certificate");
    if (slot == SLOT_SERVER_KEY) return QStringLiteral("Key");
    return FormatWide("Certificate %d", slot - 1);
}

int SlotListId(int slot) { return slot < SERVER_ROW_COUNT ? IDC_LIST_SERVER : IDC_LIST_CLIENT; }

int SlotRow(int slot) { return slot < SERVER_ROW_COUNT ? slot : slot - SERVER_ROW_COUNT; }

int SlotFromListRow(int listId, int row) {
    if (row < 0) return -1;
    if (listId == IDC_LIST_SERVER) return row;
    if (listId == IDC_LIST_CLIENT) return row + SERVER_ROW_COUNT;
    return -1;
}
