#pragma once
// The one list of quillbank-cli's commands and options. The command line is checked
// against it, the commands are run from it, and --help (from which the man page is made) is
// written from it; a test holds the bash completion to it.

#include <QString>
#include <algorithm>
#include <string_view>
#include <vector>

#include "Reports.h"

class CommandContext;

// What a command's arguments are: what the command line checks them for, and what the bash
// completion offers for them.
enum class ArgumentKind {
    None,
    SlotThenFile,  // a slot number, then a file name that is not empty
    Slot,          // a slot number
    Files,
    JsonFile,  // a manifest
    Folder,
};

struct CommandRow {
    const char* name;
    int minArguments;
    int maxArguments;                   // -1: any number
    const char* arguments;              // what it takes, for the usage error "NAME takes ..."
    bool json;                          // --json goes with it
    std::vector<std::string_view> own;  // the command-specific options it accepts
    // Its rows in --help: each synopsis but the last on a line of its own, the last beside
    // the first line of `help`.
    std::vector<const char*> synopses;
    std::vector<const char*> help;
    ArgumentKind kind;
    CommandResult (*run)(const CommandContext&);

    // It runs on several devices at once (--all, --port more than once).
    bool TakesSeveralDevices() const {
        return std::find(own.begin(), own.end(), "all") != own.end();
    }
};

struct OptionRow {
    const char* name;   // without the leading "--"
    const char* value;  // its value's name in --help; nullptr for a flag
    std::vector<const char*> help;
};

// In the order --help lists them.
const std::vector<CommandRow>& CliCommands();
const std::vector<OptionRow>& CliOptionRows();

// The command called `name`, or nullptr.
const CommandRow* FindCommand(const QString& name);

// True when some command has `option` (without "--") among its own.
bool IsCommandOption(std::string_view option);

// The "Commands:" and "Options:" rows of --help.
QString CommandRows();
QString OptionRows();
