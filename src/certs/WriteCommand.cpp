#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <utility>

#include "certs/LocalFolder.h"
#include "certs/SlotCommands.h"
#include "engine/SlotEngine.h"
#include "support/DialogServices.h"
#include "support/Trace.h"

void CSlotEngine::OnBnClickedWrite() {
    // Setting m_nCurSlot under a running load or Read would file its pieces in the wrong
    // slot, so Write waits for an idle engine like Read and Remove.
    if (!IsEngineIdle(*this)) return;

    const int slot = TakeTargetSlot();
    if (slot < 0) return;

    if (m_slots[slot].nSize != 0 &&
        m_services.ShowMessageBox(
            QStringLiteral("The file is already there. Do you want to overwrite it?"),
            QStringLiteral("Confirm"), MsgBox::OkCancel | MsgBox::IconQuestion) != MsgBox::IdOk)
        return;

    const QString folder = GetLocalCertificateFolder();
    QString path;
    if (!m_services.ChooseOpenFile(SlotFileFilter(slot), folder, path)) return;
    if (!IsEngineIdle(*this)) return;
    m_strWritePath = path;

    // Only a regular file has a size to check: one that vanished after it was chosen, a
    // folder or a device stops the command here.
    const QFileInfo info(path);
    if (!info.isFile()) return;
    const qint64 size = info.size();
    if (size > SLOT_BUFFER_SIZE) {
        m_services.ShowMessageBox(QStringLiteral("The file size must be 6 KBytes or less."),
                                  QStringLiteral("Error"), MsgBox::Ok | MsgBox::IconError);
        return;
    }
    m_nTransferTotal = static_cast<std::uint32_t>(size);

    LocalFile source(std::fopen(QFile::encodeName(path).constData(), "rb"));
    if (!source) return;
    m_pWriteSource = std::move(source);
    Trace("Open local file %ls(%dbytes)", path.utf16(), static_cast<int>(size));
    m_nState = STATE_WRITE_SEND_OPEN;
}
