// summary FILE...: what the slot lists would show for local files, without a device.

#include <QJsonArray>

#include "CommandContext.h"
#include "Commands.h"
#include "SlotJson.h"
#include "certs/LocalSlotFile.h"
#include "certs/SummaryCommand.h"

int RunSummaryCommand(const CommandContext& context) {
    if (!context.options.json) {
        const int code = RunSummaryCommand(context.options.arguments, context.out, context.err);
        if (code == SUMMARY_EXIT_USAGE) return CLI_USAGE;
        return code == SUMMARY_EXIT_OK ? CLI_OK : CLI_LOCAL_FILE;
    }
    if (context.options.arguments.isEmpty())
        return context.Fail(CLI_USAGE, QStringLiteral("summary needs FILE..."));
    QJsonArray files;
    int code = CLI_OK;
    for (const QString& path : context.options.arguments) {
        const SlotFileRead read = ReadSlotFile(path);
        QJsonObject object;
        if (read.status == SlotFileRead::Loaded) {
            object = BytesJson(read.bytes);
        } else {
            const QString error = read.status == SlotFileRead::TooLarge
                                      ? QStringLiteral("too large for a slot")
                                      : QStringLiteral("cannot read (%1)").arg(read.error);
            object.insert(QStringLiteral("error"), error);
            code = context.Fail(CLI_LOCAL_FILE, path + QStringLiteral(": ") + error);
        }
        object.insert(QStringLiteral("file"), path);
        files.append(object);
    }
    context.PrintJson({{QStringLiteral("files"), files}});
    return code;
}
