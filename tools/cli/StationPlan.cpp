#include "StationPlan.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <map>

#include "CommandContext.h"
#include "CommandTable.h"
#include "Commands.h"
#include "session/ApplyPlan.h"
#include "session/BackupNaming.h"
#include "session/Manifest.h"
#include "support/Folders.h"
#include "support/Text.h"

namespace {

int Fail(QTextStream& err, int code, const QString& message) {
    err << "quillbank-cli: " << message << "\n";
    err.flush();
    return code;
}

QString SerialAt(const std::vector<ComDeviceInfo>& listed, const QString& location) {
    for (const ComDeviceInfo& info : listed)
        if (info.location == location) return info.serialNumber;
    return {};
}

// Every device runs the same steps.
void RunEverywhere(std::vector<DeviceTask>& tasks, const std::vector<ApplyStep>& steps,
                   bool verify) {
    for (DeviceTask& task : tasks)
        task.run = [steps, verify](const CommandContext& context) {
            return RunApplySteps(context, steps, verify);
        };
}

int PlanApply(const CliOptions& options, QTextStream& err, std::vector<DeviceTask>& tasks) {
    std::vector<ApplyStep> steps;
    if (options.arguments.isEmpty()) {
        const SessionResult planned = PlanFromOptions(options.slotWrites, options.slotRemoves, steps);
        if (!planned.ok()) return Fail(err, planned.code, planned.message);
        RunEverywhere(tasks, steps, options.verify);
        return CLI_OK;
    }
    JobPlan plan;
    const QString manifest = options.arguments.front();
    if (const SessionResult planned = PlanJobFromManifest(manifest, options.exact, plan);
        !planned.ok())
        return Fail(err, planned.code, planned.message);
    if (!plan.perDevice) {
        RunEverywhere(tasks, plan.steps, options.verify);
        return CLI_OK;
    }
    std::vector<bool> taken(plan.devices.size(), false);
    for (DeviceTask& task : tasks) {
        const StationDevice& device = task.device;
        const auto named = std::find_if(plan.devices.begin(), plan.devices.end(),
                                        [&](const DevicePlan& p) {
                                            return p.serialNumber.isEmpty()
                                                       ? p.port == device.port.location
                                                       : p.serialNumber == device.serialNumber;
                                        });
        if (named == plan.devices.end()) {
            task.code = CLI_NOT_IN_JOB;
            task.reason = QStringLiteral("%1 does not name this device; it was left alone")
                              .arg(OneLine(manifest));
            continue;
        }
        taken[static_cast<size_t>(named - plan.devices.begin())] = true;
        task.run = [steps = named->steps, verify = options.verify](const CommandContext& c) {
            return RunApplySteps(c, steps, verify);
        };
    }
    for (size_t i = 0; i < plan.devices.size(); ++i) {
        if (taken[i]) continue;
        DeviceTask absent;
        absent.device.port.location = plan.devices[i].port;
        absent.device.port.name = QFileInfo(plan.devices[i].port).fileName();
        absent.device.serialNumber = plan.devices[i].serialNumber;
        absent.device.label = plan.devices[i].port.isEmpty()
                                  ? plan.devices[i].serialNumber
                                  : absent.device.port.name;
        absent.code = CLI_NOT_IN_JOB;
        absent.reason = QStringLiteral("named by the job, but not plugged in");
        tasks.push_back(std::move(absent));
    }
    return CLI_OK;
}

// Each device's folder inside a backup of several: named after its serial number, or else
// its port name.
QStringList FolderNames(const StationDevice& device) {
    QStringList names;
    if (!device.serialNumber.isEmpty()) names << SafeFileName(device.serialNumber);
    names << SafeFileName(device.label);
    return names;
}

int PlanBackup(const CliOptions& options, QTextStream& err, std::vector<DeviceTask>& tasks,
               QStringList& created) {
    const QString folder = options.arguments.front();
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        return Fail(err, CLI_LOCAL_FILE, folder + QStringLiteral(": not a folder"));
    std::map<QString, QString> owners;  // folder name -> its device's label
    for (DeviceTask& task : tasks) {
        const QString name = FolderNames(task.device).front();
        if (const auto [at, fresh] = owners.emplace(name, task.device.label); !fresh)
            return Fail(err, CLI_USAGE,
                        QStringLiteral("%1 and %2 would share the backup folder %3")
                            .arg(at->second, task.device.label, name));
        task.options.arguments = QStringList{QDir(folder).filePath(name)};
        task.run = RunBackupCommand;
    }
    // Made here, once: the devices' threads then only make their own folders inside.
    if (!info.exists()) {
        if (QString reason; !MakeFolders(folder, reason))
            return Fail(err, CLI_LOCAL_FILE,
                        QStringLiteral("cannot create the folder %1: %2").arg(folder, reason));
        created << folder;
    }
    return CLI_OK;
}

int PlanRestore(const CliOptions& options, QTextStream& err, std::vector<DeviceTask>& tasks) {
    const QDir folder(options.arguments.front());
    const QString manifestName = QString::fromLatin1(MANIFEST_NAME);
    std::vector<ApplyStep> steps;
    if (QFileInfo::exists(folder.filePath(manifestName))) {
        const SessionResult planned =
            PlanFromManifest(folder.filePath(manifestName), options.exact, steps);
        if (!planned.ok()) return Fail(err, planned.code, planned.message);
        RunEverywhere(tasks, steps, true);
        return CLI_OK;
    }
    // A backup of several: each device takes its own folder.
    bool any = false;
    for (DeviceTask& task : tasks) {
        const QStringList names = FolderNames(task.device);
        const auto found = std::find_if(names.begin(), names.end(), [&](const QString& name) {
            return QFileInfo::exists(folder.filePath(name + u'/' + manifestName));
        });
        if (found == names.end()) {
            task.code = CLI_NOT_IN_JOB;
            task.reason = QStringLiteral("no backup of this device in %1 (looked for %2)")
                              .arg(folder.path(), names.join(QStringLiteral(", ")));
            continue;
        }
        any = true;
        std::vector<ApplyStep> own;
        const SessionResult planned =
            PlanFromManifest(folder.filePath(*found + u'/' + manifestName), options.exact, own);
        if (!planned.ok()) return Fail(err, planned.code, planned.message);
        task.run = [own](const CommandContext& context) {
            return RunApplySteps(context, own, true);
        };
    }
    if (!any)
        return Fail(err, CLI_LOCAL_FILE,
                    QStringLiteral("%1: no %2 in it, nor in a folder named after one of the "
                                   "devices")
                        .arg(folder.path(), manifestName));
    return CLI_OK;
}

}  // namespace

bool PortOrder(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype si = i, sj = j;
            while (i < a.size() && a[i].isDigit()) ++i;
            while (j < b.size() && b[j].isDigit()) ++j;
            const qulonglong x = a.mid(si, i - si).toULongLong();
            const qulonglong y = b.mid(sj, j - sj).toULongLong();
            if (x != y) return x < y;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

int FindStationDevices(const CliOptions& options, const CliEnvironment& environment,
                       QTextStream& out, QTextStream& err, std::vector<StationDevice>& devices) {
    std::vector<ComDeviceInfo> listed;
    environment.lister.EnumerateComDevices(listed);
    if (options.all) {
        for (const PortChoice& port : MatchingPorts(listed)) {
            const bool seen = std::any_of(devices.begin(), devices.end(), [&](const auto& d) {
                return d.port.location == port.location;
            });
            if (!seen) devices.push_back({port, SerialAt(listed, port.location), {}});
        }
        if (devices.empty())
            return Fail(err, CLI_NO_DEVICE, QStringLiteral("no device found (looking for %1)")
                                                .arg(QString::fromUtf16(DEVICE_HARDWARE_ID)));
        std::sort(devices.begin(), devices.end(), [](const auto& a, const auto& b) {
            return PortOrder(a.port.location, b.port.location);
        });
    } else if (!options.ports.isEmpty()) {
        for (const QString& location : options.ports)
            devices.push_back({{QFileInfo(location).fileName(), location},
                               SerialAt(listed, location),
                               {}});
    } else {
        PortChoice port;
        const CommandContext context(out, err, environment, options);
        if (const int chosen = context.ChoosePort(port); chosen != CLI_OK) return chosen;
        devices.push_back({port, SerialAt(listed, port.location), {}});
    }
    // Lines start with the port's name under /dev (ttyACM0, pts/3: a pseudo-terminal's name
    // alone is a bare number); where two devices share one, with the location.
    const auto nameOf = [](const PortChoice& port) {
        return port.location.startsWith(QStringLiteral("/dev/")) ? port.location.mid(5)
                                                                 : port.name;
    };
    for (StationDevice& device : devices) {
        const QString name = nameOf(device.port);
        const auto same = std::count_if(devices.begin(), devices.end(),
                                        [&](const auto& d) { return nameOf(d.port) == name; });
        device.label = same > 1 || name.isEmpty() ? device.port.location : name;
    }
    return CLI_OK;
}

int PlanStation(const CliOptions& options, const std::vector<StationDevice>& devices,
                QTextStream& err, std::vector<DeviceTask>& tasks, QStringList& created) {
    tasks.clear();
    for (const StationDevice& device : devices) {
        DeviceTask task;
        task.device = device;
        task.options = options;
        task.options.port = device.port.location;
        task.options.ports = QStringList{device.port.location};
        task.options.all = false;
        tasks.push_back(std::move(task));
    }
    const QString& command = options.command;
    if (command == QLatin1String("apply")) return PlanApply(options, err, tasks);
    if (command == QLatin1String("backup")) return PlanBackup(options, err, tasks, created);
    if (command == QLatin1String("restore")) return PlanRestore(options, err, tasks);
    // list and check: the command as it is, on each device.
    const CommandRow* row = FindCommand(command);
    for (DeviceTask& task : tasks) task.run = row->run;
    return CLI_OK;
}
