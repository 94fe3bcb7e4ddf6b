#pragma once
// The two soak phases: connect, load, read one slot and disconnect, again and again.

#include <QString>

// Through the command-line session (RunCli in this process) against the quillbank-devsim
// program at `devsim`; `tickMs` is the session's engine tick. Returns the failed cycles.
int SoakCommandLine(int cycles, int tickMs, const QString& devsim, const QString& folder);

// Through the window (offscreen) against a simulated device in this process, the timers'
// work done round by round without waiting out their periods. Returns the failed cycles.
int SoakWindow(int cycles, const QString& folder);
