#include "session/JsonDuplicateKeys.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

// The string that starts at the quote at `at`; `at` ends one past its closing quote. Plain
// runs are UTF-8; a \uXXXX escape is one UTF-16 unit, so an escaped surrogate pair and the
// same character written plainly give the same text. Reads nothing past the end, whatever
// the text.
QString ReadString(const QByteArray& json, qsizetype& at) {
    const auto byte = [&](qsizetype i) { return i < json.size() ? json[i] : '"'; };
    QString text;
    qsizetype run = ++at;
    const auto flush = [&] {
        const qsizetype end = std::min(at, json.size());
        if (end > run) text += QString::fromUtf8(json.constData() + run, end - run);
    };
    while (byte(at) != '"') {
        if (byte(at) != '\\') {
            ++at;
            continue;
        }
        flush();
        const char escape = byte(at + 1);
        at += 2;
        if (escape == 'u') {
            char16_t unit = 0;
            for (int i = 0; i < 4; ++i)
                unit = static_cast<char16_t>(unit * 16 + HexDigit(byte(at + i)));
            text += QChar(unit);
            at += 4;
        } else {
            // \b \f \n \r \t stand for control characters, \" \\ \/ for themselves.
            static constexpr char named[] = "bfnrt";
            static constexpr char meant[] = "\b\f\n\r\t";
            const char* found = escape != 0 ? std::strchr(named, escape) : nullptr;
            text += QLatin1Char(found ? meant[found - named] : escape);
        }
        run = at;
    }
    flush();
    ++at;
    return text;
}

struct Container {
    bool object = false;
    std::set<QString> keys;  // objects: the keys so far
    QString key;             // objects: the key of the member being read
    qsizetype index = 0;     // arrays: the element being read
    bool wantKey = true;     // objects: the next string is a key
};

// Where the innermost open container stands: each outer one's current key or index names
// the next. Built only for the answer, so deep or wide text costs no copies of paths.
QString PathOf(const std::vector<Container>& open) {
    QString path;
    for (size_t i = 0; i + 1 < open.size(); ++i) {
        if (!open[i].object)
            path += u'[' + QString::number(open[i].index) + u']';
        else
            path += (path.isEmpty() ? QString() : QStringLiteral(".")) + open[i].key;
    }
    return path;
}

}  // namespace

std::optional<DuplicateKey> FindDuplicateKey(const QByteArray& json) {
    std::vector<Container> open;
    for (qsizetype at = 0; at < json.size();) {
        const char c = json[at];
        if (c == '{' || c == '[') {
            open.push_back(Container{});
            open.back().object = c == '{';
            ++at;
        } else if (c == '}' || c == ']') {
            if (!open.empty()) open.pop_back();
            if (open.empty()) break;  // the text ends here
            ++at;
        } else if (c == ',' && !open.empty()) {
            Container& container = open.back();
            if (container.object)
                container.wantKey = true;
            else
                ++container.index;
            ++at;
        } else if (c == '"') {
            QString text = ReadString(json, at);
            if (!open.empty() && open.back().object && open.back().wantKey) {
                Container& object = open.back();
                if (!object.keys.insert(text).second)
                    return DuplicateKey{PathOf(open), std::move(text)};
                object.key = std::move(text);
                object.wantKey = false;
            }
        } else {
            ++at;  // white space, ':', and the characters of numbers, true, false, null
        }
    }
    return std::nullopt;
}
