// The in-process entry point of quillbank-cli: parse, check, dispatch.

#include "RunCli.h"

#include <chrono>

#include "CliOptions.h"
#include "CommandContext.h"
#include "CommandTable.h"
#include "Journal.h"
#include "Printers.h"
#include "Station.h"
#include "StopSignals.h"
#include "TraceRedirect.h"
#include "support/AppendFile.h"

namespace {
// One device, as the command line has always run it.
int RunOne(CommandContext& context, AppendFile* journalFile) {
    const CliOptions& options = context.options;
    DeviceJournal journal(journalFile, options.command);
    if (journal.Active()) context.journal = &journal;
    const auto start = std::chrono::steady_clock::now();
    // ParseCliOptions has found the command in the table.
    const CommandResult result = FindCommand(options.command)->run(context);
    (options.json ? PrintJson : PrintText)(result.report, context.out, context.err);
    int code = context.Fail(result.code, result.closing);
    if (!journal.Active()) return code;
    journal.Run(code, code == CLI_OK ? QString() : FailureReason(result),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (!journal.Error().isEmpty()) {
        context.Fail(CLI_OK, QStringLiteral("cannot write the journal ") + journal.Error());
        if (code == CLI_OK) code = CLI_LOCAL_FILE;
    }
    return code;
}
}  // namespace

int RunCli(const QStringList& arguments, QTextStream& out, QTextStream& err,
           const CliEnvironment& environment) {
    CliOptions options;
    if (const std::optional<int> early = ParseCliOptions(arguments, options, out, err)) {
        out.flush();
        err.flush();
        return *early;
    }
    CommandContext context(out, err, environment, options);
    // Opened before anything else: a run that cannot keep its record does not start.
    AppendFile journal;
    if (QString error; !options.journal.isEmpty() && !journal.Open(options.journal, error))
        return context.Fail(CLI_LOCAL_FILE, QStringLiteral("cannot open the journal ") + error);
    AppendFile* journalFile = journal.IsOpen() ? &journal : nullptr;
    int code = CLI_OK;
    {
        // The trace (and the common names a summary writes to the debug output) reaches
        // standard error with --trace only; standard output carries the command's result.
        const TraceRedirect trace(err, options.trace);
        if (StopSignal() == 0)
            code = RunsAsStation(options) ? RunStation(options, out, err, environment, journalFile)
                                          : RunOne(context, journalFile);
    }
    // A stop outside the session (input checks, a question, local files) is told here; one
    // that ended a session the command has told already.
    if (const int signo = StopSignal(); signo != 0 && code != StopExitCode(signo)) {
        err << "quillbank-cli: " << StopMessage(signo) << "\n";
        code = StopExitCode(signo);
    }
    out.flush();
    err.flush();
    return code;
}
