#pragma once
// The slot engine: every piece of connection state (port, receive buffer, sequence count,
// slot table, running transfer) and the operations that step it, without any widget.
// The main dialog and the command-line session derive from it and supply the hooks.

#include <QString>
#include <array>
#include <bitset>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/EngineState.h"
#include "engine/SlotTable.h"
#include "engine/TransactionEnd.h"
#include "link/CommPort.h"
#include "protocol/Response.h"
#include "support/SafeFile.h"

class DialogServices;

// Why a request did not start; None when it did.
enum class StartRefusal {
    None,
    Busy,          // not connected and idle (or, for Connect, already connected)
    NotConnected,  // nothing to disconnect
    NoTarget,      // the slot number is outside 0..14
    EmptySlot,     // a Read of a slot that holds nothing
    FileProblem,   // the local file cannot be used: not a regular file, or not opened
    TooLarge,      // the local file holds more than a slot (SLOT_BUFFER_SIZE)
};

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

// How far the running flow has come: `done` of `total`. The slot load counts a hundred per
// slot (fifteen hundred in all); a Read or a Write counts the bytes its local file has moved
// of the total, and is `measured` only while that file is open. Idle: nothing measured.
struct TransferProgressView {
    bool loading = false;
    bool measured = false;
    double done = 0.0;
    double total = 0.0;
    // done / total, within 0..1; 0 when there is no total.
    double Fraction() const;
};

class CSlotEngine {
    // Puts an engine where a script would have brought it, for tests, fuzzing and benchmarks.
    friend struct EngineSetup;

public:
    // `ports` opens serial ports; `services` shows messages and file dialogs. Both outlive
    // the engine.
    CSlotEngine(CommPortProvider& ports, DialogServices& services);
    virtual ~CSlotEngine();
    CSlotEngine(const CSlotEngine&) = delete;
    CSlotEngine& operator=(const CSlotEngine&) = delete;

    // --- Timer work -------------------------------------------------------------------
    void StepEngine();       // one step of the state machine (TIMER_ENGINE)
    void ReceiveFromPort();  // append what has arrived to the receive buffer (TIMER_RECEIVE)

    // --- Requests ----------------------------------------------------------------------
    // Each starts its flow on the next step, or says why it did not start and changes
    // nothing. Connect needs a closed port, Disconnect an open one; the slot requests an
    // open port with the engine idle (STATE_READY).
    // `load`: the slots the load after connecting reads; the others are passed by, stay out
    // of memory and show as empty.
    StartRefusal RequestConnect(const std::bitset<SLOT_COUNT>& load = std::bitset<SLOT_COUNT>().set());
    StartRefusal RequestDisconnect();
    // A Read of `slot`: its copy is refilled from the first byte by the pieces that arrive,
    // and each piece also goes to `target` (none: the copy only). A Read that fails gives
    // the slot back its earlier copy. `path` is the target's name, for the record.
    StartRefusal StartRead(int slot, ReadTarget target, const QString& path = QString());
    // StartRead into the file at `path`, created for it (owner-only for the private key);
    // refused for an empty slot, or when the file cannot be created (LocalFileError says
    // why).
    StartRefusal StartReadFile(int slot, const QString& path);
    // StartRead with no local file: what a verification compares.
    StartRefusal StartReadBack(int slot);
    // An upload of `source` (`size` bytes, read from `path`) into `slot`.
    StartRefusal StartWrite(int slot, LocalFile source, std::uint32_t size, const QString& path);
    // An upload of the regular file at `path`, at most SLOT_BUFFER_SIZE bytes.
    StartRefusal StartWriteFile(int slot, const QString& path);
    StartRefusal StartRemove(int slot);
    // Makes `slot` the current slot while idle, as a command does once it has its target.
    StartRefusal SelectSlot(int slot);
    // The port the next Connect opens, for an owner without a port list of its own (one that
    // does not override SelectedPort); refused while a port is open.
    StartRefusal SelectPort(const PortChoice& port);

    // --- Views ---------------------------------------------------------------------------
    int State() const { return m_nState; }
    bool IsPortOpen() const { return m_hComm != nullptr; }
    bool IsIdle() const { return m_nState == STATE_READY && IsPortOpen(); }
    // 0, SLOT_PENDING and no bytes for a number outside 0..14.
    int SlotSize(int slot) const;
    int SlotStatus(int slot) const;
    // The slot's copy; empty when it has no buffer.
    std::span<const std::uint8_t> SlotBytes(int slot) const;
    int CurrentSlot() const { return m_nCurSlot; }
    // How far the running flow has come (see TransferProgressView).
    TransferProgressView TransferProgress() const;
    // Why the last local file of a Read could not be created or saved: "PATH: reason".
    const QString& LocalFileError() const { return m_strLocalFileError; }
    // The count the next command carries (CNT), 0..255.
    int Sequence() const { return m_nSequence; }
    // The received bytes not yet consumed.
    std::string_view Received() const {
        return {m_rxBuffer.data(), static_cast<size_t>(m_nRxLength)};
    }
    // The whole receive buffer, the NUL behind the held bytes and the rest included.
    std::span<const char, RX_BUFFER_SIZE + 1> ReceiveBuffer() const { return m_rxBuffer; }
    // The open port; null when none is open.
    const CommPort* Port() const { return m_hComm.get(); }
    // True when the slot's copy has a buffer, even one holding no bytes.
    bool SlotHasBuffer(int slot) const;
    // The total the last accepted read answer announced (PALL).
    std::uint32_t AnnouncedSize() const { return m_nFileSize; }
    // The size of the running (or last) transfer: the file of a Write, the total of a Read.
    std::uint32_t TransferTotal() const { return m_nTransferTotal; }
    // The local files of the last Write and Read, as they were handed to the engine.
    const QString& WritePath() const { return m_strWritePath; }
    const QString& ReadPath() const { return m_strReadPath; }
    // Whether a Write still reads from its local file, a Read still saves into its own.
    bool WriteSourceOpen() const { return m_pWriteSource != nullptr; }
    bool ReadTargetOpen() const { return m_pReadTarget != nullptr; }
    // The file a running Read saves into; null when none is open.
    const SafeFile* ReadTargetFile() const { return m_pReadTarget.get(); }
    // True when the receive buffer holds a complete answer for the next step to judge.
    bool HoldsCompleteAnswer() const;
    // Waits up to `ms` for bytes on the open port (returns at once without one).
    void WaitForPortInput(int ms);
    // Failed port reads are counted for the process; a new session starts from none.
    static void ResetReadErrors() { s_nReadErrors = 0; }
    static int ReadErrors() { return s_nReadErrors; }
    // The count this engine adds its failed reads to: the process's, unless it keeps its own.
    int ReadErrorCount() const { return *m_pReadErrors; }

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

protected:
    // Sets the members that the dialog initialisation sets again before the first tick.
    void ResetEngineMembers();
    // Opens and sets up the selected port; on failure no port and STATE_CLOSED. The step
    // of STATE_CONNECT calls it and decides what follows.
    bool OpenPort();
    // Takes the first complete answer out of the receive buffer (see ::ParseResponse).
    void ParseResponse(ResponseFields& fields);
    // Closes m_pReadTarget and m_pWriteSource, each only if open. A Read that ends here
    // did not succeed: its temporary file goes and the slot gets back its earlier copy.
    void CloseLocalFiles();
    // Releases every slot buffer (sizes and statuses stay): closing the window.
    void ReleaseSlotBuffers();
    // From now on this engine counts its failed reads on its own, starting from none, so
    // that engines running side by side (one per device) do not add up each other's.
    void CountReadErrorsOnItsOwn() {
        m_nOwnReadErrors = 0;
        m_pReadErrors = &m_nOwnReadErrors;
    }

    CommPortProvider& m_ports;
    DialogServices& m_services;

private:
    // --- The steps ----------------------------------------------------------------------
    void SendCommandFrame(const std::string& text);
    void SendConnect();
    void AwaitConnect();
    // Picks the lowest pending slot and opens it; with none left, the load is over.
    void LoadNextSlot();
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
    // Ends the connection without a word to the device: the link may be gone.
    void DisconnectNow();
    // A malformed or oversized read answer ends whatever transfer was running.
    void OnCommandError();
    // A Read that ended with "Success Close": the saved file takes its name.
    void CompleteRead();
    // Reports `outcome` of `transaction` on m_nCurSlot to OnTransactionEnded.
    void ReportEnd(Transaction transaction, Outcome outcome);

    // --- Engine record ------------------------------------------------------------------
    int m_nState = STATE_CLOSED;
    std::unique_ptr<CommPort> m_hComm;  // null: no port open
    int m_nSequence = 0;
    // Received bytes not yet consumed, always followed by a NUL (the extra byte).
    std::array<char, RX_BUFFER_SIZE + 1> m_rxBuffer{};
    int m_nRxLength = 0;
    std::array<FileSlot, SLOT_COUNT> m_slots;
    int m_nCurSlot = -1;
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
    // Where this engine counts them: s_nReadErrors, or its own m_nOwnReadErrors.
    int* m_pReadErrors = &s_nReadErrors;
    int m_nOwnReadErrors = 0;

    // The port to open when the owner has no port list of its own (tests, benchmarks).
    PortChoice m_selectedPort;

    // Set by a Disconnect request, so that the disconnect step can tell it from one that
    // the receive pump forced because the port kept failing.
    bool m_bDisconnectRequested = false;
};
