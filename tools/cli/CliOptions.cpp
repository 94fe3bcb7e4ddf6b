#include "CliOptions.h"

#include <QCommandLineParser>
#include <algorithm>
#include <string_view>
#include <vector>

#include "CommandTable.h"
#include "QuillbankVersion.h"
#include "session/ApplyPlan.h"
#include "session/CliExit.h"

namespace {

const char kHelpHead[] =
    "Usage: quillbank-cli [OPTION]... COMMAND [ARGUMENT]...\n"
    "Manage the certificate and key slots of a field device over its USB serial port.\n"
    "Slots are numbered 0 to 14: 0 the server certificate, 1 the server key, 2-14 further\n"
    "certificates.\n"
    "\n";

const char kExitStatus[] =
    "Exit status:\n"
    "  0 done, 1 declined, 2 usage, 3 no device, 4 several devices, 5 port cannot be\n"
    "  opened, 6 device refused or answered badly, 7 time-out, 8 local file error,\n"
    "  9 empty slot, 10 connection lost, 11 verification mismatch, 12 certificate expired\n"
    "  or expiring, 13 credentials that would not work (key, certificates, chain),\n"
    "  14 a device the job does not name, or one it names that is not plugged in,\n"
    "  128 + N stopped by signal N (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP).\n";

QString Help() {
    return QLatin1String(kHelpHead) + QStringLiteral("Commands:\n") + CommandRows() +
           QStringLiteral("\nOptions:\n") + OptionRows() + u'\n' + QLatin1String(kExitStatus);
}

QString CommandNames() {
    QStringList names;
    for (const CommandRow& command : CliCommands()) names << QLatin1String(command.name);
    return names.join(QStringLiteral(", "));
}

int Usage(QTextStream& err, const QString& problem) {
    if (!problem.isEmpty()) err << "quillbank-cli: " << problem << "\n";
    err << "usage: quillbank-cli [OPTION]... COMMAND [ARGUMENT]...\n"
        << "commands: " << CommandNames() << "\n"
        << "Try 'quillbank-cli --help' for more information.\n";
    return CLI_USAGE;
}

bool ParseCount(const QString& text, int least, int& value) {
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value >= least;
}

}  // namespace

std::optional<int> ParseCliOptions(const QStringList& arguments, CliOptions& options,
                                   QTextStream& out, QTextStream& err) {
    QCommandLineParser parser;
    for (const OptionRow& row : CliOptionRows()) {
        QStringList names{QString::fromLatin1(row.name)};
        if (names.front() == QLatin1String("help")) names.prepend(QStringLiteral("h"));
        parser.addOption(row.value != nullptr
                             ? QCommandLineOption(names, QString(), QString::fromLatin1(row.value))
                             : QCommandLineOption(names));
    }
    const auto isSet = [&](const char* name) { return parser.isSet(QString::fromLatin1(name)); };
    const auto value = [&](const char* name) { return parser.value(QString::fromLatin1(name)); };
    if (!parser.parse(QStringList{QStringLiteral("quillbank-cli")} + arguments))
        return Usage(err, parser.errorText());
    if (isSet("help")) {
        out << Help();
        return CLI_OK;
    }
    if (isSet("version")) {
        out << "quillbank-cli " << QUILLBANK_VERSION << "\n";
        return CLI_OK;
    }

    options.ports = parser.values(QStringLiteral("port"));
    if (options.ports.size() == 1) options.port = options.ports.front();
    options.all = isSet("all");
    options.journal = value("journal");
    options.trace = isSet("trace");
    options.yes = isSet("yes");
    options.json = isSet("json");
    options.verify = !isSet("no-verify");
    options.checks = !isSet("no-checks");
    options.keepGoing = isSet("keep-going");
    options.force = isSet("force");
    options.exact = isSet("exact");
    options.slotWrites = parser.values(QStringLiteral("slot"));
    options.slotRemoves = parser.values(QStringLiteral("remove"));
    if (isSet("timeout") && !ParseCount(value("timeout"), 1, options.timeoutSeconds))
        return Usage(err, QStringLiteral("--timeout needs a whole number of seconds"));
    if (isSet("tick-ms")) {
        int ms = 0;
        if (!ParseCount(value("tick-ms"), 1, ms))
            return Usage(err, QStringLiteral("--tick-ms needs a whole number of milliseconds"));
        options.tickMs = ms;
    }
    if (isSet("days") && !ParseCount(value("days"), 0, options.days))
        return Usage(err, QStringLiteral("--days needs a whole number of days"));

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) return Usage(err, QStringLiteral("no command given"));
    options.command = positional.takeFirst();
    options.arguments = positional;

    const CommandRow* shape = FindCommand(options.command);
    if (shape == nullptr)
        return Usage(err, QStringLiteral("unknown command '%1'").arg(options.command));
    const qsizetype n = positional.size();
    if (n < shape->minArguments || (shape->maxArguments >= 0 && n > shape->maxArguments))
        return Usage(err, options.command + QStringLiteral(" takes ") +
                              QString::fromLatin1(shape->arguments));
    if (options.json && !shape->json)
        return Usage(err, QStringLiteral("--json does not go with ") + options.command);
    for (const OptionRow& option : CliOptionRows()) {
        const std::string_view name = option.name;
        if (!IsCommandOption(name) || !isSet(option.name)) continue;
        if (std::find(shape->own.begin(), shape->own.end(), name) == shape->own.end())
            return Usage(err, QStringLiteral("--%1 does not go with %2")
                                  .arg(QLatin1String(option.name), options.command));
    }

    if (options.all && !options.ports.isEmpty())
        return Usage(err, QStringLiteral("--all and --port exclude each other"));
    if (options.ports.size() > 1 && !shape->TakesSeveralDevices())
        return Usage(err, QStringLiteral("%1 takes one --port").arg(options.command));
    for (qsizetype i = 0; i < options.ports.size(); ++i)
        if (options.ports.indexOf(options.ports[i]) != i)
            return Usage(err, QStringLiteral("--port %1 is given twice").arg(options.ports[i]));
    if (isSet("journal") && options.journal.isEmpty())
        return Usage(err, QStringLiteral("--journal needs a file name"));

    int number = 0;
    const ArgumentKind kind = shape->kind;
    if ((kind == ArgumentKind::SlotThenFile || kind == ArgumentKind::Slot) &&
        !ParseSlotNumber(positional[0], number))
        return Usage(err, QStringLiteral("SLOT must be a number from 0 to 14"));
    if (kind == ArgumentKind::SlotThenFile && positional[1].isEmpty())
        return Usage(err, QStringLiteral("FILE must not be empty"));
    // apply's manifest and its --slot/--remove exclude each other.
    const bool listed = !options.slotWrites.isEmpty() || !options.slotRemoves.isEmpty();
    if (kind == ArgumentKind::JsonFile && (n == 1) == listed)
        return Usage(err, QStringLiteral("apply takes either MANIFEST.json or --slot/--remove"));
    return std::nullopt;
}
