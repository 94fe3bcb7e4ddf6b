#pragma once
// While a command runs, the trace's bare copy stays off standard output (which carries the
// command's own result) and the debug output goes to standard error with --trace only.
// The previous sinks come back when it ends.

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
