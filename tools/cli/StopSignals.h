#pragma once
// SIGINT, SIGTERM and SIGHUP ask quillbank-cli to stop. The handler only records the signal;
// the session looks at it (through SignalStops) before every engine step and during every
// wait, ends the transfer as Disconnect does and returns through the usual path, so that every
// local file is closed (or its temporary removed) by its owner. The exit code is 128 + the
// signal's number, what a shell reports for a program the signal ended.

#include <QString>

#include "session/CliSession.h"

// Installs the handlers, without SA_RESTART, so that a wait on the port or the terminal
// returns early. A signal that was ignored when the program started (nohup) stays ignored.
// The first signal puts the default actions back: a second one ends the program at once.
// SIGPIPE is ignored: a write to a closed standard output fails instead of ending the run.
void InstallStopSignals();

// The signal that asked to stop, or 0.
int StopSignal();
// What a signal does, without raising one (tests); the first request is the one kept.
void RequestStop(int signo);
void ClearStopRequest();

int StopExitCode(int signo);
// "stopped by SIGINT"
QString StopMessage(int signo);

// Waits until `fd` has input (or an error that reading will tell); false when a stop was
// requested first.
bool AwaitInputUnlessStopped(int fd);
// Sleeps for `ms` milliseconds, or less when a stop is requested meanwhile.
void SleepUnlessStopped(int ms);

// The session's stops: a requested stop ends it with StopExitCode and StopMessage, and its
// tick sleeps with SleepUnlessStopped.
SessionStops SignalStops();
