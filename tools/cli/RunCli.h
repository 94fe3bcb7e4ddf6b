#pragma once
// quillbank-cli run in-process: the program's main, the tests and the benchmarks call it.

#include <QStringList>
#include <QTextStream>

#include "link/CommPort.h"
#include "link/DeviceDiscovery.h"
#include "session/CliExit.h"

struct CliEnvironment {
    CommPortProvider& ports;
    DeviceLister& lister;
    int tickMs = 0;            // the engine's pace when --tick-ms is not given; 0: answer-paced
    bool interactive = false;  // confirmations may be asked on the terminal
};

// Runs one command line (without the program name). Everything is printed to `out` and
// `err`; the result is a CliExit.
int RunCli(const QStringList& arguments, QTextStream& out, QTextStream& err,
           const CliEnvironment& environment);
