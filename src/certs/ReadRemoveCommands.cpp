#include <memory>
#include <utility>

#include "certs/SlotCommands.h"
#include "engine/SlotEngine.h"
#include "support/DialogServices.h"
#include "support/Trace.h"

namespace {
// The file a Read saves into. The private key must not become readable by others: its file
// is owner-only from the moment it exists. Where the folder takes no new file, the chosen
// file itself is written, as it always was; a pipe or device node (/dev/stdout) too.
ReadTarget OpenReadTarget(const QString& path, bool privateKey, QString& error) {
    auto target = std::make_unique<SafeFile>();
    if (!target->Begin(path, privateKey ? FileAccess::OwnerOnly : FileAccess::Usual,
                       InPlace::WhenFolderIsClosed)) {
        error = target->Error();
        return nullptr;
    }
    return target;
}
}  // namespace

void CSlotEngine::OnBnClickedRead() {
    if (!IsEngineIdle(*this)) return;

    const int slot = TakeTargetSlot();
    if (slot < 0) return;

    if (m_slots[slot].nSize == 0) {
        m_services.ShowMessageBox(QStringLiteral("There is no data available to read."), QString(),
                                  MsgBox::Ok);
        return;
    }

    QString path;
    if (!m_services.ChooseSaveFile(SlotFileFilter(slot), SlotDefaultExtension(slot), path)) return;
    // Checked before the open so that a chosen file is not emptied for nothing.
    if (!IsEngineIdle(*this)) return;

    Trace("Save to %ls", path.utf16());
    m_strReadPath = path;
    ReadTarget target = OpenReadTarget(path, slot == SLOT_SERVER_KEY, m_strLocalFileError);
    if (!target) {
        Trace("Failed open file %ls", path.utf16());
        return;
    }
    BeginRead(slot, std::move(target));
}

void CSlotEngine::OnBnClickedRemove() {
    if (!IsEngineIdle(*this)) return;

    const int slot = TakeTargetSlot();
    if (slot < 0) return;

    // An empty slot is asked about and removed too: the device's answer decides.
    if (m_services.ShowMessageBox(
            QStringLiteral("This action deletes the data.The operation cannot be undone.Are you "
                           "sure you want to continue ?"),
            QStringLiteral("Message"), MsgBox::OkCancel | MsgBox::IconExclamation) != MsgBox::IdOk)
        return;
    if (!IsEngineIdle(*this)) return;
    m_nState = STATE_REMOVE_SEND;
}
