#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <string>
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

namespace {
// LC_TIME of a locale whose time of day is 12-hour, as many users' locales are.
constexpr char kTwelveHourTime[] = R"(LC_TIME
abday "Sun";"Mon";"Tue";"Wed";"Thu";"Fri";"Sat"
day "Sunday";"Monday";"Tuesday";"Wednesday";"Thursday";"Friday";"Saturday"
abmon "Jan";"Feb";"Mar";"Apr";"May";"Jun";"Jul";"Aug";"Sep";"Oct";"Nov";"Dec"
mon "January";"February";"March";"April";"May";"June";"July";"August";"September";"October";"November";"December"
d_t_fmt "%a %d %b %Y %r"
d_fmt "%m/%d/%Y"
t_fmt "%r"
am_pm "AM";"PM"
t_fmt_ampm "%I:%M:%S %p"
END LC_TIME
)";
}  // namespace

// The application object takes LC_TIME from the environment, so the stamp must not depend
// on what "%X" means there.
TEST_F(TraceCapture, StampStaysTwentyFourHourUnderATwelveHourTimeLocale) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile source(dir.filePath(QStringLiteral("twelve.src")));
    ASSERT_TRUE(source.open(QIODevice::WriteOnly));
    source.write(kTwelveHourTime);
    source.close();
    QProcess localedef;
    localedef.setProcessChannelMode(QProcess::MergedChannels);
    localedef.start(
        QStringLiteral("localedef"),
        {QStringLiteral("-c"), QStringLiteral("-i"), source.fileName(), QStringLiteral("-f"),
         QStringLiteral("UTF-8"), dir.filePath(QStringLiteral("twelve.UTF-8"))});
    localedef.waitForFinished(60000);
    if (!QFile::exists(dir.filePath(QStringLiteral("twelve.UTF-8/LC_TIME"))))
        GTEST_SKIP() << "localedef could not build a test locale";

    const char* oldPath = std::getenv("LOCPATH");
    const std::string previousPath = oldPath != nullptr ? oldPath : "";
    const std::string previousLocale = std::setlocale(LC_TIME, nullptr);
    qputenv("LOCPATH", QFile::encodeName(dir.path()));
    const bool switched = std::setlocale(LC_TIME, "twelve.UTF-8") != nullptr;
    char sample[64] = {};
    std::tm afternoon{};
    afternoon.tm_hour = 14;
    if (switched) std::strftime(sample, sizeof sample, "%X", &afternoon);
    Trace("Success connect.");
    std::setlocale(LC_TIME, previousLocale.c_str());
    if (oldPath != nullptr)
        qputenv("LOCPATH", QByteArray(previousPath.c_str()));
    else
        qunsetenv("LOCPATH");

    if (!switched) GTEST_SKIP() << "the test locale could not be selected";
    ASSERT_STREQ(sample, "02:00:00 PM") << "the test locale is not 12-hour";
    ASSERT_EQ(debug.size(), 2u);
    const auto match = kStamped.match(debug[0]);
    ASSERT_TRUE(match.hasMatch()) << debug[0].toStdString();
    EXPECT_EQ(match.captured(2), QStringLiteral("Success connect.")) << debug[0].toStdString();
}

TEST(DebugTextLines, EveryPieceOnALineOfItsOwnTraceLinesUnchanged) {
    DebugTextLines lines;
    QString text;
    for (const char* piece :
         {"12:00:00 Success connect.", "\r\n", "Example CA", "Second CA", "", "read=550.000000\r\n",
          "read error", "12:00:01 Try Next File", "\r\n", "read error"})
        text += lines(QString::fromLatin1(piece));
    text += lines.Finish();
    EXPECT_EQ(text, QStringLiteral("12:00:00 Success connect.\r\nExample CA\nSecond CA\n"
                                   "read=550.000000\r\nread error\n12:00:01 Try Next File\r\n"
                                   "read error\n"));
    EXPECT_EQ(lines.Finish(), QString());
}
