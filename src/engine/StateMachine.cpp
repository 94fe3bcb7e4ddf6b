// The polled state machine: one step per engine tick, at most one command sent or one
// answer evaluated per step. Buttons and the receive pump only assign m_nState; the work
// happens here.

#include "engine/SlotEngine.h"
#include "protocol/Frame.h"
#include "support/Trace.h"

void CSlotEngine::LoadNextSlot() {
    // With none left the lists are refreshed once.
    m_nCurSlot = SLOT_COUNT;
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        if (m_slots[static_cast<size_t>(slot)].nStatus == SLOT_PENDING) {
            m_nCurSlot = slot;
            break;
        }
    }
    if (m_nCurSlot == SLOT_COUNT) {
        RefreshSlotLists();
        m_nState = STATE_READY;
        return;
    }
    SendOpen(true, m_nCurSlot);
    m_nState = STATE_LOAD_AWAIT_OPEN;
}

void CSlotEngine::AwaitConnect() {
    ResponseFields fields;
    ParseResponse(fields);
    for (const ResponseField& entry : fields) {
        if (entry.key == "CMD" && entry.value == "0000") {
            Trace("Success connect.");
            m_nState = STATE_LOAD_NEXT;
            OnTransactionEnded({Transaction::Connect, Outcome::Done, -1});
            return;
        }
    }
}

// Nothing is sent to the device, even with a slot open there.
void CSlotEngine::DisconnectNow() {
    // Nobody asked for this one: the receive pump gave up on a failing port.
    const bool lost = IsPortOpen() && !m_bDisconnectRequested;
    m_bDisconnectRequested = false;
    // An interrupted Read or Write would otherwise keep its local file open until some
    // later transaction happened to close it (and a Read gives its slot back first).
    CloseLocalFiles();
    for (FileSlot& slot : m_slots) {
        slot.Release();
        slot.nStatus = SLOT_PENDING;
    }
    RefreshSlotLists();
    m_hComm.reset();
    m_nState = STATE_CLOSED;
    if (lost) OnTransactionEnded({Transaction::Link, Outcome::ConnectionLost, -1});
}

void CSlotEngine::SendConnect() {
    SendCommandFrame(FormatCommand(CONNECT_TEMPLATE, m_nSequence));
}

void CSlotEngine::StepEngine() {
    switch (m_nState) {
    case STATE_CONNECT:
        if (!OpenPort()) {
            m_nState = STATE_DISCONNECT;
            OnTransactionEnded({Transaction::Connect, Outcome::PortFailed, -1});
            break;
        }
        SendConnect();
        m_nState = STATE_AWAIT_CONNECT;
        break;
    case STATE_AWAIT_CONNECT:
        AwaitConnect();
        break;
    case STATE_LOAD_NEXT:
        LoadNextSlot();
        break;
    case STATE_LOAD_AWAIT_OPEN:
        OnOpenResponse(true);
        break;
    case STATE_LOAD_SEND_DATA:
        SendRead();
        break;
    case STATE_LOAD_AWAIT_DATA:
        OnReadResponse();
        break;
    case STATE_LOAD_SEND_CLOSE:
        SendClose();
        break;
    case STATE_LOAD_AWAIT_CLOSE:
        OnCloseResponse();
        break;
    case STATE_REMOVE_SEND:
        SendRemove();
        break;
    case STATE_REMOVE_AWAIT:
        OnRemoveResponse();
        break;
    case STATE_READ_SEND_OPEN:
        SendOpen(true, m_nCurSlot);
        break;
    case STATE_READ_AWAIT_OPEN:
        OnOpenResponse(true);
        break;
    case STATE_READ_SEND_DATA:
        SendRead();
        break;
    case STATE_READ_AWAIT_DATA:
        OnReadResponse();
        break;
    case STATE_WRITE_SEND_OPEN:
        SendOpen(false, m_nCurSlot);
        break;
    case STATE_WRITE_AWAIT_OPEN:
        OnOpenResponse(false);
        break;
    case STATE_WRITE_SEND_DATA:
        SendWriteChunk();
        break;
    case STATE_WRITE_AWAIT_DATA:
        OnWriteResponse();
        break;
    case STATE_DISCONNECT:
        DisconnectNow();
        break;
    case STATE_SEND_CLOSE:
        SendClose();
        break;
    case STATE_AWAIT_CLOSE:
        OnCloseResponse();
        break;
    default:  // STATE_CLOSED, STATE_READY, 21 and anything outside the table: idle
        break;
    }
}
