#include "engine/SlotEngine.h"

#include "protocol/Frame.h"
#include "support/Trace.h"

#include <cstring>

int CSlotEngine::s_nReadErrors = 0;

CSlotEngine::CSlotEngine(CommPortProvider& ports, DialogServices& services)
    : m_ports(ports), m_services(services) {}

CSlotEngine::~CSlotEngine() = default;

void CSlotEngine::ResetEngineMembers() {
    m_nState = STATE_CLOSED;
    m_hComm.reset();
    m_nSequence = 0;
    m_nFileSize = 0;
    m_pReadTarget.reset();
    m_pWriteSource.reset();
}

void CSlotEngine::SendCommandFrame(const std::string& text) {
    if (!m_hComm) return;
    const std::string frame = CompleteFrame(text);
    m_hComm->Write(frame.data(), static_cast<int>(frame.size()));
}

void CSlotEngine::ParseResponse(ResponseFields& fields) {
    ::ParseResponse(m_rxBuffer.data(), m_nRxLength, fields);
}

void CSlotEngine::CloseLocalFiles() {
    m_pReadTarget.reset();
    m_pWriteSource.reset();
    if (!m_readSnapshot.active) return;
    m_readSnapshot.active = false;
    if (m_nCurSlot < 0 || m_nCurSlot >= SLOT_COUNT) return;
    FileSlot& slot = m_slots[static_cast<size_t>(m_nCurSlot)];
    if (!m_readSnapshot.hadBuffer) {
        slot.pData.reset();
    } else if (!m_readSnapshot.bytes.empty()) {
        std::memcpy(slot.EnsureBuffer(), m_readSnapshot.bytes.data(), m_readSnapshot.bytes.size());
    }
    slot.nSize = m_readSnapshot.nSize;
}

void CSlotEngine::CompleteRead() {
    m_readSnapshot.active = false;
    m_readSnapshot.bytes.clear();
    ReadTarget target = std::move(m_pReadTarget);
    if (!target || target->Commit()) return;
    m_strLocalFileError = target->Error();
    Trace("Failed save file %ls", m_strLocalFileError.utf16());
    ReportEnd(Transaction::Read, Outcome::LocalFileError);
    OnSaveFailed(m_strLocalFileError);
}

void CSlotEngine::ReleaseSlotBuffers() {
    for (FileSlot& slot : m_slots) slot.pData.reset();
}

void CSlotEngine::ReportEnd(Transaction transaction, Outcome outcome) {
    OnTransactionEnded({transaction, outcome, m_nCurSlot});
}
