// Opening and configuring the selected serial port, and the receive pump that moves
// arrived bytes into the receive buffer once per tick.

#include <algorithm>

#include "engine/SlotEngine.h"
#include "support/DialogServices.h"
#include "support/Trace.h"

namespace {
constexpr int READ_ERROR_LIMIT = 10;  // the failure after this many forces a disconnect
}

bool CSlotEngine::OpenPort() {
    const PortChoice port = SelectedPort();
    // With nothing selected the list's item data reads as port number -1.
    const QString name =
        port.name.isEmpty() && port.location.isEmpty() ? QStringLiteral("COM-1") : port.name;
    Trace("Open(%ls)", name.utf16());

    // Every failure leaves no handle and STATE_CLOSED before any box is shown: the engine
    // keeps stepping inside the box's message loop and must find nothing to do.
    const auto fail = [this]() {
        m_hComm.reset();
        m_nState = STATE_CLOSED;
    };
    const auto showMessage = [this](const char* text) {
        m_services.ShowMessageBox(QString::fromLatin1(text), QString(), MsgBox::Ok);
    };

    // With nothing selected there is nothing to open.
    m_hComm = port.location.isEmpty() ? nullptr : m_ports.Open(port.location);
    if (!m_hComm) {
        // Asked at once, while it still describes this attempt.
        const QString reason =
            port.location.isEmpty() ? QString() : DescribePortOpenError(m_ports.LastOpenError());
        fail();
        showMessage("The connection failed when trying to open the COM port.");
        Trace("Failed Open(%ls) Open", name.utf16());
        // The box cannot say why; the trace can (no permission, another program has it).
        if (!reason.isEmpty()) Trace("Open(%ls) failed: %ls", name.utf16(), reason.utf16());
        return false;
    }
    if (!m_hComm->GetState()) {
        fail();
        Trace("The connection failed when trying to initialize the COM port.");
        return false;
    }
    m_hComm->Purge();
    // A port that keeps some of its settings is still used.
    static_cast<void>(m_hComm->SetState());
    if (!m_hComm->GetTimeouts()) {
        fail();
        showMessage("The connection failed when trying to setting the COM port.");
        Trace("Failed Open(%ls) Configuration1", name.utf16());
        return false;
    }
    if (!m_hComm->SetTimeouts()) {
        fail();
        Trace("The connection failed when trying to setting the COM port.");
        return false;
    }
    m_hComm->RaiseRts();
    return true;
}

void CSlotEngine::ReceiveFromPort() {
    if (!m_hComm) return;
    // A full buffer without a complete frame would never drain; drop it so reception
    // goes on.
    DiscardStalledBuffer(m_rxBuffer.data(), m_nRxLength);

    const int capacity = RX_BUFFER_SIZE - m_nRxLength;
    int count = 0;
    if (m_hComm->Read(m_rxBuffer.data() + m_nRxLength, capacity, count)) {
        AcceptReceived(m_rxBuffer.data(), m_nRxLength, std::clamp(count, 0, capacity));
        return;
    }
    OutputDebugText(QStringLiteral("read error"));
    // Counted for the whole process (or the engine's own count): a successful read does
    // not forgive earlier failures.
    if (++*m_pReadErrors > READ_ERROR_LIMIT) {
        *m_pReadErrors = 0;
        m_nState = STATE_DISCONNECT;
    }
}
