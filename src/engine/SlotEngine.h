#pragma once
// The slot engine: every piece of connection state (port, receive buffer, sequence count,
// slot table, running transfer) and the operations that step it, without any widget.
// The main dialog and the command-line session derive from it and supply the hooks.

#include <QString>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/EngineState.h"
#include "engine/SlotTable.h"
#include "engine/TransactionEnd.h"
#include "link/CommPort.h"
#include "protocol/Response.h"
#include "support/SafeFile.h"

class DialogServices;

struct LocalFileCloser {
    void operator()(std::FILE* file) const {
        if (file != nullptr) std::fclose(file);
    }
};
using LocalFile = std::unique_ptr<std::FILE, LocalFileCloser>;
// The file a Read saves into: written under a temporary name, renamed at "Success Close".
using ReadTarget = std::unique_ptr<SafeFile>;

// A slot's copy as it was before a Read refilled it.
struct SlotSnapshot {
    bool active = false;  // a Read is under way and has not yet ended
    bool hadBuffer = false;
    std::uint16_t nSize = 0;
    std::vector<std::uint8_t> bytes;
};

class CSlotEngine {
public:
    // `ports` opens serial ports; `services` shows messages and file dialogs. Both outlive
    // the engine.
    CSlotEngine(CommPortProvider& ports, DialogServices& services);
    virtual ~CSlotEngine();
    CSlotEngine(const CSlotEngine&) = delete;
    CSlotEngine& operator=(const CSlotEngine&) = delete;

    // Sets the members that the dialog initialisation sets again before the first tick.
    void ResetEngineMembers();

    // --- Timer work -------------------------------------------------------------------
    void StepEngine();       // one step of the state machine (TIMER_ENGINE)
    void ReceiveFromPort();  // append what has arrived to the receive buffer (TIMER_RECEIVE)

    // --- Serial port ------------------------------------------------------------------
    bool OpenPort();
    bool IsPortOpen() const { return m_hComm != nullptr; }

    // --- Protocol ---------------------------------------------------------------------
    void SendCommandFrame(const std::string& text);
    void ParseResponse(ResponseFields& fields);

    // --- Transactions -----------------------------------------------------------------
    void SendConnect();
    void SendOpen(bool read, int slot);
    void OnOpenResponse(bool read);
    void SendRead();
    void OnReadResponse();
    void SendClose();
    void OnCloseResponse();
    void SendWriteChunk();
    void OnWriteResponse();
    void SendRemove();
    void OnRemoveResponse();

    // Closes m_pReadTarget and m_pWriteSource, each only if open. A Read that ends here
    // did not succeed: its temporary file goes and the slot gets back its earlier copy.
    void CloseLocalFiles();
    // Starts a Read of `slot`: its copy is refilled from the first byte by the pieces that
    // arrive, and each piece also goes to `target` (none: the copy only, a read-back).
    void BeginRead(int slot, ReadTarget target);
    // A Read that ended with "Success Close": the saved file takes its name.
    void CompleteRead();
    // Releases every slot buffer (sizes and statuses stay): closing the window.
    void ReleaseSlotBuffers();

    // --- Certificates -------------------------------------------------------------------
    // One-line summary of the slot's certificate, or "" (pending, empty or not a certificate).
    QString GetCertificateSummary(int slot) const;

    // --- User commands (the buttons) ---------------------------------------------------
    void OnBnClickedConnect();
    void OnBnClickedWrite();
    void OnBnClickedRead();
    void OnBnClickedRemove();
    void OnBnClickedHelp();
    // The slot of the current target, made m_nCurSlot; -1 (after telling the user) when
    // no row is the target.
    int TakeTargetSlot();

    // --- Hooks for the owner -------------------------------------------------------------
    // Rewrites the Information cells from the slot table; the window's lists, nothing here.
    virtual void RefreshSlotLists() {}
    // The port selected in the port list; no selection gives an empty choice.
    virtual PortChoice SelectedPort() const { return m_selectedPort; }
    // How a transaction just ended. Called from inside the step, after the engine record
    // has been brought up to date; the window has no use for it.
    virtual void OnTransactionEnded(const TransactionEnd& /*end*/) {}
    // The file of a Read that the device completed could not be saved (`reason` names it).
    virtual void OnSaveFailed(const QString& /*reason*/) {}

    // --- Engine record ------------------------------------------------------------------
    int m_nState = STATE_CLOSED;
    std::unique_ptr<CommPort> m_hComm;  // null: no port open
    int m_nSequence = 0;
    // Received bytes not yet consumed, always followed by a NUL (the extra byte).
    std::array<char, RX_BUFFER_SIZE + 1> m_rxBuffer{};
    int m_nRxLength = 0;
    std::array<FileSlot, SLOT_COUNT> m_slots;
    int m_nCurSlot = -1;
    int m_nTargetListId = 0;
    int m_nTargetRow = -1;
    QString m_strWritePath;
    std::uint32_t m_nTransferTotal = 0;
    LocalFile m_pWriteSource;
    ReadTarget m_pReadTarget;
    QString m_strReadPath;
    SlotSnapshot m_readSnapshot;
    // Why the last local file of a Read could not be created or saved: "PATH: reason".
    QString m_strLocalFileError;
    std::uint32_t m_nFileSize = 0;

    // Failed port reads, process-wide; the eleventh forces a disconnect.
    static int s_nReadErrors;

    // The port to open when the owner has no port list of its own (command line, tests).
    PortChoice m_selectedPort;

    // Reports `outcome` of `transaction` on m_nCurSlot to OnTransactionEnded.
    void ReportEnd(Transaction transaction, Outcome outcome);
    // Set by a Disconnect request, so that the disconnect step can tell it from one that
    // the receive pump forced because the port kept failing.
    bool m_bDisconnectRequested = false;

protected:
    CommPortProvider& m_ports;
    DialogServices& m_services;
};
