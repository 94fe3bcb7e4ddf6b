#pragma once
// The command line of quillbank-cli: options, commands and their arguments, checked before
// anything is looked for or opened.

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <optional>

struct CliOptions {
    QString port;               // --port LOCATION: the one port of this run ("" for several)
    QStringList ports;          // every --port, in the order given
    bool all = false;           // --all
    QString journal;            // --journal FILE
    bool trace = false;         // --trace
    bool yes = false;           // --yes
    int timeoutSeconds = 10;    // --timeout S
    std::optional<int> tickMs;  // --tick-ms MS
    bool json = false;          // --json
    bool verify = true;         // not --no-verify
    bool checks = true;         // not --no-checks: refuse a job whose credentials would fail
    bool keepGoing = false;     // --keep-going
    bool force = false;         // --force
    bool exact = false;         // --exact
    int days = 30;              // --days N
    QStringList slotWrites;     // --slot N=FILE, in the order given
    QStringList slotRemoves;    // --remove N, in the order given
    QString command;
    QStringList arguments;  // what follows the command
};

// True when the run takes several devices at once: --all, or --port more than once.
inline bool SeveralDevices(const CliOptions& options) {
    return options.all || options.ports.size() > 1;
}

// Parses `arguments` (without the program name). Returns the exit code when the run ends
// here: --help and --version (printed to `out`, 0), or a usage error (printed to `err`, 2).
std::optional<int> ParseCliOptions(const QStringList& arguments, CliOptions& options,
                                   QTextStream& out, QTextStream& err);
