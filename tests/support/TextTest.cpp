#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>
#include <string>

#include "support/Text.h"

TEST(Format, HexAndDecimalConversions) {
    EXPECT_EQ(FormatNarrow("%02X", 0u), "00");
    EXPECT_EQ(FormatNarrow("%02X", 255u), "FF");
    EXPECT_EQ(FormatNarrow("%04X", 0x80u), "0080");
    EXPECT_EQ(FormatNarrow("%04d-%02d", 2031, 1), "2031-01");
    EXPECT_EQ(FormatNarrow("read=%f\r\n", 550.0), "read=550.000000\r\n");

    std::string text = "CMD:";
    AppendFormatNarrow(text, "%02X,", 7u);
    EXPECT_EQ(text, "CMD:07,");
}

TEST(Format, WideTextKeepsNonAsciiArguments) {
    const QString path = QStringLiteral("/home/ユーザー/證明.crt");
    EXPECT_EQ(FormatWide("Save to %ls", path.utf16()), QStringLiteral("Save to ") + path);
    QString line = FormatWide("Write(%d/%d)", 256, 300);
    AppendFormatWide(line, " %ls", u"ok");
    EXPECT_EQ(line, QStringLiteral("Write(256/300) ok"));
}

TEST(Tokenize, SkipsDelimiterRunsAndReportsPositions) {
    const std::string text = ",A,,B,";
    int pos = 0;
    EXPECT_EQ(Tokenize(text, ",", pos), "A");
    EXPECT_EQ(pos, 3);
    EXPECT_EQ(Tokenize(text, ",", pos), "B");
    EXPECT_EQ(pos, 6);
    EXPECT_EQ(Tokenize(text, ",", pos), "");
    EXPECT_EQ(pos, -1);
}

TEST(Tokenize, PositionCanBeHandedToAnotherDelimiterSet) {
    const std::string field = "CMD:9330";
    int pos = 0;
    EXPECT_EQ(Tokenize(field, ":", pos), "CMD");
    EXPECT_EQ(pos, 4);
    EXPECT_EQ(Tokenize(field, "\r\n", pos), "9330");
    EXPECT_EQ(pos, 9);
}

TEST(Tokenize, TokenAtEndGoesOnePastTheEnd) {
    int pos = 0;
    EXPECT_EQ(Tokenize("ABC", ":", pos), "ABC");
    EXPECT_EQ(pos, 4);
    EXPECT_EQ(Tokenize("ABC", ":", pos), "");
    EXPECT_EQ(pos, -1);
}

TEST(Tokenize, EdgesGiveEmptyWithoutReadingOutside) {
    int pos = -1;
    EXPECT_EQ(Tokenize("A", ",", pos), "");
    EXPECT_EQ(pos, -1);
    pos = 0;
    EXPECT_EQ(Tokenize("", ",", pos), "");
    EXPECT_EQ(pos, -1);
    pos = 0;
    EXPECT_EQ(Tokenize(":::", ":", pos), "");
    EXPECT_EQ(pos, -1);
    pos = 100;
    EXPECT_EQ(Tokenize("short", ",", pos), "");
    EXPECT_EQ(pos, -1);
}

TEST(ToWideString, WidensAndStopsAtNul) {
    const char oid[] = "1.2.840.113549.1.1.1";
    EXPECT_EQ(ToWideString(oid, 20), QStringLiteral("1.2.840.113549.1.1.1"));
    EXPECT_EQ(ToWideString(oid, 0), QString());
    EXPECT_EQ(ToWideString("AB\0CD", 5), QStringLiteral("AB"));
}

TEST(HexToLong, ReadsAsStrtolBase16) {
    EXPECT_EQ(HexToLong("5d"), 0x5D);
    EXPECT_EQ(HexToLong("05D"), 0x5D);
    EXPECT_EQ(HexToLong("0x5D"), 0x5D);
    EXPECT_EQ(HexToLong("0X5d"), 0x5D);
    EXPECT_EQ(HexToLong("G1"), 0);
    EXPECT_EQ(HexToLong(""), 0);
    EXPECT_EQ(HexToLong("  \t-1F"), -0x1F);
    EXPECT_EQ(HexToLong("+F3\r\n"), 0xF3);
    EXPECT_EQ(HexToLong("0x"), 0);
    EXPECT_EQ(HexToLong("0xG"), 0);
    EXPECT_EQ(HexToLong("1F3"), 0x1F3);
    EXPECT_EQ(HexToLong("FFFFFFFFFFFFFFFFFFFF"), LONG_MAX);
    EXPECT_EQ(HexToLong("-FFFFFFFFFFFFFFFFFFFF"), LONG_MIN);
}

// The reader must agree with the C library's strtol on every input, including the edges
// (prefix without digits, signs, overflow).
TEST(HexToLong, AgreesWithStrtolOnRandomText) {
    std::mt19937 rng(12345);
    const std::string alphabet = "0123456789abcdefABCDEFxX+- \t\rGz";
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        const int length = static_cast<int>(rng() % 24);
        for (int j = 0; j < length; ++j) text += alphabet[rng() % alphabet.size()];
        errno = 0;
        const long expected = std::strtol(text.c_str(), nullptr, 16);
        ASSERT_EQ(HexToLong(text), expected) << "input: '" << text << "'";
    }
}
