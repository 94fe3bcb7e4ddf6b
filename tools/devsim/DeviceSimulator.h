#pragma once
// A simulated device on a pseudo-terminal. It speaks the device side of the line protocol
// (connect 0000, open 9330, read 9030, close 9430, write 9130, remove 9530), keeps fifteen
// slots in memory or in a folder, checks every frame the host sends and can misbehave on
// request. The host opens PortPath(); the owner calls Poll() whenever the master descriptor
// is readable and at least every 50 ms (split answers send their second half from Poll).
//
// Slot folder: one file per slot named slot00 ... slot14 holding the slot's raw bytes; a
// missing or empty file is an empty slot. With `persist` every stored write and every remove
// is written back (an emptied slot's file is deleted).
//
// Answers: "CMD:<code>,RES:OK|NG," plus "PALL:%04X,DATA:<hex>," for reads, then
// "SUM:%02X\r\n". Opening an empty slot for reading is refused; a write is kept in a staging
// buffer and stored in the slot when the slot is closed.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "LinePacer.h"

enum class FaultKind {
    RefuseOpen,    // open answers RES:NG
    BadChecksum,   // the answer's SUM is off by one
    SplitAnswer,   // the answer goes out in two writes, splitDelayMs apart
    Garbage,       // a line of noise with NUL bytes goes out before the answer
    OddData,       // a read answer's DATA loses its last digit
    LongData,      // a read answer's DATA carries more than 2048 digits
    NoAnswer,      // the command is not answered
    RefuseWrite,   // a write piece is answered RES:NG (and not stored)
    RefuseRemove,  // remove answers RES:NG (and keeps the slot)
    Vanish,        // the device disappears: its side of the pty is closed instead of answering
    CorruptStore,  // a write piece is answered RES:OK but kept with one byte changed
};

struct SimFault {
    FaultKind kind = FaultKind::NoAnswer;
    int command = -1;  // command code the fault applies to (9030 ...); -1: the kind's own
    int slot = -1;     // slot it applies to; -1: any
    int after = 0;     // matching answers that go out unharmed first
    int times = 1;     // answers it affects; -1: every one
    int seen = 0;      // bookkeeping: matching answers so far
};

struct SimOptions {
    enum class Content { Empty, Folder, Sample };
    Content content = Content::Empty;
    QString folder;          // slot files; with Sample the sample set is written there too
    bool persist = false;    // write changes back to `folder`
    int pieceSize = 1024;    // file bytes per read answer, 1 to 1024
    int splitDelayMs = 150;  // pause between the halves of a split answer
    int baud = 0;            // line rate: RATE/10 bytes a second each way (7E1); 0: unpaced
    std::vector<SimFault> faults;
    // Every frame received and sent and every error found; null keeps quiet.
    std::function<void(const QString&)> log;
};

class DeviceSimulator {
public:
    static constexpr int SLOT_COUNT = 15;
    static constexpr int SLOT_CAPACITY = 6144;
    static constexpr int MAX_PIECE = 1024;

    explicit DeviceSimulator(SimOptions options = {});
    ~DeviceSimulator();
    DeviceSimulator(const DeviceSimulator&) = delete;
    DeviceSimulator& operator=(const DeviceSimulator&) = delete;

    // Fills the slots (folder or sample set) and creates the pty. False with LastError().
    bool Open();
    QString PortPath() const { return m_portPath; }
    int MasterFd() const { return m_master; }
    // Reads what has arrived, answers every complete frame, sends what is due. Never blocks.
    void Poll();
    // True while part of an answer waits to be sent.
    bool HasPendingOutput() const { return !m_output.empty() || !m_onLine.empty(); }
    // Milliseconds until Poll has something to do that no incoming byte announces (the next
    // bytes of a paced or split answer, a frame that has crossed a paced line), at most
    // `longest`.
    int MillisecondsToNextWork(int longest) const;
    // Closes the device side (as the Vanish fault does).
    void Close();
    bool Vanished() const { return m_vanished; }

    const QByteArray& Slot(int slot) const { return m_slots.at(static_cast<size_t>(slot)); }
    void SetSlot(int slot, const QByteArray& data) { m_slots.at(static_cast<size_t>(slot)) = data; }

    int FramesReceived() const { return m_framesReceived; }
    int AnswersSent() const { return m_answersSent; }
    // One line per frame that broke the rules (format, checksum, CR LF, sequence count).
    const QStringList& FrameErrors() const { return m_frameErrors; }
    // Why Open() failed, or "PATH: reason" of the last slot file that could not be saved.
    QString LastError() const { return m_lastError; }

    static QString SlotFileName(int slot);  // "slot00" ... "slot14"
    // "kind[,cmd=9030][,slot=N][,after=N][,times=N|always]"; kinds: refuse-open,
    // bad-checksum, split, garbage, odd-data, long-data, no-answer, refuse-write,
    // refuse-remove, vanish, corrupt-store.
    static bool ParseFault(const QString& text, SimFault& fault, QString& error);
    // The answer frame for a body such as "CMD:9330,RES:OK,": body + "SUM:%02X\r\n".
    static std::string CompleteAnswer(const std::string& body);

private:
    using Clock = std::chrono::steady_clock;
    struct Segment {
        std::string bytes;
        Clock::time_point due;
    };

    bool LoadFolder();
    // Writes the slot's file whole (or deletes it when the slot is empty); false with
    // m_lastError set when that failed.
    bool SaveSlot(int slot);
    void HandleLine(const std::string& line);
    std::string Answer(int command, int pos, const std::string& data, int slot);
    bool Strikes(FaultKind kind, int command, int slot);
    void Send(std::string answer, int command, int slot);
    void Flush();
    void Log(const QString& text) const;
    void FrameError(const QString& reason, const std::string& line);

    SimOptions m_options;
    std::array<QByteArray, SLOT_COUNT> m_slots;
    int m_master = -1;
    int m_slaveKeepAlive = -1;  // keeps the line up between host connections
    QString m_portPath;
    bool m_vanished = false;

    // Received bytes; only the first ones that have crossed the line (m_inLine) count.
    std::string m_input;
    std::size_t m_inputTaken = 0;  // bytes of m_input handled and erased so far
    LinePacer m_inLine;
    // Answers not yet handed to the line (a split answer's second half waits), then bytes
    // on the line that are written to the pty as they cross it.
    std::deque<Segment> m_output;
    std::string m_onLine;
    std::size_t m_lineWritten = 0;
    LinePacer m_outLine;

    int m_openSlot = -1;
    bool m_openForRead = false;
    int m_readOffset = 0;
    QByteArray m_staging;

    int m_lastCount = -1;  // CNT of the last frame; -1 before the first
    int m_framesReceived = 0;
    int m_answersSent = 0;
    QStringList m_frameErrors;
    QString m_lastError;
};
