#pragma once
// Narrow text (protocol bytes) and wide text (screen, paths, trace) with the printf-style
// formatting, tokenizing, widening and base-16 reading that the rest of the program relies on.

#include <QString>
#include <cstdarg>
#include <string>

#define QB_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

// Narrow strings are std::string; formatting follows the C library's printf.
std::string FormatNarrow(const char* format, ...) QB_PRINTF(1, 2);
void AppendFormatNarrow(std::string& text, const char* format, ...) QB_PRINTF(2, 3);
std::string VFormatNarrow(const char* format, va_list args) QB_PRINTF(1, 0);

// Wide strings are QString (UTF-16). The format is 7-bit ASCII; "%ls" takes UTF-16 text
// (QString::utf16()), the stand-in for the wide "%s".
QString FormatWide(const char* format, ...);
void AppendFormatWide(QString& text, const char* format, ...);
QString VFormatWide(const char* format, va_list args);

// Next token of `text` after `position`, delimited by any character of `delimiters`.
// Skips leading delimiters; on a token sets `position` one past the delimiter that ended it
// (or one past the end); with nothing left returns "" and sets `position` to -1.
// A negative start position is a caller error and yields "" with `position` -1.
std::string Tokenize(const std::string& text, const char* delimiters, int& position);

// `text` as it may stand in a message of one line: control characters (line breaks included)
// and line and paragraph separators become U+FFFD, so quoted text cannot start lines of its own.
QString OneLine(QString text);

// Widens `count` bytes of local 8-bit text; the result ends at the first NUL.
QString ToWideString(const char* text, int count);

// Reads text as C strtol with base 16 does: leading white space, optional sign, optional
// 0x/0X, hex digits of either case up to the first other character; no digits gives 0;
// out of range clamps to LONG_MAX / LONG_MIN. Stops at a NUL.
long HexToLong(const char* text);
inline long HexToLong(const std::string& text) { return HexToLong(text.c_str()); }
