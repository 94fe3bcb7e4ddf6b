#pragma once
// What every command of quillbank-cli works with: its streams, environment and options,
// and a connection to the device made the same way for all of them.

#include <QString>
#include <QTextStream>
#include <memory>
#include <optional>

#include "CliDialogs.h"
#include "CliOptions.h"
#include "Journal.h"
#include "RunCli.h"
#include "session/CliSession.h"

class CommandContext {
public:
    CommandContext(QTextStream& output, QTextStream& errors, const CliEnvironment& env,
                   const CliOptions& given)
        : out(output), err(errors), environment(env), options(given) {}

    // Prints "quillbank-cli: <message>" on standard error (nothing for an empty message)
    // and returns `code`.
    int Fail(int code, const QString& message) const;
    // The port of --port, or of the one matching device.
    int ChoosePort(PortChoice& port) const;
    SessionPace Pace() const;
    // The USB serial number of the device at `port`, where the system knows it.
    QString SerialNumberOf(const PortChoice& port) const;

    QTextStream& out;
    QTextStream& err;
    const CliEnvironment& environment;
    const CliOptions& options;
    // Where the run's slot operations are recorded; null without --journal.
    DeviceJournal* journal = nullptr;
    // The device's serial number when the run has looked it up already (several devices).
    std::optional<QString> serialNumber;
};

// One connection to the device for a command: port chosen, dialogs set up.
// Disconnects when it ends.
class Connection {
public:
    explicit Connection(const CommandContext& context);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Chooses the port, connects and loads `needed`. CLI_OK, or the failure already told;
    // after a malformed answer in the load the session is still connected (Usable()).
    int Open(const SlotSet& needed);
    bool Usable() const {
        return m_session && m_session->IsIdle();
    }
    CliSession& Session() { return *m_session; }
    CliDialogs& Dialogs() { return m_dialogs; }
    const PortChoice& Port() const { return m_port; }

private:
    const CommandContext& m_context;
    CliDialogs m_dialogs;
    PortChoice m_port;
    std::unique_ptr<CliSession> m_session;
};

// Every slot, or none.
inline SlotSet AllSlots() {
    return SlotSet().set();
}
