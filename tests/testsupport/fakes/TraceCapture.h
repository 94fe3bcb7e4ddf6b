#pragma once
// Captures the trace while alive: every Trace message as it reached standard output (one
// entry per call) and every piece of debug output (time-stamped lines, their "\r\n", and
// the direct lines such as "read error"). Restores the previous sinks when destroyed.

#include <QString>
#include <QStringList>
#include <initializer_list>
#include <ostream>

#include "support/Trace.h"

class TraceCapture {
public:
    TraceCapture()
        : m_previousStandard(SetStandardOutputSink([this](const QString& text) { messages << text; })),
          m_previousDebug(SetDebugOutputSink([this](const QString& text) { debug << text; })) {}
    ~TraceCapture() {
        SetStandardOutputSink(m_previousStandard);
        SetDebugOutputSink(m_previousDebug);
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    QStringList messages;  // bare messages, in order
    QStringList debug;     // debug output pieces, in order

    void Clear() {
        messages.clear();
        debug.clear();
    }
    bool Contains(const char* message) const { return messages.contains(QString::fromLatin1(message)); }
    qsizetype Count(const char* message) const { return messages.count(QString::fromLatin1(message)); }

private:
    TextSink m_previousStandard;
    TextSink m_previousDebug;
};

// Expected trace messages written as plain literals.
inline QStringList TraceLines(std::initializer_list<const char*> lines) {
    QStringList out;
    for (const char* line : lines) out << QString::fromUtf8(line);
    return out;
}

// Readable QString values in GoogleTest failure messages.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
