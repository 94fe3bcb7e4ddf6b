// apply and restore: several writes and removals over one connection, each written slot
// read back from the device and compared byte for byte.

#include <QDir>
#include <optional>

#include "CommandContext.h"
#include "Commands.h"
#include "ProblemReport.h"
#include "session/ApplyPlan.h"
#include "session/JobChecks.h"
#include "session/Manifest.h"

namespace {

ApplyReport Planned(const QString& port, const std::vector<ApplyStep>& steps, bool verify,
                    std::vector<CredentialProblem> problems) {
    ApplyReport report;
    report.port = port;
    report.verify = verify;
    report.steps = steps;
    report.results.resize(steps.size());
    report.problems = std::move(problems);
    return report;
}

// Names each problem. With an error (and without --no-checks) the job is refused: every
// step is reported as not attempted, then the refusal.
std::optional<CommandResult> TellProblems(const CommandContext& context, const QString& port,
                                          const std::vector<ApplyStep>& steps, bool verify,
                                          const std::vector<CredentialProblem>& problems) {
    for (const CredentialProblem& problem : problems) context.Fail(CLI_OK, ProblemLine(problem));
    const int errors = ErrorCount(problems);
    if (errors == 0 || !context.options.checks) return std::nullopt;
    return CommandResult{
        CLI_CREDENTIALS, Planned(port, steps, verify, problems),
        QStringLiteral("nothing was written: %1 credential error(s) (--no-checks writes anyway)")
            .arg(errors)};
}

// What the journal records of a step that was attempted; `before` is the slot's copy from
// the device before the step, where it was loaded.
JournalSlot JournalOf(const ApplyStep& step, const StepResult& result,
                      const std::optional<QByteArray>& before, const CliSession& session) {
    JournalSlot entry;
    entry.slot = step.slot;
    entry.action = step.action == ApplyStep::Write ? QStringLiteral("write")
                                                   : QStringLiteral("remove");
    entry.file = step.file;
    entry.size = step.bytes.size();
    entry.before = before;
    entry.verified = result.verified;
    entry.done = result.status == StepStatus::Done;
    entry.reason = result.failure.message;
    // What the slot holds now: what was read back, else what the device confirmed storing.
    if (entry.done)
        entry.after = result.verified ? session.SlotCopy(step.slot)
                      : step.action == ApplyStep::Write ? step.bytes
                                                        : QByteArray();
    return entry;
}

}  // namespace

CommandResult RunApplySteps(const CommandContext& context, const std::vector<ApplyStep>& steps,
                            bool verify) {
    // What the job's files alone show is refused before the port is opened.
    const JobCredentials credentials = PlanCredentials(steps);
    if (context.options.checks) {
        const std::vector<CredentialProblem> early = CheckJobAlone(credentials);
        if (ErrorCount(early) > 0)
            return *TellProblems(context, context.options.port, steps, verify, early);
    }
    // The slots to be written are loaded for the question before overwriting them, and the
    // slots the job leaves alone for the credential checks that need them (none without
    // the checks).
    SlotSet needed = context.options.checks ? SlotsToLoad(credentials) : SlotSet();
    // The journal records what each changed slot held before.
    for (const ApplyStep& step : steps)
        if ((step.action == ApplyStep::Write && !context.options.yes) || context.journal)
            needed.set(static_cast<size_t>(step.slot));
    Connection connection(context);
    if (const int opened = connection.Open(needed); opened != CLI_OK) return Ended(opened);

    // Judged before the first frame that changes the device.
    const QString& port = connection.Port().location;
    if (context.options.checks) {
        if (const SessionResult loaded = LoadForChecks(credentials, connection.Session());
            !loaded.ok())
            return Ended(loaded.code, loaded.message);
    }
    std::vector<CredentialProblem> problems = CheckJob(credentials, connection.Session());
    if (std::optional<CommandResult> refused = TellProblems(context, port, steps, verify, problems))
        return std::move(*refused);
    ApplyReport report = Planned(port, steps, verify, std::move(problems));
    int code = CLI_OK;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (!connection.Usable() || (code != CLI_OK && !context.options.keepGoing)) break;
        connection.Dialogs().SetSubject(QStringLiteral("slot %1: ").arg(steps[i].slot));
        StepResult& result = report.results[i];
        CliSession& session = connection.Session();
        const std::optional<QByteArray> before =
            session.Loaded(steps[i].slot) ? std::optional(session.SlotCopy(steps[i].slot))
                                          : std::nullopt;
        result = RunApplyStep(session, steps[i], verify);
        if (context.journal && result.failure.code != CLI_CANCELLED)
            context.journal->Slot(JournalOf(steps[i], result, before, session));
        if (result.status == StepStatus::Failed) {
            context.Fail(CLI_OK, result.failure.message);
            if (code == CLI_OK) code = result.failure.code;
        }
    }
    return {code, std::move(report), {}};
}

CommandResult RunApplyCommand(const CommandContext& context) {
    std::vector<ApplyStep> steps;
    const SessionResult planned =
        context.options.arguments.isEmpty()
            ? PlanFromOptions(context.options.slotWrites, context.options.slotRemoves, steps)
            : PlanFromManifest(context.options.arguments.front(), context.options.exact, steps);
    if (!planned.ok()) return Ended(planned.code, planned.message);
    return RunApplySteps(context, steps, context.options.verify);
}

CommandResult RunRestoreCommand(const CommandContext& context) {
    const QString manifest =
        QDir(context.options.arguments.front()).filePath(QString::fromLatin1(MANIFEST_NAME));
    std::vector<ApplyStep> steps;
    if (const SessionResult planned = PlanFromManifest(manifest, context.options.exact, steps);
        !planned.ok())
        return Ended(planned.code, planned.message);
    return RunApplySteps(context, steps, true);
}
