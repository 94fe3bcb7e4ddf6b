#include "TraceRedirect.h"

TraceRedirect::TraceRedirect(QTextStream& err, bool show)
    : m_previousStandard(SetStandardOutputSink([](const QString&) {})),
      m_previousDebug(SetDebugOutputSink([this, &err, show](const QString& text) {
          if (!show) return;
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
