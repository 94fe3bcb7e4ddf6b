#include "Station.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

#include "CommandContext.h"
#include "Journal.h"
#include "PrefixedLines.h"
#include "SlotJson.h"
#include "Printers.h"
#include "StationPlan.h"
#include "TraceRedirect.h"
#include "session/ApplyPlan.h"
#include "support/Text.h"

namespace {

// The shared provider opens each device's port; what went wrong with an open is kept for
// the device that asked, not for whichever opened last.
class OwnOpenErrors : public CommPortProvider {
public:
    OwnOpenErrors(CommPortProvider& shared, std::mutex& mutex) : m_shared(shared), m_mutex(mutex) {}
    std::unique_ptr<CommPort> Open(const QString& location) override {
        const std::lock_guard<std::mutex> guard(m_mutex);
        std::unique_ptr<CommPort> port = m_shared.Open(location);
        m_last = m_shared.LastOpenError();
        return port;
    }
    PortOpenError LastOpenError() const override { return m_last; }

private:
    CommPortProvider& m_shared;
    std::mutex& m_mutex;
    PortOpenError m_last;
};

// How one device's run ended.
struct DeviceEnd {
    int code = CLI_OK;
    QString reason;  // the line that says why it failed
    double seconds = 0;
    bool ran = false;
    std::optional<QJsonObject> document;
};

struct Shared {
    const CliOptions& options;
    const CliEnvironment& environment;
    SharedLines out;
    SharedLines err;
    std::mutex ports;
    AppendFile* journal;
};

DeviceEnd RunDevice(const DeviceTask& task, Shared& shared) {
    const QString prefix = task.device.label + QStringLiteral(": ");
    PrefixedLines outLines(shared.out, prefix), errLines(shared.err, prefix);
    errLines.KeepLast(QStringLiteral("quillbank-cli: "));
    QTextStream out(&outLines), err(&errLines);
    DeviceJournal journal(shared.journal, shared.options.command);
    journal.SetDevice(task.device.port.location, task.device.serialNumber);
    DeviceEnd end;
    if (!task.run) {
        end.code = task.code;
        end.reason = task.reason;
        err << "quillbank-cli: " << task.reason << "\n";
        journal.Run(end.code, end.reason, 0);
        return end;
    }
    const ThreadTrace trace(err);
    OwnOpenErrors ports(shared.environment.ports, shared.ports);
    // Eight devices asking on one terminal cannot be answered: questions need --yes.
    const CliEnvironment environment{ports, shared.environment.lister, shared.environment.tickMs,
                                     false};
    CommandContext context(out, err, environment, task.options);
    context.serialNumber = task.device.serialNumber;
    if (journal.Active()) context.journal = &journal;

    const auto start = std::chrono::steady_clock::now();
    const CommandResult result = task.run(context);
    if (shared.options.json)
        end.document = ReportJson(result.report, out, err);
    else
        PrintText(result.report, out, err);
    end.code = context.Fail(result.code, result.closing);
    end.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    end.ran = true;
    err.flush();
    // Else the last message the device's run told.
    if (end.code != CLI_OK) {
        end.reason = FailureReason(result);
        if (end.reason.isEmpty()) end.reason = errLines.Last();
    }
    journal.Run(end.code, end.reason, end.seconds);
    if (!journal.Error().isEmpty()) {
        context.Fail(CLI_OK, QStringLiteral("cannot write the journal ") + journal.Error());
        if (end.code == CLI_OK) {
            end.code = CLI_LOCAL_FILE;
            end.reason = QStringLiteral("cannot write the journal ") + journal.Error();
        }
    }
    out.flush();
    err.flush();
    return end;
}

QString Seconds(const DeviceEnd& end) {
    return end.ran ? QStringLiteral("%1 s").arg(end.seconds, 0, 'f', 1) : QStringLiteral("-");
}

QString Outcome(const DeviceEnd& end) {
    return end.code == CLI_OK ? QStringLiteral("done")
                              : QStringLiteral("failed (%1)").arg(end.code);
}

void PrintTable(const std::vector<DeviceTask>& tasks, const std::vector<DeviceEnd>& ends,
                QTextStream& out) {
    std::vector<QStringList> rows{
        {QStringLiteral("port"), QStringLiteral("serial number"), QStringLiteral("outcome"),
         QStringLiteral("time"), QString()}};
    for (size_t i = 0; i < tasks.size(); ++i) {
        const StationDevice& device = tasks[i].device;
        rows.push_back({device.port.location.isEmpty() ? QStringLiteral("-") : device.label,
                        device.serialNumber.isEmpty() ? QStringLiteral("-") : device.serialNumber,
                        Outcome(ends[i]), Seconds(ends[i]), OneLine(ends[i].reason)});
    }
    std::vector<qsizetype> widths(4, 0);
    for (const QStringList& row : rows)
        for (size_t c = 0; c < widths.size(); ++c)
            widths[c] = std::max(widths[c], row[static_cast<qsizetype>(c)].size());
    for (const QStringList& row : rows) {
        QString line;
        for (size_t c = 0; c < widths.size(); ++c)
            line += row[static_cast<qsizetype>(c)].leftJustified(widths[c]) + QStringLiteral("  ");
        line += row[4];
        out << line.trimmed() << "\n";
    }
}

void PrintDevicesJson(const std::vector<DeviceTask>& tasks, const std::vector<DeviceEnd>& ends,
                      QTextStream& out) {
    QJsonArray devices;
    for (size_t i = 0; i < tasks.size(); ++i) {
        QJsonObject item = ends[i].document.value_or(QJsonObject());
        item.insert(QStringLiteral("port"), TextOrNull(tasks[i].device.port.location));
        item.insert(QStringLiteral("serialNumber"), TextOrNull(tasks[i].device.serialNumber));
        item.insert(QStringLiteral("exitCode"), ends[i].code);
        item.insert(QStringLiteral("error"), TextOrNull(ends[i].reason));
        item.insert(QStringLiteral("seconds"),
                    ends[i].ran ? QJsonValue(qRound64(ends[i].seconds * 1000) / 1000.0)
                                : QJsonValue(QJsonValue::Null));
        devices.append(item);
    }
    out << QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("devices"), devices}})
                                 .toJson(QJsonDocument::Indented));
}

}  // namespace

bool RunsAsStation(const CliOptions& options) {
    if (SeveralDevices(options)) return true;
    return options.command == QLatin1String("apply") && !options.arguments.isEmpty() &&
           ManifestMapsDevices(options.arguments.front());
}

int RunStation(const CliOptions& options, QTextStream& out, QTextStream& err,
               const CliEnvironment& environment, AppendFile* journal) {
    std::vector<StationDevice> devices;
    if (const int found = FindStationDevices(options, environment, out, err, devices);
        found != CLI_OK)
        return found;
    std::vector<DeviceTask> tasks;
    QStringList created;
    if (const int planned = PlanStation(options, devices, err, tasks, created); planned != CLI_OK)
        return planned;

    Shared shared{options, environment, SharedLines(out), SharedLines(err), {}, journal};
    std::vector<DeviceEnd> ends(tasks.size());
    {
        std::vector<std::jthread> threads;
        threads.reserve(tasks.size());
        for (size_t i = 0; i < tasks.size(); ++i)
            threads.emplace_back([&, i] { ends[i] = RunDevice(tasks[i], shared); });
    }
    // A backup of several that saved nothing leaves no empty folder behind.
    for (const QString& folder : created) QDir().rmdir(folder);

    if (options.json)
        PrintDevicesJson(tasks, ends, out);
    else
        PrintTable(tasks, ends, out);
    out.flush();
    for (const DeviceEnd& end : ends)
        if (end.code != CLI_OK) return end.code;
    return CLI_OK;
}
