// apply and restore: several writes and removals over one connection, each written slot
// read back from the device and compared byte for byte.

#include <QDir>
#include <QJsonArray>

#include "CommandContext.h"
#include "Commands.h"
#include "ProblemReport.h"
#include "SlotJson.h"
#include "certs/SlotFacts.h"
#include "session/ApplyPlan.h"
#include "session/JobChecks.h"
#include "session/Manifest.h"
#include "support/Text.h"

namespace {

const char* StatusText(StepStatus status) {
    switch (status) {
        case StepStatus::Done:
            return "done";
        case StepStatus::Failed:
            return "failed";
        case StepStatus::NotAttempted:
            break;
    }
    return "not attempted";
}

void Report(const CommandContext& context, const QString& port, const std::vector<ApplyStep>& steps,
            const std::vector<StepResult>& results, bool verify,
            const std::vector<CredentialProblem>& problems) {
    if (context.options.json) {
        QJsonArray slots;
        for (size_t i = 0; i < steps.size(); ++i) {
            const ApplyStep& step = steps[i];
            const StepResult& result = results[i];
            QJsonObject object =
                step.action == ApplyStep::Write ? BytesJson(step.bytes) : QJsonObject();
            object.insert(QStringLiteral("slot"), step.slot);
            object.insert(QStringLiteral("label"), SlotLabel(step.slot));
            object.insert(QStringLiteral("action"), step.action == ApplyStep::Write
                                                        ? QStringLiteral("write")
                                                        : QStringLiteral("remove"));
            if (step.action == ApplyStep::Write) object.insert(QStringLiteral("file"), step.file);
            object.insert(QStringLiteral("status"), QString::fromLatin1(StatusText(result.status)));
            object.insert(QStringLiteral("verified"), result.verified);
            object.insert(QStringLiteral("error"), TextOrNull(result.failure.message));
            slots.append(object);
        }
        context.PrintJson({{QStringLiteral("port"), TextOrNull(port)},
                           {QStringLiteral("verify"), verify},
                           {QStringLiteral("slots"), slots},
                           {QStringLiteral("problems"), ProblemsJson(problems)}});
        return;
    }
    for (size_t i = 0; i < steps.size(); ++i) {
        const ApplyStep& step = steps[i];
        const StepResult& result = results[i];
        context.out << QStringLiteral("%1  ").arg(step.slot, 2);
        if (step.action == ApplyStep::Write)
            context.out << "write  " << OneLine(step.file) << " (" << step.bytes.size()
                        << " bytes, sha256 " << Sha256Hex(step.bytes) << "): ";
        else
            context.out << "remove: ";
        context.out << StatusText(result.status);
        if (result.verified) context.out << ", verified";
        if (result.status == StepStatus::Failed && !result.failure.message.isEmpty())
            context.out << " (" << result.failure.message << ")";
        context.out << "\n";
    }
}

// Names each problem; with an error (and without --no-checks) reports every step as not
// attempted and gives the code that refuses the job.
int TellProblems(const CommandContext& context, const QString& port,
                 const std::vector<ApplyStep>& steps, bool verify,
                 const std::vector<CredentialProblem>& problems) {
    for (const CredentialProblem& problem : problems) context.Fail(CLI_OK, ProblemLine(problem));
    const int errors = ErrorCount(problems);
    if (errors == 0 || !context.options.checks) return CLI_OK;
    Report(context, port, steps, std::vector<StepResult>(steps.size()), verify, problems);
    return context.Fail(
        CLI_CREDENTIALS,
        QStringLiteral("nothing was written: %1 credential error(s) (--no-checks writes anyway)")
            .arg(errors));
}

// Runs the checked steps in order; on the first failure the rest are not attempted unless
// --keep-going (and never once the connection is gone).
int RunSteps(const CommandContext& context, const std::vector<ApplyStep>& steps, bool verify) {
    // What the job's files alone show is refused before the port is opened.
    const JobCredentials credentials = PlanCredentials(steps);
    if (context.options.checks) {
        const std::vector<CredentialProblem> early = CheckJobAlone(credentials);
        if (ErrorCount(early) > 0)
            return TellProblems(context, context.options.port, steps, verify, early);
    }
    // The slots to be written are loaded for the question before overwriting them, and the
    // slots the job leaves alone for the credential checks that need them.
    SlotSet needed = SlotsToLoad(credentials);
    if (!context.options.yes)
        for (const ApplyStep& step : steps)
            if (step.action == ApplyStep::Write) needed.set(static_cast<size_t>(step.slot));
    Connection connection(context);
    if (const int opened = connection.Open(needed); opened != CLI_OK) return opened;

    // Judged before the first frame that changes the device.
    const QString& port = connection.Port().location;
    const std::vector<CredentialProblem> problems = CheckJob(credentials, connection.Session());
    if (const int refused = TellProblems(context, port, steps, verify, problems); refused != CLI_OK)
        return refused;
    std::vector<StepResult> results(steps.size());
    int code = CLI_OK;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (!connection.Usable() || (code != CLI_OK && !context.options.keepGoing)) break;
        connection.Dialogs().SetSubject(QStringLiteral("slot %1: ").arg(steps[i].slot));
        results[i] = RunApplyStep(connection.Session(), steps[i], verify);
        if (results[i].status == StepStatus::Failed) {
            context.Fail(CLI_OK, results[i].failure.message);
            if (code == CLI_OK) code = results[i].failure.code;
        }
    }
    Report(context, port, steps, results, verify, problems);
    return code;
}

}  // namespace

int RunApplyCommand(const CommandContext& context) {
    std::vector<ApplyStep> steps;
    const SessionResult planned =
        context.options.arguments.isEmpty()
            ? PlanFromOptions(context.options.slotWrites, context.options.slotRemoves, steps)
            : PlanFromManifest(context.options.arguments.front(), context.options.exact, steps);
    if (!planned.ok()) return context.Fail(planned.code, planned.message);
    return RunSteps(context, steps, context.options.verify);
}

int RunRestoreCommand(const CommandContext& context) {
    const QString manifest =
        QDir(context.options.arguments.front()).filePath(QString::fromLatin1(MANIFEST_NAME));
    std::vector<ApplyStep> steps;
    if (const SessionResult planned = PlanFromManifest(manifest, context.options.exact, steps);
        !planned.ok())
        return context.Fail(planned.code, planned.message);
    return RunSteps(context, steps, true);
}
