#include "CommandTable.h"

#include <algorithm>

#include "Commands.h"

namespace {

// Where the help text of a row starts: two blanks, the synopsis, padding.
constexpr int kHelpColumn = 25;

QString Rows(const std::vector<QString>& synopses, const std::vector<const char*>& help) {
    QString rows;
    for (size_t i = 0; i + 1 < synopses.size(); ++i)
        rows += QStringLiteral("  ") + synopses[i] + u'\n';
    QString line = QStringLiteral("  ") + synopses.back();
    for (size_t i = 0; i < help.size(); ++i) {
        rows += line.leftJustified(kHelpColumn - 1) + u' ' + QString::fromLatin1(help[i]) + u'\n';
        line.clear();
    }
    if (help.empty()) rows += line + u'\n';
    return rows;
}

}  // namespace

const std::vector<CommandRow>& CliCommands() {
    using C = ArgumentKind;
    static const std::vector<CommandRow> commands = {
        {"ports",
         0,
         0,
         "no arguments",
         true,
         {},
         {"ports"},
         {"list the serial ports; the device's are marked with *"},
         C::None,
         RunPortsCommand},
        {"list",
         0,
         0,
         "no arguments",
         true,
         {"all", "journal"},
         {"list"},
         {"connect and show the fifteen slots"},
         C::None,
         RunListCommand},
        {"read",
         2,
         2,
         "SLOT and FILE",
         false,
         {"journal"},
         {"read SLOT FILE"},
         {"save slot SLOT to FILE"},
         C::SlotThenFile,
         RunReadCommand},
        {"write",
         2,
         2,
         "SLOT and FILE",
         false,
         {"journal"},
         {"write SLOT FILE"},
         {"load FILE (at most 6144 bytes) into slot SLOT"},
         C::SlotThenFile,
         RunWriteCommand},
        {"remove",
         1,
         1,
         "SLOT",
         false,
         {"journal"},
         {"remove SLOT"},
         {"erase slot SLOT"},
         C::Slot,
         RunRemoveCommand},
        {"summary",
         0,
         -1,
         "FILE...",
         true,
         {},
         {"summary FILE..."},
         {"show what the slot list would show for local files, what",
          "each is and which key belongs to which certificate"},
         C::Files,
         RunSummaryCommand},
        {"apply",
         0,
         1,
         "MANIFEST.json or --slot/--remove",
         true,
         {"slot", "remove", "no-verify", "no-checks", "keep-going", "exact", "all", "journal"},
         {"apply --slot N=FILE... [--remove N]...", "apply MANIFEST.json"},
         {"write and erase several slots over one connection; every",
          "written slot is read back and compared; refused when the",
          "key, certificates or chain would not work on the device"},
         C::JsonFile,
         RunApplyCommand},
        {"backup",
         1,
         1,
         "DIR",
         true,
         {"force", "all", "journal"},
         {"backup DIR"},
         {"save every slot and a manifest.json into DIR"},
         C::Folder,
         RunBackupCommand},
        {"restore",
         1,
         1,
         "DIR",
         true,
         {"no-checks", "keep-going", "exact", "all", "journal"},
         {"restore DIR"},
         {"apply DIR/manifest.json, always verified"},
         C::Folder,
         RunRestoreCommand},
        {"check",
         0,
         0,
         "no arguments",
         true,
         {"days", "all", "journal"},
         {"check"},
         {"name the certificates that have expired or expire soon,",
          "and what would not work on the device"},
         C::None,
         RunCheckCommand},
    };
    return commands;
}

const std::vector<OptionRow>& CliOptionRows() {
    static const std::vector<OptionRow> options = {
        {"port",
         "LOCATION",
         {"the port to open (default: the one matching device); given",
          "more than once, list, apply, backup, restore and check run",
          "on each of these devices at once"}},
        {"all",
         nullptr,
         {"list, apply, backup, restore, check: run on every matching",
          "device that is plugged in, all at once"}},
        {"journal",
         "FILE",
         {"append one JSON line per slot operation and per device run",
          "to FILE (device commands)"}},
        {"trace", nullptr, {"diagnostic trace on standard error"}},
        {"yes", nullptr, {"confirm overwriting and removing without asking"}},
        {"timeout",
         "S",
         {"give up when the device makes no progress for S seconds", "(default 10)"}},
        {"tick-ms",
         "MS",
         {"step the engine every MS milliseconds (100 is the window's",
          "pace) instead of as soon as each answer is in"}},
        {"json",
         nullptr,
         {"one JSON document on standard output (ports, list, summary,",
          "apply, backup, restore, check)"}},
        {"slot", "N=FILE", {"apply: write FILE into slot N (repeatable)"}},
        {"remove", "N", {"apply: erase slot N (repeatable)"}},
        {"no-verify", nullptr, {"apply: do not read written slots back"}},
        {"no-checks",
         nullptr,
         {"apply, restore: write even when the credential checks find",
          "an error (the problems are still reported)"}},
        {"keep-going", nullptr, {"apply, restore: go on after a slot failed"}},
        {"exact", nullptr, {"apply, restore: also erase the slots the manifest lists as", "empty"}},
        {"force", nullptr, {"backup: write into a folder that is not empty"}},
        {"days", "N", {"check: warn about certificates that expire within N days", "(default 30)"}},
        {"help", nullptr, {"show this help and exit"}},
        {"version", nullptr, {"show the version and exit"}},
    };
    return options;
}

const CommandRow* FindCommand(const QString& name) {
    const auto& commands = CliCommands();
    const auto found = std::find_if(commands.begin(), commands.end(), [&](const CommandRow& c) {
        return name == QLatin1String(c.name);
    });
    return found == commands.end() ? nullptr : &*found;
}

bool IsCommandOption(std::string_view option) {
    return std::any_of(CliCommands().begin(), CliCommands().end(), [&](const CommandRow& c) {
        return std::find(c.own.begin(), c.own.end(), option) != c.own.end();
    });
}

QString CommandRows() {
    QString rows;
    for (const CommandRow& command : CliCommands()) {
        std::vector<QString> synopses;
        for (const char* synopsis : command.synopses)
            synopses.push_back(QString::fromLatin1(synopsis));
        rows += Rows(synopses, command.help);
    }
    return rows;
}

QString OptionRows() {
    QString rows;
    for (const OptionRow& option : CliOptionRows()) {
        QString synopsis = QStringLiteral("--") + QLatin1String(option.name);
        if (option.value != nullptr) synopsis += u' ' + QLatin1String(option.value);
        rows += Rows({synopsis}, option.help);
    }
    return rows;
}
