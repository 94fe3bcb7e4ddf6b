#pragma once
// While a command runs, the trace's bare copy stays off standard output (which carries the
// command's own result) and the debug output goes to standard error with --trace only.
// The previous sinks come back when it ends. A thread that runs one device's session sends
// its debug output to that device's own stream instead (ThreadTrace), so the lines of
// several devices do not run into each other.

#include <QTextStream>

#include "support/Trace.h"

class TraceRedirect {
public:
    TraceRedirect(QTextStream& err, bool show);
    ~TraceRedirect();
    TraceRedirect(const TraceRedirect&) = delete;
    TraceRedirect& operator=(const TraceRedirect&) = delete;

private:
    DebugTextLines m_debugLines;
    TextSink m_previousStandard;
    TextSink m_previousDebug;
    QTextStream& m_err;
};

// For as long as it lives, the debug output of the thread that made it goes to `err`.
class ThreadTrace {
public:
    explicit ThreadTrace(QTextStream& err);
    ~ThreadTrace();
    ThreadTrace(const ThreadTrace&) = delete;
    ThreadTrace& operator=(const ThreadTrace&) = delete;

    QTextStream& err;
    DebugTextLines lines;

private:
    ThreadTrace* m_previous;
};
