#pragma once
// The diagnostic trace. Each Trace call writes the bare message to standard output and,
// prefixed with the local time of day ("HH:MM:SS "), to the debug output, followed by a
// separate "\r\n". The debug output is standard error unless a test replaces the sink.

#include <QString>
#include <functional>

using TextSink = std::function<void(const QString&)>;

// Replace where the bare standard-output copy and the debug output go; an empty function
// restores the default (stdout / stderr). Returns the previous sink.
TextSink SetStandardOutputSink(TextSink sink);
TextSink SetDebugOutputSink(TextSink sink);

// One piece of debug output as it stands, with no time stamp and no line end: the stand-in
// for OutputDebugStringW, used directly for "read error", "read=%f\r\n" and common names.
void OutputDebugText(const QString& text);

// `format` is a constant printf format; "%ls" takes UTF-16 text (QString::utf16()).
void Trace(const char* format, ...);

// The time text that starts every debug line: the local time of day and one blank.
QString TraceTimeStamp();

// Debug output written to a text stream. The debugger shows every piece of output as an
// entry of its own; a stream has only lines, so a piece that follows one left without a line
// end starts a new line, unless it begins with the line end itself (the "\r\n" after a
// Trace message). Without this a common name or "read error" would run into the next line.
class DebugTextLines {
public:
    // The text to write for `piece`.
    QString operator()(const QString& piece);
    // The line end still owed at the end of the output, or "".
    QString Finish();

private:
    bool m_open = false;
};
