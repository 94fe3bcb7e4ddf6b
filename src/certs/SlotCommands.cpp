#include "certs/SlotCommands.h"

#include "support/DialogServices.h"

CSlotCommands::CSlotCommands(CSlotEngine& engine, DialogServices& services)
    : m_commandEngine(engine), m_commandServices(services) {}

int CSlotCommands::TakeTargetSlot() {
    const int slot = SlotFromListRow(m_nTargetListId, m_nTargetRow);
    if (slot < 0) {
        m_commandServices.ShowMessageBox(QString::fromLatin1(NO_TARGET_MESSAGE), QString(),
                                         MsgBox::Ok);
        return -1;
    }
    static_cast<void>(m_commandEngine.SelectSlot(slot));
    return slot;
}

void CSlotCommands::OnBnClickedConnect() {
    if (m_commandEngine.IsPortOpen())
        static_cast<void>(m_commandEngine.RequestDisconnect());
    else
        static_cast<void>(m_commandEngine.RequestConnect());
}
