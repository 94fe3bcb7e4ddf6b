// Upload of a local file into a slot in pieces of WRITE_CHUNK_SIZE bytes, and the erase
// of a slot. Open and close of the upload are the read transactions' own.

#include <array>

#include "engine/SlotEngine.h"
#include "protocol/Frame.h"
#include "support/Trace.h"

namespace {

bool IsSlotIndex(int slot) { return slot >= 0 && slot < SLOT_COUNT; }

// Bytes of the local file handed out so far; 0 once the file is closed.
int SourcePosition(const LocalFile& source) {
    return source ? static_cast<int>(std::ftell(source.get())) : 0;
}

}  // namespace

void CSlotEngine::SendWriteChunk() {
    // The count is taken before the file is read, so the close that follows the last
    // piece carries a count two above it.
    std::string text = FormatCommand(WRITE_TEMPLATE, m_nSequence, m_nCurSlot);

    if (!m_pWriteSource) {
        // Nothing left to upload from; still close the slot on the device.
        m_nState = STATE_SEND_CLOSE;
        ReportEnd(Transaction::Write, Outcome::LocalFileError);
        return;
    }

    const int sent = SourcePosition(m_pWriteSource);
    std::array<std::uint8_t, WRITE_CHUNK_SIZE> piece{};
    const size_t count = std::fread(piece.data(), 1, piece.size(), m_pWriteSource.get());

    // A file that cannot be read, or that grew past what a slot holds after its size was
    // checked, is not a finished upload: treat it like a refused piece, so the slot's copy
    // is kept, the device gets no more than a slot holds, and the slot is closed.
    if (std::ferror(m_pWriteSource.get()) != 0 ||
        static_cast<size_t>(sent) + count > SLOT_BUFFER_SIZE) {
        Trace("Failed Write(%d/%d)", sent, static_cast<int>(m_nTransferTotal));
        m_pWriteSource.reset();
        m_nState = STATE_SEND_CLOSE;
        ReportEnd(Transaction::Write, Outcome::LocalFileError);
        return;
    }

    if (count == 0) {
        Trace("Write Complete");
        m_nState = STATE_SEND_CLOSE;
        // The slot's copy becomes the local file just sent, not bytes read back.
        if (IsSlotIndex(m_nCurSlot)) {
            FileSlot& slot = m_slots[static_cast<size_t>(m_nCurSlot)];
            std::uint8_t* buffer = slot.EnsureBuffer();
            std::rewind(m_pWriteSource.get());
            const size_t loaded = std::fread(buffer, 1, SLOT_BUFFER_SIZE, m_pWriteSource.get());
            slot.nSize = static_cast<std::uint16_t>(loaded);
            RefreshSlotLists();
        }
        m_pWriteSource.reset();
        ReportEnd(Transaction::Write, Outcome::Done);
        return;
    }

    AppendDataField(text, piece.data(), count);
    SendCommandFrame(text);
    m_nState = STATE_WRITE_AWAIT_DATA;
}

void CSlotEngine::OnWriteResponse() {
    ResponseFields fields;
    ParseResponse(fields);
    bool matched = false;
    for (const ResponseField& entry : fields) {
        if (entry.key == "CMD" && entry.value == "9130") {
            matched = true;
        } else if (entry.key == "RES") {
            if (entry.value == "OK") {
                if (!matched) continue;
                Trace("Write(%d/%d)", SourcePosition(m_pWriteSource),
                      static_cast<int>(m_nTransferTotal));
                m_nState = STATE_WRITE_SEND_DATA;
            } else {
                if (m_pWriteSource) {
                    Trace("Failed Write(%d/%d)", SourcePosition(m_pWriteSource),
                          static_cast<int>(m_nTransferTotal));
                    m_pWriteSource.reset();
                }
                m_nState = STATE_SEND_CLOSE;
                ReportEnd(Transaction::Write, Outcome::Refused);
            }
        }
    }
}

void CSlotEngine::SendRemove() {
    Trace("Try remove (idx=%d).", m_nCurSlot);
    SendCommandFrame(FormatCommand(REMOVE_TEMPLATE, m_nSequence, m_nCurSlot));
    m_nState = STATE_REMOVE_AWAIT;
}

void CSlotEngine::OnRemoveResponse() {
    ResponseFields fields;
    ParseResponse(fields);
    for (const ResponseField& entry : fields) {
        if (entry.key == "CMD" && entry.value == "9530") {
            m_nState = STATE_READY;
        } else if (entry.key == "RES") {
            if (entry.value == "OK") {
                // The slot keeps SLOT_DONE: it was loaded, it is now empty.
                if (IsSlotIndex(m_nCurSlot) && m_slots[static_cast<size_t>(m_nCurSlot)].pData) {
                    m_slots[static_cast<size_t>(m_nCurSlot)].Release();
                    RefreshSlotLists();
                }
                Trace("Remove command has been completed.");
                ReportEnd(Transaction::Remove, Outcome::Done);
            } else {
                Trace("The remove command was not completed.");
                ReportEnd(Transaction::Remove, Outcome::Refused);
            }
        }
    }
}
