// What the owner may ask of the engine, and what it may look at. Every request checks that
// the engine can take it and starts the flow on the next step; nothing else outside the
// steps changes the engine's state.

#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <utility>

#include "engine/SlotEngine.h"
#include "protocol/Response.h"
#include "support/FileCalls.h"
#include "support/Trace.h"

namespace {
bool IsSlotIndex(int slot) { return slot >= 0 && slot < SLOT_COUNT; }

bool IsLoading(int state) { return state >= STATE_LOAD_NEXT && state <= STATE_LOAD_AWAIT_CLOSE; }
bool IsReading(int state) { return state >= STATE_READ_SEND_OPEN && state <= STATE_READ_AWAIT_DATA; }
bool IsWriting(int state) {
    return state >= STATE_WRITE_SEND_OPEN && state <= STATE_WRITE_AWAIT_DATA;
}
constexpr double kLoadUnitsPerSlot = 100.0;

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

double TransferProgressView::Fraction() const {
    if (total <= 0.0) return 0.0;
    return std::clamp(done / total, 0.0, 1.0);
}

StartRefusal CSlotEngine::RequestConnect(const std::bitset<SLOT_COUNT>& load) {
    if (IsPortOpen()) return StartRefusal::Busy;
    // The load's lowest-pending-slot rule passes done slots by.
    for (int slot = 0; slot < SLOT_COUNT; ++slot)
        if (!load.test(static_cast<size_t>(slot))) m_slots[static_cast<size_t>(slot)].nStatus = SLOT_DONE;
    m_bDisconnectRequested = false;
    m_nState = STATE_CONNECT;
    return StartRefusal::None;
}

StartRefusal CSlotEngine::RequestDisconnect() {
    if (!IsPortOpen()) return StartRefusal::NotConnected;
    m_bDisconnectRequested = true;
    m_nState = STATE_DISCONNECT;
    return StartRefusal::None;
}

StartRefusal CSlotEngine::StartRead(int slot, ReadTarget target, const QString& path) {
    if (!IsIdle()) return StartRefusal::Busy;
    if (!IsSlotIndex(slot)) return StartRefusal::NoTarget;
    FileSlot& copy = m_slots[static_cast<size_t>(slot)];
    if (target && copy.nSize == 0) return StartRefusal::EmptySlot;
    if (target) m_strReadPath = path;
    m_readSnapshot.active = true;
    m_readSnapshot.hadBuffer = copy.pData != nullptr;
    m_readSnapshot.nSize = copy.nSize;
    m_readSnapshot.bytes.assign(copy.pData.get(),
                                copy.pData ? copy.pData.get() + copy.nSize : nullptr);
    m_nCurSlot = slot;
    m_pReadTarget = std::move(target);
    copy.nSize = 0;
    m_nState = STATE_READ_SEND_OPEN;
    return StartRefusal::None;
}

StartRefusal CSlotEngine::StartReadFile(int slot, const QString& path) {
    if (!IsIdle()) return StartRefusal::Busy;
    if (!IsSlotIndex(slot)) return StartRefusal::NoTarget;
    if (m_slots[static_cast<size_t>(slot)].nSize == 0) return StartRefusal::EmptySlot;
    Trace("Save to %ls", path.utf16());
    m_strReadPath = path;
    ReadTarget target = OpenReadTarget(path, slot == SLOT_SERVER_KEY, m_strLocalFileError);
    if (!target) {
        Trace("Failed open file %ls", path.utf16());
        return StartRefusal::FileProblem;
    }
    return StartRead(slot, std::move(target), path);
}

StartRefusal CSlotEngine::StartReadBack(int slot) { return StartRead(slot, nullptr); }

StartRefusal CSlotEngine::StartWrite(int slot, LocalFile source, std::uint32_t size,
                                     const QString& path) {
    if (!IsIdle()) return StartRefusal::Busy;
    if (!IsSlotIndex(slot)) return StartRefusal::NoTarget;
    if (!source) return StartRefusal::FileProblem;
    m_nCurSlot = slot;
    m_strWritePath = path;
    m_nTransferTotal = size;
    m_pWriteSource = std::move(source);
    m_nState = STATE_WRITE_SEND_OPEN;
    return StartRefusal::None;
}

StartRefusal CSlotEngine::StartWriteFile(int slot, const QString& path) {
    if (!IsIdle()) return StartRefusal::Busy;
    if (!IsSlotIndex(slot)) return StartRefusal::NoTarget;
    m_strWritePath = path;
    // Only a regular file has a size to check: one that vanished after it was chosen, a
    // folder or a device is refused here.
    const QFileInfo info(path);
    if (!info.isFile()) return StartRefusal::FileProblem;
    const qint64 size = info.size();
    if (size > SLOT_BUFFER_SIZE) return StartRefusal::TooLarge;
    m_nTransferTotal = static_cast<std::uint32_t>(size);
    LocalFile source(OpenToRead(NativeName(path).constData()));
    if (!source) return StartRefusal::FileProblem;
    Trace("Open local file %ls(%dbytes)", path.utf16(), static_cast<int>(size));
    return StartWrite(slot, std::move(source), static_cast<std::uint32_t>(size), path);
}

StartRefusal CSlotEngine::SelectSlot(int slot) {
    if (!IsIdle()) return StartRefusal::Busy;
    if (!IsSlotIndex(slot)) return StartRefusal::NoTarget;
    m_nCurSlot = slot;
    return StartRefusal::None;
}

StartRefusal CSlotEngine::SelectPort(const PortChoice& port) {
    if (IsPortOpen()) return StartRefusal::Busy;
    m_selectedPort = port;
    return StartRefusal::None;
}

StartRefusal CSlotEngine::StartRemove(int slot) {
    if (!IsIdle()) return StartRefusal::Busy;
    if (!IsSlotIndex(slot)) return StartRefusal::NoTarget;
    m_nCurSlot = slot;
    m_nState = STATE_REMOVE_SEND;
    return StartRefusal::None;
}

int CSlotEngine::SlotSize(int slot) const {
    return IsSlotIndex(slot) ? m_slots[static_cast<size_t>(slot)].nSize : 0;
}

int CSlotEngine::SlotStatus(int slot) const {
    return IsSlotIndex(slot) ? m_slots[static_cast<size_t>(slot)].nStatus : SLOT_PENDING;
}

bool CSlotEngine::SlotHasBuffer(int slot) const {
    return IsSlotIndex(slot) && m_slots[static_cast<size_t>(slot)].pData != nullptr;
}

std::span<const std::uint8_t> CSlotEngine::SlotBytes(int slot) const {
    if (!IsSlotIndex(slot)) return {};
    const FileSlot& copy = m_slots[static_cast<size_t>(slot)];
    if (!copy.pData) return {};
    return {copy.pData.get(), std::min<size_t>(copy.nSize, SLOT_BUFFER_SIZE)};
}

TransferProgressView CSlotEngine::TransferProgress() const {
    TransferProgressView view;
    if (IsLoading(m_nState)) {
        view.loading = view.measured = true;
        int done = 0;
        for (const FileSlot& slot : m_slots)
            if (slot.nStatus == SLOT_DONE) ++done;
        double partial = 0.0;
        if (m_nFileSize != 0 && IsSlotIndex(m_nCurSlot) &&
            m_slots[static_cast<size_t>(m_nCurSlot)].nStatus != SLOT_DONE) {
            partial = static_cast<double>(m_slots[static_cast<size_t>(m_nCurSlot)].nSize) /
                      static_cast<double>(m_nFileSize) * kLoadUnitsPerSlot;
        }
        view.done = kLoadUnitsPerSlot * done + partial;
        view.total = kLoadUnitsPerSlot * SLOT_COUNT;
    } else if (IsWriting(m_nState) && m_pWriteSource) {
        view.measured = true;
        view.done = static_cast<double>(std::ftell(m_pWriteSource.get()));
        view.total = m_nTransferTotal;
    } else if (IsReading(m_nState) && m_pReadTarget) {
        view.measured = true;
        view.done = static_cast<double>(m_pReadTarget->Written());
        view.total = m_nTransferTotal;
    }
    return view;
}

bool CSlotEngine::HoldsCompleteAnswer() const {
    return HoldsCompleteFrame(m_rxBuffer.data(), m_nRxLength);
}

void CSlotEngine::WaitForPortInput(int ms) {
    if (m_hComm) m_hComm->WaitForInput(ms);
}
