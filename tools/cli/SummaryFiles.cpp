// summary FILE...: what the slot lists would show for local files, without a device; what
// each file is, and which keys and certificates among them belong together.

#include <ctime>

#include "CommandContext.h"
#include "Commands.h"
#include "certs/Credential.h"
#include "certs/CredentialChecks.h"
#include "certs/LocalSlotFile.h"

CommandResult RunSummaryCommand(const CommandContext& context) {
    SummaryReport report;
    // No file is a usage error, told by the printer in its own words.
    int code = context.options.arguments.isEmpty() ? CLI_USAGE : CLI_OK;
    for (const QString& path : context.options.arguments) {
        SlotFileRead read = ReadSlotFile(path);
        if (read.status == SlotFileRead::Loaded) {
            report.names << path;
            report.credentials.push_back(ReadCredential(read.bytes));
        } else {
            code = CLI_LOCAL_FILE;
        }
        report.files.push_back({path, std::move(read)});
    }
    report.pairs = KeyCertificatePairs(report.credentials);
    report.problems = CheckLooseCredentials(report.credentials, std::time(nullptr));
    return {code, std::move(report), {}};
}
