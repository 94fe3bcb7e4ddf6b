#include "support/Text.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

std::string VFormatNarrow(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0) return {};
    std::string out(static_cast<size_t>(length), '\0');
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    return out;
}

std::string FormatNarrow(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = VFormatNarrow(format, args);
    va_end(args);
    return out;
}

void AppendFormatNarrow(std::string& text, const char* format, ...) {
    va_list args;
    va_start(args, format);
    text += VFormatNarrow(format, args);
    va_end(args);
}

QString VFormatWide(const char* format, va_list args) { return QString::vasprintf(format, args); }

QString FormatWide(const char* format, ...) {
    va_list args;
    va_start(args, format);
    QString out = QString::vasprintf(format, args);
    va_end(args);
    return out;
}

void AppendFormatWide(QString& text, const char* format, ...) {
    va_list args;
    va_start(args, format);
    text += QString::vasprintf(format, args);
    va_end(args);
}

std::string Tokenize(const std::string& text, const char* delimiters, int& position) {
    if (position < 0) {
        position = -1;
        return {};
    }
    const size_t length = text.size();
    size_t start = static_cast<size_t>(position);
    while (start < length && std::strchr(delimiters, text[start]) != nullptr && text[start] != '\0')
        ++start;
    if (start >= length) {
        position = -1;
        return {};
    }
    size_t end = start;
    while (end < length && (text[end] == '\0' || std::strchr(delimiters, text[end]) == nullptr))
        ++end;
    position = static_cast<int>(end + 1);
    return text.substr(start, end - start);
}

QString ToWideString(const char* text, int count) {
    if (text == nullptr || count <= 0) return {};
    QString wide = QString::fromLocal8Bit(text, count);
    const qsizetype nul = wide.indexOf(QChar(u'\0'));
    if (nul >= 0) wide.truncate(nul);
    return wide;
}

namespace {
int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
}  // namespace

long HexToLong(const char* text) {
    if (text == nullptr) return 0;
    const char* p = text;
    while (IsCSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    // "0x" counts as a prefix only when a hex digit follows; otherwise the "0" is the number.
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigitValue(p[2]) >= 0) p += 2;
    unsigned long magnitude = 0;
    bool overflow = false;
    const unsigned long limit =
        negative ? static_cast<unsigned long>(LONG_MAX) + 1UL : static_cast<unsigned long>(LONG_MAX);
    bool any = false;
    for (int d; (d = HexDigitValue(*p)) >= 0; ++p) {
        any = true;
        if (overflow) continue;
        if (magnitude > (limit - static_cast<unsigned long>(d)) / 16UL) {
            overflow = true;
            continue;
        }
        magnitude = magnitude * 16UL + static_cast<unsigned long>(d);
    }
    if (!any) return 0;
    if (overflow) return negative ? LONG_MIN : LONG_MAX;
    if (negative) return magnitude == static_cast<unsigned long>(LONG_MAX) + 1UL
                             ? LONG_MIN
                             : -static_cast<long>(magnitude);
    return static_cast<long>(magnitude);
}

QString OneLine(QString text) {
    for (QChar& c : text) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            c = QChar(QChar::ReplacementCharacter);
    }
    return text;
}
