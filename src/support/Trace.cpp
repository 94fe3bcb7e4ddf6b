#include "support/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <utility>

#include "support/Text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {
TextSink& StandardOutputSink() {
    static TextSink sink;
    return sink;
}
TextSink& DebugOutputSink() {
    static TextSink sink;
    return sink;
}

void WriteStream(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

void WriteStandardOutput(const QString& text) {
    if (StandardOutputSink())
        StandardOutputSink()(text);
    else
        WriteStream(stdout, text);
}
}  // namespace

TextSink SetStandardOutputSink(TextSink sink) {
    return std::exchange(StandardOutputSink(), std::move(sink));
}

TextSink SetDebugOutputSink(TextSink sink) {
    return std::exchange(DebugOutputSink(), std::move(sink));
}

void OutputDebugText(const QString& text) {
    if (DebugOutputSink()) {
        DebugOutputSink()(text);
    } else {
#ifdef _WIN32
        // Windows has a debugger output of its own; a window program has no standard error.
        OutputDebugStringW(reinterpret_cast<const wchar_t*>(text.utf16()));
#else
        static DebugTextLines lines;
        WriteStream(stderr, lines(text));
#endif
    }
}

QString DebugTextLines::operator()(const QString& piece) {
    if (piece.isEmpty()) return piece;
    const bool endsOpenLine = piece.startsWith(u'\n') || piece.startsWith(u"\r\n");
    QString text = m_open && !endsOpenLine ? QStringLiteral("\n") + piece : piece;
    m_open = !piece.endsWith(u'\n');
    return text;
}

QString DebugTextLines::Finish() {
    if (!m_open) return {};
    m_open = false;
    return QStringLiteral("\n");
}

QString TraceTimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &now) != 0) return {};
#else
    if (localtime_r(&now, &local) == nullptr) return {};
#endif
    char buffer[128];
    // Spelled out rather than "%X": the application object adopts the user's locale for
    // LC_TIME, where "%X" may read "02:03:27 PM"; the stamp is always the 24-hour HH:MM:SS.
    const size_t length = std::strftime(buffer, sizeof buffer, "%H:%M:%S ", &local);
    return QString::fromLatin1(buffer, static_cast<qsizetype>(length));
}

void Trace(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const QString message = VFormatWide(format, args);
    va_end(args);
    WriteStandardOutput(message);
    OutputDebugText(TraceTimeStamp() + message);
    OutputDebugText(QStringLiteral("\r\n"));
}
