#include "engine/SlotEngine.h"

#include "protocol/Frame.h"

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
}

void CSlotEngine::ReleaseSlotBuffers() {
    for (FileSlot& slot : m_slots) slot.pData.reset();
}

void CSlotEngine::ReportEnd(Transaction transaction, Outcome outcome) {
    OnTransactionEnded({transaction, outcome, m_nCurSlot});
}

void CSlotEngine::OnBnClickedConnect() {
    m_bDisconnectRequested = IsPortOpen();
    m_nState = IsPortOpen() ? STATE_DISCONNECT : STATE_CONNECT;
}
