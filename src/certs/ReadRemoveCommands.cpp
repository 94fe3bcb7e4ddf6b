#include <QFile>
#include <cstdio>
#include <utility>

#include "certs/SlotCommands.h"
#include "engine/SlotEngine.h"
#include "support/DialogServices.h"
#include "support/Trace.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
// Opens the file a Read saves into, emptied like "wb". The private key must not become
// readable by others: on Unix its file is created owner read/write only, and an existing
// file is narrowed to that before it is emptied, so a file that cannot be narrowed keeps
// its content. A pipe or device node (/dev/stdout) is written as it is.
std::FILE* OpenReadTarget(const QString& path, [[maybe_unused]] bool privateKey) {
    const QByteArray name = QFile::encodeName(path);
#ifdef Q_OS_UNIX
    if (privateKey) {
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (fd < 0) return nullptr;
        struct stat info {};
        bool usable = ::fstat(fd, &info) == 0;
        if (usable && S_ISREG(info.st_mode))
            usable = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && ::ftruncate(fd, 0) == 0;
        std::FILE* file = usable ? ::fdopen(fd, "wb") : nullptr;
        if (file == nullptr) ::close(fd);
        return file;
    }
#endif
    return std::fopen(name.constData(), "wb");
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
    LocalFile target(OpenReadTarget(path, slot == SLOT_SERVER_KEY));
    if (!target) {
        Trace("Failed open file %ls", path.utf16());
        return;
    }
    m_pReadTarget = std::move(target);
    // The slot's copy is refilled from its first byte by the pieces that arrive.
    m_slots[slot].nSize = 0;
    m_nState = STATE_READ_SEND_OPEN;
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
