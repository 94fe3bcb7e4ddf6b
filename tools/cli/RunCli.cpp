// The in-process entry point of quillbank-cli: parse, check, dispatch.

#include "RunCli.h"

#include "CliOptions.h"
#include "CommandContext.h"
#include "CommandTable.h"
#include "Printers.h"
#include "StopSignals.h"
#include "TraceRedirect.h"

int RunCli(const QStringList& arguments, QTextStream& out, QTextStream& err,
           const CliEnvironment& environment) {
    CliOptions options;
    if (const std::optional<int> early = ParseCliOptions(arguments, options, out, err)) {
        out.flush();
        err.flush();
        return *early;
    }
    const CommandContext context(out, err, environment, options);
    int code = CLI_OK;
    {
        // The trace (and the common names a summary writes to the debug output) reaches
        // standard error with --trace only; standard output carries the command's result.
        const TraceRedirect trace(err, options.trace);
        if (StopSignal() == 0) {
            // ParseCliOptions has found the command in the table.
            const CommandResult result = FindCommand(options.command)->run(context);
            (options.json ? PrintJson : PrintText)(result.report, out, err);
            code = context.Fail(result.code, result.closing);
        }
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
