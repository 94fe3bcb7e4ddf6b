#include <gtest/gtest.h>

#include <QRegularExpression>
#include <vector>

#include "support/Trace.h"

namespace {
class TraceCapture : public ::testing::Test {
protected:
    void SetUp() override {
        m_oldOut = SetStandardOutputSink([this](const QString& s) { out.push_back(s); });
        m_oldDebug = SetDebugOutputSink([this](const QString& s) { debug.push_back(s); });
    }
    void TearDown() override {
        SetStandardOutputSink(m_oldOut);
        SetDebugOutputSink(m_oldDebug);
    }
    std::vector<QString> out;
    std::vector<QString> debug;

private:
    TextSink m_oldOut, m_oldDebug;
};

const QRegularExpression kStamped(QStringLiteral("^([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9] (.*)$"));
}  // namespace

TEST_F(TraceCapture, BareCopyOnStdoutStampedLineThenSeparateLineEnd) {
    Trace("Success connect.");
    Trace("Write(%d/%d)", 256, 300);

    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0] + out[1], QStringLiteral("Success connect.Write(256/300)"));

    ASSERT_EQ(debug.size(), 4u);
    for (int i : {0, 2}) {
        const auto match = kStamped.match(debug[static_cast<size_t>(i)]);
        ASSERT_TRUE(match.hasMatch()) << debug[static_cast<size_t>(i)].toStdString();
    }
    EXPECT_EQ(kStamped.match(debug[0]).captured(2), QStringLiteral("Success connect."));
    EXPECT_EQ(debug[1], QStringLiteral("\r\n"));
    EXPECT_EQ(kStamped.match(debug[2]).captured(2), QStringLiteral("Write(256/300)"));
    EXPECT_EQ(debug[3], QStringLiteral("\r\n"));
}

TEST_F(TraceCapture, UnusedArgumentIsIgnoredAndPathsKeepTheirCharacters) {
    Trace("The connection failed when trying to setting the COM port.", 5);
    const QString path = QStringLiteral("C:\\Users\\ユーザー\\key.key");
    Trace("Save to %ls", path.utf16());
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], QStringLiteral("The connection failed when trying to setting the COM port."));
    EXPECT_EQ(out[1], QStringLiteral("Save to ") + path);
    EXPECT_TRUE(debug[2].endsWith(QStringLiteral("Save to ") + path));
}

TEST_F(TraceCapture, DirectDebugTextHasNoStampAndNoStdoutCopy) {
    OutputDebugText(QStringLiteral("read error"));
    EXPECT_TRUE(out.empty());
    ASSERT_EQ(debug.size(), 1u);
    EXPECT_EQ(debug[0], QStringLiteral("read error"));
}

TEST(DebugTextLines, EveryPieceOnALineOfItsOwnTraceLinesUnchanged) {
    DebugTextLines lines;
    QString text;
    for (const char* piece : {"12:00:00 Success connect.", "\r\n", "Example CA", "Second CA", "",
                              "read=550.000000\r\n", "read error", "12:00:01 Try Next File",
                              "\r\n", "read error"})
        text += lines(QString::fromLatin1(piece));
    text += lines.Finish();
    EXPECT_EQ(text, QStringLiteral("12:00:00 Success connect.\r\nExample CA\nSecond CA\n"
                                   "read=550.000000\r\nread error\n12:00:01 Try Next File\r\n"
                                   "read error\n"));
    EXPECT_EQ(lines.Finish(), QString());
}
