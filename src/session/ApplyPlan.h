#pragma once
// The plan of an apply or a restore: its writes and removals, checked before the port is
// opened (slot numbers, files, manifests), and each run over the session with its written
// slot read back and compared. A bad input is a result that names it, and nothing is sent
// to the device.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

#include "session/CliSession.h"

// One operation of an apply, in the order they run (ascending slot).
struct ApplyStep {
    enum Action { Write, Remove };
    int slot = -1;
    Action action = Write;
    QString file;      // as the command line or the manifest names it
    QString path;      // where it is read from
    QByteArray bytes;  // its content when it was checked
};

// A slot number: a whole number from 0 to 14.
bool ParseSlotNumber(const QString& text, int& slot);

// `path` must be a regular file of at most 6144 bytes that can be read. Ok with its bytes,
// or CLI_LOCAL_FILE naming the problem (`name` is how the user named it).
SessionResult CheckSlotFile(const QString& path, QByteArray& bytes,
                            const QString& name = QString());

// The steps of --slot N=FILE (`writes`) and --remove N (`removes`). CLI_USAGE for a bad or
// repeated slot, CLI_LOCAL_FILE for a file that cannot be used.
SessionResult PlanFromOptions(const QStringList& writes, const QStringList& removes,
                              std::vector<ApplyStep>& steps);

// The steps of a manifest; its empty slots are removed only when `exact`. CLI_USAGE for a
// manifest that is not valid, CLI_LOCAL_FILE for one or a file that cannot be read or does
// not match its size or SHA-256; CLI_USAGE too for one that maps devices.
SessionResult PlanFromManifest(const QString& manifestPath, bool exact,
                               std::vector<ApplyStep>& steps);

// The steps of each device of a manifest that gives devices their own slots.
struct DevicePlan {
    QString serialNumber;  // empty: the device is named by its port
    QString port;
    std::vector<ApplyStep> steps;
};

struct JobPlan {
    bool perDevice = false;
    std::vector<ApplyStep> steps;     // a manifest of slots
    std::vector<DevicePlan> devices;  // one that maps devices
};

// The steps of a manifest of either form, checked as PlanFromManifest checks them.
SessionResult PlanJobFromManifest(const QString& manifestPath, bool exact, JobPlan& plan);
// True when the manifest at `manifestPath` is valid and maps devices to their own slots.
bool ManifestMapsDevices(const QString& manifestPath);

enum class StepStatus { NotAttempted, Done, Failed };

struct StepResult {
    StepStatus status = StepStatus::NotAttempted;
    bool verified = false;
    SessionResult failure;
};

// Runs one step over the connected session; a written slot is read back and compared with
// the file when `verify`.
StepResult RunApplyStep(CliSession& session, const ApplyStep& step, bool verify);
