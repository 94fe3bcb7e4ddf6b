#include "TraceRedirect.h"

namespace {
thread_local ThreadTrace* t_trace = nullptr;
}  // namespace

TraceRedirect::TraceRedirect(QTextStream& err, bool show)
    : m_previousStandard(SetStandardOutputSink([](const QString&) {})),
      m_previousDebug(SetDebugOutputSink([this, &err, show](const QString& text) {
          if (!show) return;
          if (ThreadTrace* own = t_trace) {
              own->err << own->lines(text);
              own->err.flush();
              return;
          }
          err << m_debugLines(text);
          err.flush();
      })),
      m_err(err) {}

TraceRedirect::~TraceRedirect() {
    SetStandardOutputSink(m_previousStandard);
    SetDebugOutputSink(m_previousDebug);
    m_err << m_debugLines.Finish();
    m_err.flush();
}

ThreadTrace::ThreadTrace(QTextStream& stream) : err(stream), m_previous(t_trace) {
    t_trace = this;
}

ThreadTrace::~ThreadTrace() {
    err << lines.Finish();
    err.flush();
    t_trace = m_previous;
}
