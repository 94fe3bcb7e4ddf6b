// The scan for keys given twice: it must find them however they are spelt, and must not
// take text inside strings, or the same key in another object, for a repetition.

#include "session/JsonDuplicateKeys.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

namespace {

TEST(JsonDuplicateKeys, FindsARepeatedKeyInItsObjectOnly) {
    struct Case {
        const char* json;
        const char* where;  // nullptr: no key is given twice
        const char* key;
    };
    const Case cases[] = {
        {R"({"a":1,"b":{"a":2},"c":[{"a":3},{"a":4}]})", nullptr, nullptr},
        {R"({"A":1,"a":2,"a ":3})", nullptr, nullptr},
        {R"({"s":"\"a\":{\"a\":1}","t":"\\","a":1})", nullptr, nullptr},
        {R"([{"k":1},{"k":2}])", nullptr, nullptr},
        {R"({"a":1,"b":[],"a":2})", "", "a"},
        {R"({"\u0061":1,"a":2})", "", "a"},
        {R"({"a\/b":1,"a/b":2})", "", "a/b"},
        {R"({"\ud83d\ude00":1,"😀":2})", "", "😀"},
        {R"({"t\t":1,"t\u0009":2})", "", "t\t"},
        {R"({"x":[[1,{"k":true,"k":null}]]})", "x[0][1]", "k"},
        {R"({"slots":[{"slot":0},{"slot":1,"file":"f","slot":2}]})", "slots[1]", "slot"},
        {R"({"a":{"b":{"c":1,"d":{},"c":2}}})", "a.b", "c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        const QByteArray json(c.json);
        ASSERT_FALSE(QJsonDocument::fromJson(json).isNull()) << "the scan reads valid JSON only";
        const std::optional<DuplicateKey> found = FindDuplicateKey(json);
        ASSERT_EQ(found.has_value(), c.where != nullptr);
        if (!found) continue;
        EXPECT_EQ(found->where.toStdString(), c.where);
        EXPECT_EQ(found->key.toStdString(), c.key);
    }
}

}  // namespace
