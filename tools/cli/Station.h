#pragma once
// quillbank-cli on several devices at once (--all, --port more than once, or an apply whose
// manifest gives devices their own slots): one session per device, each on a thread of its
// own with its own port, engine, pace, time-out and count of failed reads, so that a slow,
// refusing or unplugged device never holds up or fails another. Each device's lines carry
// its port name; a table (or one JSON document with a "devices" list) ends the run.

#include <QTextStream>

#include "CliOptions.h"
#include "RunCli.h"

class AppendFile;

// True when `options` ask for the run of several devices.
bool RunsAsStation(const CliOptions& options);

// Runs the command on every device. The exit code is 0 when every device succeeded, else
// that of the first device in port order that failed. `journal` may be null.
int RunStation(const CliOptions& options, QTextStream& out, QTextStream& err,
               const CliEnvironment& environment, AppendFile* journal);
