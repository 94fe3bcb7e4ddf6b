#include "certs/SlotCommands.h"
#include "support/DialogServices.h"

void CSlotCommands::OnBnClickedRead() {
    CSlotEngine& engine = m_commandEngine;
    if (!IsEngineIdle(engine)) return;

    const int slot = TakeTargetSlot();
    if (slot < 0) return;

    if (engine.SlotSize(slot) == 0) {
        m_commandServices.ShowMessageBox(QString::fromLatin1(NO_DATA_MESSAGE), QString(),
                                         MsgBox::Ok);
        return;
    }

    QString path;
    if (!m_commandServices.ChooseSaveFile(SlotFileFilter(slot), SlotDefaultExtension(slot), path))
        return;
    // Checked (by the request) before the open so that a chosen file is not emptied for
    // nothing; a file that cannot be created is only traced.
    static_cast<void>(engine.StartReadFile(slot, path));
}

void CSlotCommands::OnBnClickedRemove() {
    CSlotEngine& engine = m_commandEngine;
    if (!IsEngineIdle(engine)) return;

    const int slot = TakeTargetSlot();
    if (slot < 0) return;

    // An empty slot is asked about and removed too: the device's answer decides.
    if (m_commandServices.ShowMessageBox(QString::fromLatin1(REMOVE_QUESTION),
                                         QStringLiteral("Message"),
                                         MsgBox::OkCancel | MsgBox::IconExclamation) !=
        MsgBox::IdOk)
        return;
    static_cast<void>(engine.StartRemove(slot));
}
