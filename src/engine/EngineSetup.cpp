#include "engine/EngineSetup.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {
bool IsSlotIndex(int slot) { return slot >= 0 && slot < SLOT_COUNT; }
}  // namespace

void EngineSetup::PreloadSlot(CSlotEngine& engine, int slot, std::span<const std::uint8_t> bytes,
                              int status) {
    if (!IsSlotIndex(slot)) return;
    FileSlot& record = engine.m_slots[static_cast<size_t>(slot)];
    const size_t count = std::min<size_t>(bytes.size(), SLOT_BUFFER_SIZE);
    std::uint8_t* buffer = record.EnsureBuffer();
    if (count > 0) std::memcpy(buffer, bytes.data(), count);
    record.nSize = static_cast<std::uint16_t>(count);
    record.nStatus = status;
}

void EngineSetup::PreloadSlot(CSlotEngine& engine, int slot, FileSlot record) {
    if (!IsSlotIndex(slot)) return;
    engine.m_slots[static_cast<size_t>(slot)] = std::move(record);
}

void EngineSetup::PutInState(CSlotEngine& engine, int state, int slot) {
    engine.m_nState = state;
    engine.m_nCurSlot = slot;
}

void EngineSetup::FeedReceived(CSlotEngine& engine, std::string_view bytes) {
    // What the pump could never hold is not taken either.
    const size_t room = static_cast<size_t>(RX_BUFFER_SIZE - engine.m_nRxLength);
    const size_t count = std::min(bytes.size(), room);
    std::memcpy(engine.m_rxBuffer.data() + engine.m_nRxLength, bytes.data(), count);
    engine.m_nRxLength += static_cast<int>(count);
    engine.m_rxBuffer[static_cast<size_t>(engine.m_nRxLength)] = '\0';
}

void EngineSetup::ClearReceived(CSlotEngine& engine) {
    engine.m_rxBuffer.fill('\0');
    engine.m_nRxLength = 0;
}

void EngineSetup::AttachPort(CSlotEngine& engine, std::unique_ptr<CommPort> port) {
    engine.m_hComm = std::move(port);
}

void EngineSetup::ContinueSequence(CSlotEngine& engine, int count) {
    engine.m_nSequence = count & 0xFF;
}

void EngineSetup::AttachReadTarget(CSlotEngine& engine, ReadTarget target) {
    engine.m_pReadTarget = std::move(target);
}

void EngineSetup::AttachWriteSource(CSlotEngine& engine, LocalFile source, std::uint32_t total) {
    engine.m_pWriteSource = std::move(source);
    engine.m_nTransferTotal = total;
}

void EngineSetup::AnnounceTotal(CSlotEngine& engine, std::uint32_t total) {
    engine.m_nFileSize = total;
    engine.m_nTransferTotal = total;
}

void EngineSetup::CountReadErrors(int count) { CSlotEngine::s_nReadErrors = count; }
