#pragma once
// What a run of several devices does on each: which devices take part, and for each the
// command it runs with its own port and arguments, or why it is left alone. Everything here
// is decided, and every input checked, before any port is opened.

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <vector>

#include "CliOptions.h"
#include "Reports.h"
#include "RunCli.h"

class CommandContext;

struct StationDevice {
    PortChoice port;
    QString serialNumber;  // "" where the system does not know it
    QString label;         // what its lines start with: its port name (ttyACM0, pts/3)
};

// One device's part of the run.
struct DeviceTask {
    StationDevice device;
    CliOptions options;  // the run's, with this device's port and arguments
    // The command, or empty when the device is left alone: then `code` and `reason` say why.
    std::function<CommandResult(const CommandContext&)> run;
    int code = 0;
    QString reason;
};

// The devices of the run: every --port in the order given, or with --all every matching
// device plugged in, in port order (or, for a manifest that maps devices, the one matching
// device). CLI_OK, or the exit code of the failure told on `err`.
int FindStationDevices(const CliOptions& options, const CliEnvironment& environment,
                       QTextStream& out, QTextStream& err, std::vector<StationDevice>& devices);

// Each device's task, and a task for each device the job names that is not among
// `devices`. A folder the run creates for a backup of several is added to `created`.
// CLI_OK, or the exit code of the bad input told on `err` (then no device is touched).
int PlanStation(const CliOptions& options, const std::vector<StationDevice>& devices,
                QTextStream& err, std::vector<DeviceTask>& tasks, QStringList& created);

// Whether location `a` comes before `b`: text in order, runs of digits by their value
// (ttyACM2 before ttyACM10).
bool PortOrder(const QString& a, const QString& b);
