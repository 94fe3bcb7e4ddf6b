#include "certs/LocalFolder.h"
#include "certs/SlotCommands.h"
#include "support/DialogServices.h"

void CSlotCommands::OnBnClickedWrite() {
    // Changing the current slot under a running load or Read would file its pieces in the
    // wrong slot, so Write waits for an idle engine like Read and Remove.
    CSlotEngine& engine = m_commandEngine;
    if (!IsEngineIdle(engine)) return;

    const int slot = TakeTargetSlot();
    if (slot < 0) return;

    if (engine.SlotSize(slot) != 0 &&
        m_commandServices.ShowMessageBox(QString::fromLatin1(OVERWRITE_QUESTION),
                                         QStringLiteral("Confirm"),
                                         MsgBox::OkCancel | MsgBox::IconQuestion) != MsgBox::IdOk)
        return;

    const QString folder = GetLocalCertificateFolder();
    QString path;
    if (!m_commandServices.ChooseOpenFile(SlotFileFilter(slot), folder, path)) return;
    if (engine.StartWriteFile(slot, path) == StartRefusal::TooLarge)
        m_commandServices.ShowMessageBox(QString::fromLatin1(TOO_LARGE_MESSAGE),
                                         QStringLiteral("Error"), MsgBox::Ok | MsgBox::IconError);
}
