#pragma once
// Everything a command is given is checked before the port is opened: slot numbers, files,
// manifests. A bad input is named on standard error and nothing is sent to the device.

#include <QByteArray>
#include <QString>
#include <vector>

class CommandContext;

// One operation of an apply, in the order they run (ascending slot).
struct ApplyStep {
    enum Action { Write, Remove };
    int slot = -1;
    Action action = Write;
    QString file;      // as the command line or the manifest names it
    QString path;      // where it is read from
    QByteArray bytes;  // its content when it was checked
};

// `path` must be a regular file of at most 6144 bytes that can be read. CLI_OK with its
// bytes, or CLI_LOCAL_FILE after naming the problem (`name` is how the user named it).
int CheckSlotFile(const CommandContext& context, const QString& path, QByteArray& bytes,
                  const QString& name = QString());

// The steps of --slot N=FILE and --remove N. CLI_USAGE for a bad or repeated slot,
// CLI_LOCAL_FILE for a file that cannot be used.
int PlanFromOptions(const CommandContext& context, std::vector<ApplyStep>& steps);

// The steps of a manifest; its empty slots are removed only when `exact`. CLI_USAGE for a
// manifest that is not valid, CLI_LOCAL_FILE for one or a file that cannot be read or does
// not match its size or SHA-256.
int PlanFromManifest(const CommandContext& context, const QString& manifestPath, bool exact,
                     std::vector<ApplyStep>& steps);
