#include "CliSession.h"

#include <algorithm>

#include "PortFailure.h"

namespace {
// A failed transaction as an exit code and a line; CLI_OK for anything else.
SessionResult Failure(const TransactionEnd& end) {
    const QString slot = QString::number(end.slot);
    switch (end.outcome) {
        case Outcome::Done:
            return {};
        case Outcome::Refused:
            switch (end.transaction) {
                case Transaction::Open:
                    return {CLI_REFUSED, QStringLiteral("the device refused to open slot ") + slot};
                case Transaction::Write:
                    return {CLI_REFUSED,
                            QStringLiteral("the device refused a piece for slot ") + slot};
                case Transaction::Close:
                    return {CLI_REFUSED,
                            QStringLiteral("the device refused to close slot ") + slot};
                case Transaction::Remove:
                    return {CLI_REFUSED, QStringLiteral("the device did not remove slot ") + slot};
                default:
                    return {CLI_REFUSED,
                            QStringLiteral("the device refused a request for slot ") + slot};
            }
        case Outcome::Malformed:
            return {CLI_REFUSED,
                    QStringLiteral("the device sent a malformed answer for slot ") + slot};
        case Outcome::LocalFileError:
            return {CLI_LOCAL_FILE,
                    QStringLiteral("the local file could not be read while slot %1 was written")
                        .arg(slot)};
        case Outcome::PortFailed:
            return {CLI_PORT_FAILED, QStringLiteral("the port failed")};
        case Outcome::ConnectionLost:
            return {CLI_CONNECTION_LOST, QStringLiteral("the connection was lost")};
    }
    return {};
}
}  // namespace

CliSession::CliSession(CommPortProvider& ports, CliDialogs& dialogs, PortChoice port,
                       SessionPace pace)
    : CSlotEngine(ports, dialogs), m_dialogs(dialogs), m_commands(*this, dialogs), m_port(std::move(port)), m_pace(pace) {
    ResetEngineMembers();
    // Each session counts failed reads afresh, as a program of its own would.
    s_nReadErrors = 0;
}

CliSession::~CliSession() {
    Disconnect();
}

SessionResult CliSession::Connect(const SlotSet& needed) {
    m_needed = needed;
    for (int slot = 0; slot < SLOT_COUNT; ++slot)
        if (!needed.test(static_cast<size_t>(slot)))
            m_slots[static_cast<size_t>(slot)].nStatus = SLOT_DONE;
    m_ends.clear();
    m_commands.OnBnClickedConnect();
    const SessionResult result = WaitUntilIdle(QStringLiteral("connecting and reading the slots"));
    if (!result.ok()) return result;
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        if (m_slots[static_cast<size_t>(slot)].nStatus == SLOT_PENDING)
            return {CLI_REFUSED,
                    QStringLiteral("the device's answer for slot %1 was malformed; the "
                                   "slots from there on were not read")
                        .arg(slot)};
    }
    return {};
}

bool CliSession::Loaded(int slot) const {
    return slot >= 0 && slot < SLOT_COUNT && m_needed.test(static_cast<size_t>(slot)) &&
           m_slots[static_cast<size_t>(slot)].nStatus == SLOT_DONE;
}

QByteArray CliSession::SlotBytes(int slot) const {
    const FileSlot& copy = m_slots.at(static_cast<size_t>(slot));
    if (!copy.pData) return {};
    return QByteArray(reinterpret_cast<const char*>(copy.pData.get()), copy.nSize);
}

void CliSession::Target(int slot) {
    m_commands.m_nTargetListId = SlotListId(slot);
    m_commands.m_nTargetRow = SlotRow(slot);
    m_dialogs.Reset();
    m_ends.clear();
}

SessionResult CliSession::Read(int slot) {
    Target(slot);
    m_commands.OnBnClickedRead();
    if (m_nState != STATE_READ_SEND_OPEN) {
        if (m_slots[static_cast<size_t>(slot)].nSize == 0) return {CLI_EMPTY_SLOT, {}};  // told
        if (m_dialogs.declined) return {CLI_CANCELLED, {}};
        if (m_dialogs.fileProblem) return {CLI_LOCAL_FILE, {}};
        return {CLI_LOCAL_FILE, QStringLiteral("cannot write ") + m_strLocalFileError};
    }
    return Complete(slot, QStringLiteral("reading the slot"),
                    {Transaction::Read, Transaction::Close});
}

SessionResult CliSession::Write(int slot) {
    Target(slot);
    m_commands.OnBnClickedWrite();
    if (m_nState != STATE_WRITE_SEND_OPEN) {
        if (m_dialogs.declined) return {CLI_CANCELLED, {}};
        if (m_dialogs.fileProblem || !m_dialogs.messages.isEmpty()) return {CLI_LOCAL_FILE, {}};
        return {CLI_LOCAL_FILE, QStringLiteral("cannot read ") + m_dialogs.File()};
    }
    return Complete(slot, QStringLiteral("writing the slot"),
                    {Transaction::Write, Transaction::Close});
}

SessionResult CliSession::Remove(int slot) {
    Target(slot);
    m_commands.OnBnClickedRemove();
    if (m_nState != STATE_REMOVE_SEND)
        return {m_dialogs.declined ? CLI_CANCELLED : CLI_REFUSED, {}};
    return Complete(slot, QStringLiteral("removing the slot"), {Transaction::Remove});
}

SessionResult CliSession::ReadBack(int slot, bool& refusedOpen) {
    refusedOpen = false;
    if (m_nState != STATE_READY || !IsPortOpen())
        return {CLI_REFUSED, QStringLiteral("the device is busy")};
    Target(slot);
    // What the Read command prepares, without a local file: the pieces go to the copy only.
    static_cast<void>(StartReadBack(slot));
    const SessionResult result = Complete(slot, QStringLiteral("reading the slot back"),
                                          {Transaction::Read, Transaction::Close});
    refusedOpen = !m_ends.empty() &&
                  m_ends.front() == TransactionEnd{Transaction::Open, Outcome::Refused, slot};
    return result;
}

void CliSession::Disconnect() {
    if (IsPortOpen()) {
        m_commands.OnBnClickedConnect();
        StepEngine();
    }
    CloseLocalFiles();
}

SessionResult CliSession::Complete(int slot, const QString& what,
                                   std::initializer_list<Transaction> completion) {
    if (SessionResult waited = WaitUntilIdle(what); !waited.ok()) return waited;
    return Verdict(slot, completion);
}

SessionResult CliSession::Verdict(int slot, std::initializer_list<Transaction> completion) const {
    for (const TransactionEnd& end : m_ends) {
        // The device completed the Read; the file it was saved into failed.
        if (end == TransactionEnd{Transaction::Read, Outcome::LocalFileError, slot})
            return {CLI_LOCAL_FILE, QStringLiteral("cannot write ") + m_strLocalFileError};
        if (SessionResult failed = Failure(end); !failed.ok()) return failed;
    }
    for (const Transaction step : completion) {
        const TransactionEnd done{step, Outcome::Done, slot};
        if (std::find(m_ends.begin(), m_ends.end(), done) == m_ends.end())
            return {CLI_REFUSED,
                    QStringLiteral("the device did not confirm the request for slot %1").arg(slot)};
    }
    return {};
}

SessionResult CliSession::Closed(const QString& what) const {
    for (const TransactionEnd& end : m_ends) {
        if (end.outcome == Outcome::PortFailed)
            return {CLI_PORT_FAILED, DescribePortFailure(m_port.location, m_ports.LastOpenError())};
    }
    return {CLI_CONNECTION_LOST, QStringLiteral("the connection was lost while ") + what};
}
