#include "CliSession.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include "certs/InformationCell.h"
#include "certs/SummaryCommand.h"
#include "engine/SlotTable.h"
#include "support/Trace.h"

namespace {
using Clock = std::chrono::steady_clock;

const char kUsage[] =
    "usage: quillbank-cli [--port LOCATION] [--trace] [--yes] [--timeout S] COMMAND\n"
    "commands:\n"
    "  ports             list the serial ports; the device's are marked with *\n"
    "  list              connect and show the fifteen slots\n"
    "  read SLOT FILE    save slot SLOT (0-14) to FILE\n"
    "  write SLOT FILE   load FILE (at most 6144 bytes) into slot SLOT\n"
    "  remove SLOT       erase slot SLOT\n"
    "  summary FILE...   show what the slot list would show for local files\n"
    "options:\n"
    "  --port LOCATION   the port to open (default: the one matching device)\n"
    "  --trace           diagnostic trace on standard error\n"
    "  --yes             confirm overwriting and removing without asking\n"
    "  --timeout S       give up when the device makes no progress for S seconds "
    "(default 10)\n";

struct CliOptions {
    QString port;
    bool trace = false;
    bool yes = false;
    int timeoutSeconds = 10;
    QString command;
    QStringList arguments;
};

// Keeps every Trace message while a command runs; the diagnostic output goes to standard
// error with --trace and nowhere otherwise. Restores the previous sinks on exit.
class TraceRecorder {
public:
    TraceRecorder(QTextStream& err, bool show)
        : m_previousStandard(
              SetStandardOutputSink([this](const QString& text) { m_lines << text; })),
          m_previousDebug(SetDebugOutputSink([this, &err, show](const QString& text) {
              if (!show) return;
              err << m_debugLines(text);
              err.flush();
          })),
          m_err(err) {}
    ~TraceRecorder() {
        SetStandardOutputSink(m_previousStandard);
        SetDebugOutputSink(m_previousDebug);
        m_err << m_debugLines.Finish();
        m_err.flush();
    }
    TraceRecorder(const TraceRecorder&) = delete;
    TraceRecorder& operator=(const TraceRecorder&) = delete;

    qsizetype Mark() const { return m_lines.size(); }
    // True when a message since `mark` starts with `prefix`.
    bool SawSince(qsizetype mark, const char* prefix) const {
        for (qsizetype i = mark; i < m_lines.size(); ++i)
            if (m_lines[i].startsWith(QLatin1String(prefix))) return true;
        return false;
    }

private:
    QStringList m_lines;
    DebugTextLines m_debugLines;
    TextSink m_previousStandard;
    TextSink m_previousDebug;
    QTextStream& m_err;
};

bool ParseSlot(const QString& text, int& slot) {
    bool ok = false;
    slot = text.toInt(&ok);
    return ok && slot >= 0 && slot < SLOT_COUNT;
}

int Usage(QTextStream& err, const QString& problem) {
    if (!problem.isEmpty()) err << "quillbank-cli: " << problem << "\n";
    err << kUsage;
    return CLI_USAGE;
}

std::optional<int> ParseCommandLine(const QStringList& arguments, CliOptions& options,
                                    QTextStream& err) {
    QCommandLineParser parser;
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("LOCATION"));
    const QCommandLineOption trace(QStringLiteral("trace"), QString());
    const QCommandLineOption yes(QStringLiteral("yes"), QString());
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(), QStringLiteral("S"),
                                     QStringLiteral("10"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    parser.addOptions({port, trace, yes, timeout, help});
    if (!parser.parse(QStringList{QStringLiteral("quillbank-cli")} + arguments))
        return Usage(err, parser.errorText());
    if (parser.isSet(help)) {
        err << kUsage;
        return CLI_OK;
    }
    options.port = parser.value(port);
    options.trace = parser.isSet(trace);
    options.yes = parser.isSet(yes);
    bool ok = false;
    options.timeoutSeconds = parser.value(timeout).toInt(&ok);
    if (!ok || options.timeoutSeconds < 1) return Usage(err, QStringLiteral("--timeout needs a whole number of seconds"));
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) return Usage(err, QStringLiteral("no command given"));
    options.command = positional.takeFirst();
    options.arguments = positional;

    const QString& c = options.command;
    const qsizetype n = positional.size();
    int slot = 0;
    if (c == QLatin1String("ports") || c == QLatin1String("list")) {
        if (n != 0) return Usage(err, c + QStringLiteral(" takes no arguments"));
    } else if (c == QLatin1String("read") || c == QLatin1String("write")) {
        if (n != 2) return Usage(err, c + QStringLiteral(" needs SLOT and FILE"));
        if (!ParseSlot(positional[0], slot))
            return Usage(err, QStringLiteral("SLOT must be a number from 0 to 14"));
        if (positional[1].isEmpty()) return Usage(err, QStringLiteral("FILE must not be empty"));
    } else if (c == QLatin1String("remove")) {
        if (n != 1) return Usage(err, QStringLiteral("remove needs SLOT"));
        if (!ParseSlot(positional[0], slot))
            return Usage(err, QStringLiteral("SLOT must be a number from 0 to 14"));
    } else if (c != QLatin1String("summary")) {
        return Usage(err, QStringLiteral("unknown command '%1'").arg(c));
    }
    return std::nullopt;
}

class Runner {
public:
    Runner(QTextStream& out, QTextStream& err, const CliEnvironment& environment,
           const CliOptions& options)
        : m_out(out), m_err(err), m_env(environment), m_options(options) {}

    int Ports() {
        std::vector<ComDeviceInfo> devices;
        m_env.lister.EnumerateComDevices(devices);
        std::vector<ComDeviceInfo> device;
        for (const ComDeviceInfo& info : devices) {
            const bool matches = !MatchingPorts({info}).empty();
            m_out << (matches ? "* " : "  ") << info.portName << "\t" << info.location << "\t"
                  << info.friendlyName << "\t" << info.hardwareIds.join(u' ') << "\n";
        }
        if (devices.empty()) m_err << "quillbank-cli: no serial ports found\n";
        return CLI_OK;
    }

    // Connects, loads every slot, runs `command` (null for none) and disconnects.
    int Connected(const std::function<int(CliSession&, CliDialogs&, TraceRecorder&)>& command,
                  const QString& file) {
        PortChoice port;
        if (const int chosen = ChoosePort(port); chosen != CLI_OK) return chosen;

        TraceRecorder trace(m_err, m_options.trace);
        CliDialogs dialogs(m_err, file, m_options.yes, m_env.interactive);
        CliSession session(m_env.ports, dialogs, port);
        session.ResetEngineMembers();

        session.OnBnClickedConnect();
        int result = WaitForReady(session, "connecting and reading the slots");
        bool loadIncomplete = false;
        if (result == CLI_OK) {
            for (int slot = 0; slot < SLOT_COUNT; ++slot) {
                if (session.m_slots[static_cast<size_t>(slot)].nStatus == SLOT_PENDING) {
                    m_err << "quillbank-cli: the device's answer for slot " << slot
                          << " was malformed; slots " << slot << " to 14 were not read\n";
                    result = CLI_REFUSED;
                    loadIncomplete = true;
                    break;
                }
            }
        }
        // A list still shows what was read before a malformed answer stopped the load.
        const bool listAnyway = loadIncomplete && m_options.command == QLatin1String("list");
        if (command && (result == CLI_OK || listAnyway))
            result = std::max(result, command(session, dialogs, trace));
        if (session.IsPortOpen()) {
            session.OnBnClickedConnect();  // disconnect: the next step closes the port
            session.Tick();
        }
        session.CloseLocalFiles();
        m_out.flush();
        m_err.flush();
        return result;
    }

    int List(CliSession& session) {
        for (int slot = 0; slot < SLOT_COUNT; ++slot) {
            QString row = QStringLiteral("%1  %2  %3")
                              .arg(slot, 2)
                              .arg(SlotLabel(slot), -13)
                              .arg(InformationCellText(session, slot));
            while (row.endsWith(u' ')) row.chop(1);
            m_out << row << "\n";
        }
        return CLI_OK;
    }

    int Read(CliSession& session, CliDialogs& dialogs, TraceRecorder& trace, int slot,
             const QString& file) {
        Target(session, slot);
        const qsizetype mark = trace.Mark();
        session.OnBnClickedRead();
        if (session.m_nState != STATE_READ_SEND_OPEN) {
            if (dialogs.messages.contains(QStringLiteral("There is no data available to read.")))
                return CLI_EMPTY_SLOT;
            if (dialogs.declined) return CLI_CANCELLED;
            if (dialogs.fileProblem) return CLI_LOCAL_FILE;  // already told
            if (trace.SawSince(mark, "Failed open file")) {
                m_err << "quillbank-cli: cannot write " << file << "\n";
                return CLI_LOCAL_FILE;
            }
            m_err << "quillbank-cli: the read did not start\n";
            return CLI_REFUSED;
        }
        if (const int waited = WaitForReady(session, "reading the slot"); waited != CLI_OK)
            return waited;
        if (const int refused = Refusal(trace, mark, slot); refused != CLI_OK) return refused;
        // The engine does not examine its writes to the file (a full disk, a file size
        // limit, the file deleted meanwhile): check that the file holds what arrived. A
        // device file such as /dev/stdout has no size to compare.
        const int received = session.m_slots[static_cast<size_t>(slot)].nSize;
        const QFileInfo saved(session.m_strReadPath);
        if (!saved.exists() || (saved.isFile() && saved.size() != received)) {
            m_err << "quillbank-cli: " << file << " could not be written in full (" << received
                  << " bytes received)\n";
            return CLI_LOCAL_FILE;
        }
        m_out << "slot " << slot << " saved to " << file << " (" << received << " bytes)\n";
        return CLI_OK;
    }

    int Write(CliSession& session, CliDialogs& dialogs, TraceRecorder& trace, int slot,
              const QString& file) {
        Target(session, slot);
        const qsizetype mark = trace.Mark();
        session.OnBnClickedWrite();
        if (session.m_nState != STATE_WRITE_SEND_OPEN) {
            if (dialogs.declined) return CLI_CANCELLED;
            if (!dialogs.fileProblem && !dialogs.messages.contains(QStringLiteral(
                                            "The file size must be 6 KBytes or less.")))
                m_err << "quillbank-cli: cannot read " << file << "\n";
            return CLI_LOCAL_FILE;
        }
        if (const int waited = WaitForReady(session, "writing the slot"); waited != CLI_OK)
            return waited;
        if (const int refused = Refusal(trace, mark, slot); refused != CLI_OK) return refused;
        m_out << "slot " << slot << " written from " << file << " ("
              << session.m_slots[static_cast<size_t>(slot)].nSize << " bytes)\n";
        return CLI_OK;
    }

    int Remove(CliSession& session, CliDialogs& dialogs, TraceRecorder& trace, int slot) {
        Target(session, slot);
        const qsizetype mark = trace.Mark();
        session.OnBnClickedRemove();
        if (session.m_nState != STATE_REMOVE_SEND) return dialogs.declined ? CLI_CANCELLED : CLI_REFUSED;
        if (const int waited = WaitForReady(session, "removing the slot"); waited != CLI_OK)
            return waited;
        if (trace.SawSince(mark, "The remove command was not completed.")) {
            m_err << "quillbank-cli: the device did not remove slot " << slot << "\n";
            return CLI_REFUSED;
        }
        m_out << "slot " << slot << " removed\n";
        return CLI_OK;
    }

private:
    int ChoosePort(PortChoice& port) {
        if (!m_options.port.isEmpty()) {
            port.location = m_options.port;
            port.name = QFileInfo(m_options.port).fileName();
            return CLI_OK;
        }
        std::vector<ComDeviceInfo> devices;
        m_env.lister.EnumerateComDevices(devices);
        const std::vector<PortChoice> ports = MatchingPorts(devices);
        if (ports.empty()) {
            m_err << "quillbank-cli: no device found (looking for "
                  << QString::fromUtf16(DEVICE_HARDWARE_ID) << "); use --port to name a port\n";
            return CLI_NO_DEVICE;
        }
        if (ports.size() > 1) {
            m_err << "quillbank-cli: several devices found; choose one with --port:\n";
            for (const PortChoice& p : ports) m_err << "  " << p.location << "\n";
            return CLI_SEVERAL_DEVICES;
        }
        port = ports.front();
        return CLI_OK;
    }

    static void Target(CliSession& session, int slot) {
        session.m_nTargetListId = SlotListId(slot);
        session.m_nTargetRow = SlotRow(slot);
    }

    int Refusal(const TraceRecorder& trace, qsizetype mark, int slot) {
        const char* reason = nullptr;
        if (trace.SawSince(mark, "Failed Open file"))
            reason = "refused to open slot";
        else if (trace.SawSince(mark, "Failed Write("))
            reason = "refused a piece for slot";
        else if (trace.SawSince(mark, "Cmd error"))
            reason = "sent a malformed answer for slot";
        else if (trace.SawSince(mark, "Failed Close"))
            reason = "refused to close slot";
        if (reason == nullptr) return CLI_OK;
        m_err << "quillbank-cli: the device " << reason << " " << slot << "\n";
        return CLI_REFUSED;
    }

    // How far the running flow has come. The send and await states of a data loop count
    // as one step, so a device that keeps answering without moving any bytes (empty pieces
    // short of the announced total) is not taken for progress.
    struct Headway {
        int phase = 0;
        int slot = -1;
        int status = -1;
        int size = -1;
        long sourcePosition = -1;
        bool operator==(const Headway&) const = default;
    };
    static Headway HeadwayOf(const CliSession& session) {
        Headway h;
        switch (session.m_nState) {
            case STATE_LOAD_AWAIT_DATA:
                h.phase = STATE_LOAD_SEND_DATA;
                break;
            case STATE_READ_AWAIT_DATA:
                h.phase = STATE_READ_SEND_DATA;
                break;
            case STATE_WRITE_AWAIT_DATA:
                h.phase = STATE_WRITE_SEND_DATA;
                break;
            default:
                h.phase = session.m_nState;
                break;
        }
        h.slot = session.m_nCurSlot;
        if (h.slot >= 0 && h.slot < SLOT_COUNT) {
            const FileSlot& slot = session.m_slots[static_cast<size_t>(h.slot)];
            h.status = slot.nStatus;
            h.size = slot.nSize;
        }
        if (session.m_pWriteSource) h.sourcePosition = std::ftell(session.m_pWriteSource.get());
        return h;
    }

    // Ticks until the engine is idle again. Fails when the port is gone or when the flow
    // has not moved on for the time-out (the engine itself waits forever).
    int WaitForReady(CliSession& session, const char* what) {
        const auto limit = std::chrono::seconds(m_options.timeoutSeconds);
        auto lastProgress = Clock::now();
        Headway last = HeadwayOf(session);
        bool wasOpen = session.IsPortOpen();
        for (;;) {
            session.Tick();
            wasOpen = wasOpen || session.IsPortOpen();
            if (session.m_nState == STATE_READY && session.IsPortOpen()) return CLI_OK;
            if (session.m_nState == STATE_CLOSED && !session.IsPortOpen()) {
                if (!wasOpen) {
                    m_err << "quillbank-cli: cannot open " << session.SelectedPort().location << "\n";
                    return CLI_PORT_FAILED;
                }
                m_err << "quillbank-cli: the connection was lost while " << what << "\n";
                return CLI_CONNECTION_LOST;
            }
            if (const Headway now = HeadwayOf(session); !(now == last)) {
                last = now;
                lastProgress = Clock::now();
            } else if (Clock::now() - lastProgress >= limit) {
                m_err << "quillbank-cli: no progress from the device for "
                      << m_options.timeoutSeconds << " s while " << what << " ("
                      << EngineStateName(session.m_nState) << ")\n";
                return CLI_TIMEOUT;
            }
            if (m_env.tickMs > 0) QThread::msleep(static_cast<unsigned long>(m_env.tickMs));
        }
    }

    QTextStream& m_out;
    QTextStream& m_err;
    const CliEnvironment& m_env;
    const CliOptions& m_options;
};
}  // namespace

CliDialogs::CliDialogs(QTextStream& err, QString file, bool assumeYes, bool interactive)
    : m_err(err), m_file(std::move(file)), m_assumeYes(assumeYes), m_interactive(interactive) {}

bool CliDialogs::Confirm(const QString& question) {
    if (m_assumeYes) return true;
    if (!m_interactive) {
        m_err << question << "\nquillbank-cli: not confirmed; pass --yes to confirm\n";
        m_err.flush();
        declined = true;
        return false;
    }
    m_err << question << " [y/N] ";
    m_err.flush();
    QTextStream in(stdin);
    const QString answer = in.readLine().trimmed().toLower();
    const bool yes = answer == QLatin1String("y") || answer == QLatin1String("yes");
    declined = !yes;
    return yes;
}

int CliDialogs::ShowMessageBox(const QString& text, const QString&, unsigned type) {
    messages << text;
    if ((type & 0x0F) == MsgBox::OkCancel) return Confirm(text) ? MsgBox::IdOk : MsgBox::IdCancel;
    m_err << "quillbank-cli: " << text << "\n";
    m_err.flush();
    return MsgBox::IdOk;
}

bool CliDialogs::ChooseOpenFile(const QString&, const QString&, QString& path) {
    const QFileInfo info(m_file);
    if (!info.isFile()) {
        m_err << "quillbank-cli: " << m_file << (info.exists() ? ": not a file\n" : ": no such file\n");
        fileProblem = true;
        return false;
    }
    path = info.absoluteFilePath();
    return true;
}

bool CliDialogs::ChooseSaveFile(const QString&, const QString&, QString& path) {
    // The name is used as given: a script gets exactly the file it named.
    const QFileInfo info(m_file);
    if (info.isDir()) {
        m_err << "quillbank-cli: " << m_file << ": is a folder\n";
        fileProblem = true;
        return false;
    }
    if (info.exists() && !Confirm(m_file + QStringLiteral(" exists. Replace it?"))) return false;
    path = info.absoluteFilePath();
    return true;
}

void CliDialogs::OpenDocument(const QString& path) { m_err << path << "\n"; }

CliSession::CliSession(CommPortProvider& ports, DialogServices& services, PortChoice port)
    : CSlotEngine(ports, services), m_port(std::move(port)) {}

int RunCli(const QStringList& arguments, QTextStream& out, QTextStream& err,
           const CliEnvironment& environment) {
    CliOptions options;
    if (const std::optional<int> early = ParseCommandLine(arguments, options, err)) {
        err.flush();
        return *early;
    }
    Runner runner(out, err, environment, options);
    const QString& c = options.command;
    const QStringList& a = options.arguments;
    if (c == QLatin1String("ports")) return runner.Ports();
    if (c == QLatin1String("summary")) {
        // The common names also go to the debug output, which is shown with --trace only.
        const TraceRecorder trace(err, options.trace);
        const int code = RunSummaryCommand(a, out, err);
        out.flush();
        err.flush();
        if (code == SUMMARY_EXIT_USAGE) return CLI_USAGE;
        return code == SUMMARY_EXIT_OK ? CLI_OK : CLI_LOCAL_FILE;
    }
    if (c == QLatin1String("list"))
        return runner.Connected(
            [&](CliSession& s, CliDialogs&, TraceRecorder&) { return runner.List(s); }, QString());
    const int slot = a.front().toInt();
    if (c == QLatin1String("read"))
        return runner.Connected(
            [&](CliSession& s, CliDialogs& d, TraceRecorder& t) {
                return runner.Read(s, d, t, slot, a[1]);
            },
            a[1]);
    if (c == QLatin1String("write"))
        return runner.Connected(
            [&](CliSession& s, CliDialogs& d, TraceRecorder& t) {
                return runner.Write(s, d, t, slot, a[1]);
            },
            a[1]);
    return runner.Connected(
        [&](CliSession& s, CliDialogs& d, TraceRecorder& t) { return runner.Remove(s, d, t, slot); },
        QString());
}
