#include "certs/SlotCommands.h"

#include "support/DialogServices.h"

int CSlotEngine::TakeTargetSlot() {
    const int slot = SlotFromListRow(m_nTargetListId, m_nTargetRow);
    if (slot < 0) {
        m_services.ShowMessageBox(QString::fromLatin1(NO_TARGET_MESSAGE), QString(), MsgBox::Ok);
        return -1;
    }
    m_nCurSlot = slot;
    return slot;
}
