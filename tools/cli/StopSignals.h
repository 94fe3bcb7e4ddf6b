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

// Called by main once the run has returned and its output is flushed: on Windows a console
// handler that is holding off the end of the process (the console closed) then lets it end.
void ReportRunEnded();

#ifdef _WIN32
// What the console handler does with `event` (a CTRL_*_EVENT) and answers: true when it
// handled it. For a close, logoff or shutdown it returns only once the run has ended, or
// 4.5 s later. Tests call it as Windows does, on a thread of its own.
bool AnswerConsoleEvent(unsigned long event);
#endif

// The signal that asked to stop, or 0.
int StopSignal();
// What a signal does, without raising one (tests); the first request is the one kept.
void RequestStop(int signo);
// Forgets the request, and that the run ended.
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
