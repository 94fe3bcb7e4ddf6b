#include "CliOptions.h"

#include <QCommandLineParser>
#include <algorithm>
#include <string_view>
#include <vector>

#include "QuillbankVersion.h"
#include "session/ApplyPlan.h"
#include "session/CliExit.h"

namespace {

const char kHelp[] =
    "Usage: quillbank-cli [OPTION]... COMMAND [ARGUMENT]...\n"
    "Manage the certificate and key slots of a field device over its USB serial port.\n"
    "Slots are numbered 0 to 14: 0 the server certificate, 1 the server key, 2-14 further\n"
    "certificates.\n"
    "\n"
    "Commands:\n"
    "  ports                  list the serial ports; the device's are marked with *\n"
    "  list                   connect and show the fifteen slots\n"
    "  read SLOT FILE         save slot SLOT to FILE\n"
    "  write SLOT FILE        load FILE (at most 6144 bytes) into slot SLOT\n"
    "  remove SLOT            erase slot SLOT\n"
    "  summary FILE...        show what the slot list would show for local files, what\n"
    "                         each is and which key belongs to which certificate\n"
    "  apply --slot N=FILE... [--remove N]...\n"
    "  apply MANIFEST.json    write and erase several slots over one connection; every\n"
    "                         written slot is read back and compared; refused when the\n"
    "                         key, certificates or chain would not work on the device\n"
    "  backup DIR             save every slot and a manifest.json into DIR\n"
    "  restore DIR            apply DIR/manifest.json, always verified\n"
    "  check                  name the certificates that have expired or expire soon,\n"
    "                         and what would not work on the device\n"
    "\n"
    "Options:\n"
    "  --port LOCATION        the port to open (default: the one matching device)\n"
    "  --trace                diagnostic trace on standard error\n"
    "  --yes                  confirm overwriting and removing without asking\n"
    "  --timeout S            give up when the device makes no progress for S seconds\n"
    "                         (default 10)\n"
    "  --tick-ms MS           step the engine every MS milliseconds (100 is the window's\n"
    "                         pace) instead of as soon as each answer is in\n"
    "  --json                 one JSON document on standard output (ports, list, summary,\n"
    "                         apply, backup, restore, check)\n"
    "  --slot N=FILE          apply: write FILE into slot N (repeatable)\n"
    "  --remove N             apply: erase slot N (repeatable)\n"
    "  --no-verify            apply: do not read written slots back\n"
    "  --no-checks            apply, restore: write even when the credential checks find\n"
    "                         an error (the problems are still reported)\n"
    "  --keep-going           apply, restore: go on after a slot failed\n"
    "  --exact                apply, restore: also erase the slots the manifest lists as\n"
    "                         empty\n"
    "  --force                backup: write into a folder that is not empty\n"
    "  --days N               check: warn about certificates that expire within N days\n"
    "                         (default 30)\n"
    "  --help                 show this help and exit\n"
    "  --version              show the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0 done, 1 declined, 2 usage, 3 no device, 4 several devices, 5 port cannot be\n"
    "  opened, 6 device refused or answered badly, 7 time-out, 8 local file error,\n"
    "  9 empty slot, 10 connection lost, 11 verification mismatch, 12 certificate expired\n"
    "  or expiring, 13 credentials that would not work (key, certificates, chain),\n"
    "  128 + N stopped by signal N (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP).\n";

const char kUsage[] =
    "usage: quillbank-cli [OPTION]... COMMAND [ARGUMENT]...\n"
    "commands: ports, list, read, write, remove, summary, apply, backup, restore, check\n"
    "Try 'quillbank-cli --help' for more information.\n";

int Usage(QTextStream& err, const QString& problem) {
    if (!problem.isEmpty()) err << "quillbank-cli: " << problem << "\n";
    err << kUsage;
    return CLI_USAGE;
}

// What each command takes: its arguments and the options that belong to it alone.
struct CommandShape {
    const char* name;
    int minArguments;
    int maxArguments;  // -1: any number
    const char* arguments;
    bool json;
    std::vector<std::string_view> own;  // command-specific options it accepts
};

const std::vector<CommandShape>& Shapes() {
    static const std::vector<CommandShape> shapes = {
        {"ports", 0, 0, "no arguments", true, {}},
        {"list", 0, 0, "no arguments", true, {}},
        {"read", 2, 2, "SLOT and FILE", false, {}},
        {"write", 2, 2, "SLOT and FILE", false, {}},
        {"remove", 1, 1, "SLOT", false, {}},
        {"summary", 0, -1, "FILE...", true, {}},
        {"apply",
         0,
         1,
         "MANIFEST.json or --slot/--remove",
         true,
         {"slot", "remove", "no-verify", "no-checks", "keep-going", "exact"}},
        {"backup", 1, 1, "DIR", true, {"force"}},
        {"restore", 1, 1, "DIR", true, {"no-checks", "keep-going", "exact"}},
        {"check", 0, 0, "no arguments", true, {"days"}},
    };
    return shapes;
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
    const auto flag = [](const char* name) {
        return QCommandLineOption(QString::fromLatin1(name));
    };
    const auto valued = [](const char* name, const char* value) {
        return QCommandLineOption(QString::fromLatin1(name), QString(), QString::fromLatin1(value));
    };
    const QCommandLineOption port = valued("port", "LOCATION"), timeout = valued("timeout", "S"),
                             tick = valued("tick-ms", "MS"), slot = valued("slot", "N=FILE"),
                             remove = valued("remove", "N"), days = valued("days", "N");
    const QCommandLineOption trace = flag("trace"), yes = flag("yes"), json = flag("json"),
                             noVerify = flag("no-verify"), noChecks = flag("no-checks"),
                             keepGoing = flag("keep-going"), force = flag("force"),
                             exact = flag("exact"), version = flag("version");
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    parser.addOptions({port, trace, yes, timeout, tick, json, slot, remove, noVerify, noChecks,
                       keepGoing, exact, force, days, help, version});
    if (!parser.parse(QStringList{QStringLiteral("quillbank-cli")} + arguments))
        return Usage(err, parser.errorText());
    if (parser.isSet(help)) {
        out << kHelp;
        return CLI_OK;
    }
    if (parser.isSet(version)) {
        out << "quillbank-cli " << QUILLBANK_VERSION << "\n";
        return CLI_OK;
    }

    options.port = parser.value(port);
    options.trace = parser.isSet(trace);
    options.yes = parser.isSet(yes);
    options.json = parser.isSet(json);
    options.verify = !parser.isSet(noVerify);
    options.checks = !parser.isSet(noChecks);
    options.keepGoing = parser.isSet(keepGoing);
    options.force = parser.isSet(force);
    options.exact = parser.isSet(exact);
    options.slotWrites = parser.values(slot);
    options.slotRemoves = parser.values(remove);
    if (parser.isSet(timeout) && !ParseCount(parser.value(timeout), 1, options.timeoutSeconds))
        return Usage(err, QStringLiteral("--timeout needs a whole number of seconds"));
    if (parser.isSet(tick)) {
        int ms = 0;
        if (!ParseCount(parser.value(tick), 1, ms))
            return Usage(err, QStringLiteral("--tick-ms needs a whole number of milliseconds"));
        options.tickMs = ms;
    }
    if (parser.isSet(days) && !ParseCount(parser.value(days), 0, options.days))
        return Usage(err, QStringLiteral("--days needs a whole number of days"));

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) return Usage(err, QStringLiteral("no command given"));
    options.command = positional.takeFirst();
    options.arguments = positional;

    const auto& shapes = Shapes();
    const auto shape = std::find_if(shapes.begin(), shapes.end(), [&](const CommandShape& s) {
        return options.command == QLatin1String(s.name);
    });
    if (shape == shapes.end())
        return Usage(err, QStringLiteral("unknown command '%1'").arg(options.command));
    const qsizetype n = positional.size();
    if (n < shape->minArguments || (shape->maxArguments >= 0 && n > shape->maxArguments))
        return Usage(err, options.command + QStringLiteral(" takes ") +
                              QString::fromLatin1(shape->arguments));
    if (options.json && !shape->json)
        return Usage(err, QStringLiteral("--json does not go with ") + options.command);
    for (const char* name :
         {"slot", "remove", "no-verify", "no-checks", "keep-going", "exact", "force", "days"}) {
        const bool own = std::find(shape->own.begin(), shape->own.end(), name) != shape->own.end();
        if (parser.isSet(QString::fromLatin1(name)) && !own)
            return Usage(err, QStringLiteral("--%1 does not go with %2")
                                  .arg(QLatin1String(name), options.command));
    }

    int number = 0;
    const QString& c = options.command;
    if ((c == QLatin1String("read") || c == QLatin1String("write") ||
         c == QLatin1String("remove")) &&
        !ParseSlotNumber(positional[0], number))
        return Usage(err, QStringLiteral("SLOT must be a number from 0 to 14"));
    if ((c == QLatin1String("read") || c == QLatin1String("write")) && positional[1].isEmpty())
        return Usage(err, QStringLiteral("FILE must not be empty"));
    const bool listed = !options.slotWrites.isEmpty() || !options.slotRemoves.isEmpty();
    if (c == QLatin1String("apply") && (n == 1) == listed)
        return Usage(err, QStringLiteral("apply takes either MANIFEST.json or --slot/--remove"));
    return std::nullopt;
}
