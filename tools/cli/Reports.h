#pragma once
// What each command of quillbank-cli found or did, as a value: the text printer and the JSON
// printer (Printers.h) render it. A report keeps the bytes it is about rather than their
// descriptions, so that each certificate is summarised where and as often as its rendering
// needs it (a summary writes the common names to the trace).

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <array>
#include <variant>
#include <vector>

#include "certs/Credential.h"
#include "certs/CredentialChecks.h"
#include "certs/LocalSlotFile.h"
#include "engine/SlotTable.h"
#include "link/DeviceDiscovery.h"
#include "session/ApplyPlan.h"
#include "session/CliExit.h"

// ports: every serial port, the device's marked.
struct PortsReport {
    std::vector<ComDeviceInfo> ports;
};

// A slot as the engine held it when the command ended.
struct HeldSlot {
    int status = SLOT_PENDING;
    int size = 0;
    QByteArray bytes;
};

// list: the fifteen slots; `complete` unless a malformed answer stopped the load.
struct ListReport {
    QString port;
    bool complete = true;
    std::array<HeldSlot, SLOT_COUNT> slots;
};

// read, write, remove: the one slot changed, or saved to a file.
struct SlotReport {
    enum Action { Saved, Written, Removed };
    Action action = Saved;
    int slot = -1;
    QString file;
    int size = 0;
};

// summary: each file as given, what it was read as, and how the files read pair up.
struct SummaryReport {
    struct File {
        QString path;
        SlotFileRead read;
    };
    std::vector<File> files;
    // The files that were read, in order: their names, credentials and partners.
    QStringList names;
    std::vector<Credential> credentials;
    std::vector<std::vector<size_t>> pairs;
    std::vector<CredentialProblem> problems;

    bool AnyCertificate() const;
    // The names of the items that item `i` pairs with.
    QStringList Partners(size_t i) const;
};

// apply, restore: every step with how it ended (not attempted when the job was refused).
struct ApplyReport {
    QString port;  // empty: no port was opened
    bool verify = true;
    std::vector<ApplyStep> steps;
    std::vector<StepResult> results;
    std::vector<CredentialProblem> problems;
};

// backup: the slots saved and the manifest that lists them.
struct BackupReport {
    struct Saved {
        int slot = -1;
        QString path;
        qsizetype size = 0;
    };
    QString port;
    QString folder;
    QString manifestPath;
    QJsonArray manifestSlots;  // the manifest's "slots", as written
    std::vector<Saved> saved;
};

// check: the slots' bytes, judged against `now` and `days`, and the device's problems.
struct CheckReport {
    QString port;
    int days = 30;
    bool complete = true;
    QDateTime now;
    std::array<QByteArray, SLOT_COUNT> copies;
    std::vector<CredentialProblem> problems;

    enum class Expiry { Expired, Expiring, Ok };  // expiring: within `days`
    struct Standing {
        Expiry expiry = Expiry::Ok;
        qint64 daysLeft = 0;  // whole days
    };
    Standing StandingOf(const QDateTime& expires) const;
};

using Report = std::variant<std::monostate, PortsReport, ListReport, SlotReport, SummaryReport,
                            ApplyReport, BackupReport, CheckReport>;

// How a command ended: its exit code, its report (none when there is nothing to show), and a
// last line for standard error once the report is out.
struct CommandResult {
    int code = CLI_OK;
    Report report;
    QString closing;
};

// The line a failed command is known by: its closing line, else its first failed step's
// reason; "" when neither says.
QString FailureReason(const CommandResult& result);

// A command that ends with `code` and nothing to show; `message` when not told already.
inline CommandResult Ended(int code, const QString& message = QString()) {
    return {code, std::monostate{}, message};
}
