// Open, read and close of a slot file: shared by the slot load (every slot after
// connecting), the Read operation (one slot saved to a local file) and, for open and
// close, the Write flow.

#include <array>
#include <cstring>

#include "engine/SlotEngine.h"
#include "protocol/Frame.h"
#include "support/Text.h"
#include "support/Trace.h"

namespace {

const char16_t* ModeText(bool read) { return read ? u"read" : u"write"; }

bool IsSlotIndex(int slot) { return slot >= 0 && slot < SLOT_COUNT; }

// One decoded DATA field.
struct Piece {
    std::array<std::uint8_t, READ_CHUNK_MAX> bytes{};
    std::uint16_t count = 0;
};

// Two characters per byte, each pair read as base-16 text (so "3f" is 0x3F and a pair
// that is no number gives 0). The caller has checked the length.
void DecodeData(const std::string& digits, Piece& piece) {
    piece.count = 0;
    char pair[3] = {0, 0, 0};
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        pair[0] = digits[i];
        pair[1] = digits[i + 1];
        piece.bytes[piece.count++] = static_cast<std::uint8_t>(HexToLong(pair));
    }
}

}  // namespace

// The slot stays open on the device.
void CSlotEngine::OnCommandError() {
    CloseLocalFiles();
    m_nState = STATE_READY;
    Trace("Cmd error");
    ReportEnd(Transaction::Read, Outcome::Malformed);
}

void CSlotEngine::SendOpen(bool read, int slot) {
    const int pos = read ? (slot | OPEN_FOR_READ_FLAG) : slot;
    SendCommandFrame(FormatCommand(OPEN_TEMPLATE, m_nSequence, pos));
    Trace("Try Open file idx=%d %ls", m_nCurSlot, ModeText(read));
    m_nState = read ? STATE_READ_AWAIT_OPEN : STATE_WRITE_AWAIT_OPEN;
}

void CSlotEngine::OnOpenResponse(bool read) {
    ResponseFields fields;
    ParseResponse(fields);
    bool answered = false;
    for (const ResponseField& entry : fields) {
        if (entry.key == "CMD" && entry.value == "9330") answered = true;
        if (entry.key != "RES") continue;
        // Each RES is judged against the state as it stands when the entry is reached.
        if (entry.value == "OK") {
            Trace("Success Open file idx=%d %ls", m_nCurSlot, ModeText(read));
            if (!answered) continue;
            if (m_nState == STATE_LOAD_AWAIT_OPEN)
                m_nState = STATE_LOAD_SEND_DATA;
            else
                m_nState = read ? STATE_READ_SEND_DATA : STATE_WRITE_SEND_DATA;
            ReportEnd(Transaction::Open, Outcome::Done);
        } else {
            Trace("Failed Open file idx=%d %ls", m_nCurSlot, ModeText(read));
            if (m_nState == STATE_LOAD_AWAIT_OPEN) {
                // A slot the device will not open is skipped; nothing to close.
                Trace("Try Next File");
                if (IsSlotIndex(m_nCurSlot))
                    m_slots[static_cast<size_t>(m_nCurSlot)].nStatus = SLOT_DONE;
                m_nState = STATE_LOAD_NEXT;
            } else {
                CloseLocalFiles();
                m_nState = STATE_READY;
            }
            ReportEnd(Transaction::Open, Outcome::Refused);
        }
    }
}

void CSlotEngine::SendRead() {
    SendCommandFrame(FormatCommand(READ_TEMPLATE, m_nSequence, m_nCurSlot));
    m_nState = m_nState == STATE_LOAD_SEND_DATA ? STATE_LOAD_AWAIT_DATA : STATE_READ_AWAIT_DATA;
}

void CSlotEngine::OnReadResponse() {
    ResponseFields fields;
    ParseResponse(fields);
    bool matched = false;
    bool accepted = false;
    std::uint16_t total = 0;
    Piece piece;
    for (const ResponseField& entry : fields) {
        if (entry.key == "CMD" && entry.value == "9030") {
            matched = true;
        } else if (entry.key == "RES" && entry.value == "OK") {
            accepted = true;
        } else if (entry.key == "PALL") {
            total = static_cast<std::uint16_t>(static_cast<unsigned long>(HexToLong(entry.value)));
        } else if (entry.key == "DATA") {
            // An odd digit count cannot be decoded; more than READ_CHUNK_MAX bytes would not
            // fit the piece.
            if (entry.value.size() % 2 != 0 || entry.value.size() > READ_DATA_DIGITS_MAX) {
                OnCommandError();
                return;
            }
            DecodeData(entry.value, piece);
        }
    }
    if (!matched || !accepted) return;

    if (!IsSlotIndex(m_nCurSlot)) {
        OnCommandError();
        return;
    }
    FileSlot& slot = m_slots[static_cast<size_t>(m_nCurSlot)];
    // A device that sends more than a slot can hold gets nothing of the excess stored.
    if (static_cast<unsigned>(slot.nSize) + piece.count > static_cast<unsigned>(SLOT_BUFFER_SIZE)) {
        OnCommandError();
        return;
    }

    m_nFileSize = total;
    std::uint8_t* buffer = slot.EnsureBuffer();
    if (piece.count > 0) std::memcpy(buffer + slot.nSize, piece.bytes.data(), piece.count);
    slot.nSize = static_cast<std::uint16_t>(slot.nSize + piece.count);
    Trace("Read File(%d/%d)", static_cast<int>(slot.nSize), static_cast<int>(total));
    m_nTransferTotal = total;

    if (m_nState == STATE_LOAD_AWAIT_DATA) {
        if (slot.nSize >= total) {
            Trace("Read File Complete(idx=%d)", m_nCurSlot);
            slot.nStatus = SLOT_DONE;
            m_nState = STATE_LOAD_SEND_CLOSE;
            ReportEnd(Transaction::Read, Outcome::Done);
        } else {
            m_nState = STATE_LOAD_SEND_DATA;
        }
    } else if (m_nState == STATE_READ_AWAIT_DATA) {
        // A failed local write does not stop the transfer: the file keeps the failure and is
        // not saved when the Read ends.
        if (m_pReadTarget && piece.count > 0)
            static_cast<void>(m_pReadTarget->Write(piece.bytes.data(), piece.count));
        m_nState = slot.nSize < total ? STATE_READ_SEND_DATA : STATE_SEND_CLOSE;
        if (m_nState == STATE_SEND_CLOSE) ReportEnd(Transaction::Read, Outcome::Done);
    }
}

void CSlotEngine::SendClose() {
    SendCommandFrame(FormatCommand(CLOSE_TEMPLATE, m_nSequence, m_nCurSlot));
    Trace("Try Close(idx=%d)", m_nCurSlot);
    m_nState = m_nState == STATE_LOAD_SEND_CLOSE ? STATE_LOAD_AWAIT_CLOSE : STATE_AWAIT_CLOSE;
}

void CSlotEngine::OnCloseResponse() {
    ResponseFields fields;
    ParseResponse(fields);
    bool answered = false;
    for (const ResponseField& entry : fields) {
        if (entry.key == "CMD" && entry.value == "9430") {
            // A Read's file is kept until the close is judged: only "Success Close" saves it.
            m_pWriteSource.reset();
            answered = true;
        } else if (entry.key == "RES" && answered) {
            const Outcome outcome = entry.value == "OK" ? Outcome::Done : Outcome::Refused;
            if (m_nState == STATE_LOAD_AWAIT_CLOSE) {
                // The load goes on whatever the device says about the close.
                m_nState = STATE_LOAD_NEXT;
                ReportEnd(Transaction::Close, outcome);
            } else if (outcome == Outcome::Done) {
                Trace("Success Close");
                m_nState = STATE_READY;
                CompleteRead();
                ReportEnd(Transaction::Close, outcome);
                return;
            } else {
                Trace("Failed Close");
                CloseLocalFiles();
                m_nState = STATE_READY;
                ReportEnd(Transaction::Close, outcome);
            }
        }
    }
}
