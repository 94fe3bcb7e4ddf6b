#include "session/CliSession.h"

#include <QFileInfo>
#include <algorithm>

#include "certs/SlotCommands.h"
#include "session/PortFailure.h"

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

CliSession::CliSession(CommPortProvider& ports, SessionDialogs& dialogs, PortChoice port,
                       SessionPace pace, SessionStops stops)
    : CSlotEngine(ports, dialogs),
      m_portProvider(ports),
      m_dialogs(dialogs),
      m_port(std::move(port)),
      m_pace(pace),
      m_stops(std::move(stops)) {
    ResetEngineMembers();
    // Each session counts its failed reads on its own, as a program of its own would: the
    // sessions of several devices run side by side.
    CountReadErrorsOnItsOwn();
}

CliSession::~CliSession() {
    Disconnect();
}

SessionResult CliSession::Connect(const SlotSet& needed) {
    m_needed = needed;
    m_ends.clear();
    static_cast<void>(RequestConnect(needed));
    const SessionResult result = WaitUntilIdle(QStringLiteral("connecting and reading the slots"));
    if (!result.ok()) return result;
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        if (SlotStatus(slot) == SLOT_PENDING)
            return {CLI_REFUSED,
                    QStringLiteral("the device's answer for slot %1 was malformed; the "
                                   "slots from there on were not read")
                        .arg(slot)};
    }
    return {};
}

SessionResult CliSession::Load(int slot) {
    bool refusedOpen = false;
    const SessionResult read = ReadBack(slot, refusedOpen);
    if (!read.ok() && !refusedOpen) return read;
    m_needed.set(static_cast<size_t>(slot));
    return {};
}

bool CliSession::Loaded(int slot) const {
    return slot >= 0 && slot < SLOT_COUNT && m_needed.test(static_cast<size_t>(slot)) &&
           SlotStatus(slot) == SLOT_DONE;
}

QByteArray CliSession::SlotCopy(int slot) const {
    const std::span<const std::uint8_t> bytes = SlotBytes(slot);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

void CliSession::Target(int slot) {
    m_ends.clear();
    static_cast<void>(SelectSlot(slot));
}

SessionResult CliSession::Read(int slot, const QString& file) {
    Target(slot);
    if (!IsIdle()) return {CLI_LOCAL_FILE, QStringLiteral("cannot write ") + LocalFileError()};
    if (SlotSize(slot) == 0) {
        m_dialogs.Tell(QString::fromLatin1(NO_DATA_MESSAGE));
        return {CLI_EMPTY_SLOT, {}};
    }
    // The name is used as given: a script gets exactly the file it named.
    const QFileInfo info(file);
    if (info.isDir()) {
        m_dialogs.TellAboutFile(file, QStringLiteral("is a folder"));
        return {CLI_LOCAL_FILE, {}};
    }
    if (info.exists() && !m_dialogs.Confirm(file + QStringLiteral(" exists. Replace it?")))
        return {CLI_CANCELLED, {}};
    if (StartReadFile(slot, info.absoluteFilePath()) != StartRefusal::None)
        return {CLI_LOCAL_FILE, QStringLiteral("cannot write ") + LocalFileError()};
    return Complete(slot, QStringLiteral("reading the slot"),
                    {Transaction::Read, Transaction::Close});
}

SessionResult CliSession::Write(int slot, const QString& file) {
    Target(slot);
    if (!IsIdle()) return {CLI_LOCAL_FILE, QStringLiteral("cannot read ") + file};
    const bool asked = SlotSize(slot) != 0;
    if (asked && !m_dialogs.Confirm(QString::fromLatin1(OVERWRITE_QUESTION)))
        return {CLI_CANCELLED, {}};
    const QFileInfo info(file);
    if (!info.isFile()) {
        m_dialogs.TellAboutFile(file, info.exists() ? QStringLiteral("not a file")
                                                    : QStringLiteral("no such file"));
        return {CLI_LOCAL_FILE, {}};
    }
    switch (StartWriteFile(slot, info.absoluteFilePath())) {
        case StartRefusal::None:
            break;
        case StartRefusal::TooLarge:
            m_dialogs.Tell(QString::fromLatin1(TOO_LARGE_MESSAGE));
            return {CLI_LOCAL_FILE, {}};
        default:
            // After the overwrite question the line it printed stands for the failure.
            if (asked) return {CLI_LOCAL_FILE, {}};
            return {CLI_LOCAL_FILE, QStringLiteral("cannot read ") + file};
    }
    return Complete(slot, QStringLiteral("writing the slot"),
                    {Transaction::Write, Transaction::Close});
}

SessionResult CliSession::Remove(int slot) {
    Target(slot);
    if (!IsIdle()) return {CLI_REFUSED, {}};
    // An empty slot is asked about and removed too: the device's answer decides.
    if (!m_dialogs.Confirm(QString::fromLatin1(REMOVE_QUESTION))) return {CLI_CANCELLED, {}};
    if (StartRemove(slot) != StartRefusal::None) return {CLI_REFUSED, {}};
    return Complete(slot, QStringLiteral("removing the slot"), {Transaction::Remove});
}

SessionResult CliSession::ReadBack(int slot, bool& refusedOpen) {
    refusedOpen = false;
    Target(slot);
    // The pieces go to the copy only.
    if (StartReadBack(slot) != StartRefusal::None)
        return {CLI_REFUSED, QStringLiteral("the device is busy")};
    const SessionResult result = Complete(slot, QStringLiteral("reading the slot back"),
                                          {Transaction::Read, Transaction::Close});
    refusedOpen = !m_ends.empty() &&
                  m_ends.front() == TransactionEnd{Transaction::Open, Outcome::Refused, slot};
    return result;
}

void CliSession::Disconnect() {
    if (IsPortOpen()) {
        static_cast<void>(RequestDisconnect());
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
            return {CLI_LOCAL_FILE, QStringLiteral("cannot write ") + LocalFileError()};
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
            return {CLI_PORT_FAILED,
                    DescribePortFailure(m_port.location, m_portProvider.LastOpenError())};
    }
    return {CLI_CONNECTION_LOST, QStringLiteral("the connection was lost while ") + what};
}
