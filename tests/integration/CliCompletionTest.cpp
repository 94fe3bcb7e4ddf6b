// The bash completion is written by hand; it must offer the commands and options of the
// command table, and complete each command's arguments as the table describes them.

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include "CommandTable.h"

namespace {

QString Script() {
    QFile file(QStringLiteral(QB_COMPLETION_SCRIPT));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << QB_COMPLETION_SCRIPT;
    return QString::fromUtf8(file.readAll());
}

// The words of `local NAME="..."`.
QStringList LocalWords(const QString& script, const char* name) {
    const QRegularExpression re(QStringLiteral("local %1=\"([^\"]*)\"").arg(QLatin1String(name)));
    const QRegularExpressionMatch match = re.match(script);
    EXPECT_TRUE(match.hasMatch()) << name;
    return match.captured(1).split(u' ', Qt::SkipEmptyParts);
}

QSet<QString> SetOf(const QStringList& words) {
    return QSet<QString>(words.begin(), words.end());
}

// What an arm of the script's `case $command in` offers for the arguments.
ArgumentKind KindOfArm(const QString& body) {
    const bool slot = body.contains(QStringLiteral("seq 0 14"));
    if (body.contains(QStringLiteral("_filedir json"))) return ArgumentKind::JsonFile;
    if (body.contains(QStringLiteral("_filedir -d"))) return ArgumentKind::Folder;
    if (body.contains(QStringLiteral("_filedir")))
        return slot ? ArgumentKind::SlotThenFile : ArgumentKind::Files;
    return slot ? ArgumentKind::Slot : ArgumentKind::None;
}

TEST(CliCompletion, OffersTheCommandsAndOptionsOfTheTable) {
    const QString script = Script();
    QStringList names;
    for (const CommandRow& command : CliCommands()) names << QLatin1String(command.name);
    EXPECT_EQ(LocalWords(script, "commands"), names);

    QStringList flags, valued;
    for (const OptionRow& option : CliOptionRows())
        (option.value != nullptr ? valued : flags)
            << QStringLiteral("--") + QLatin1String(option.name);
    EXPECT_EQ(SetOf(LocalWords(script, "flags")), SetOf(flags));
    EXPECT_EQ(SetOf(LocalWords(script, "valued")), SetOf(valued));

    // Finding the command passes over each option that takes a value, with its value.
    const QRegularExpression skip(QStringLiteral("^\\s*([-a-z |]+)\\) \\(\\(i\\+\\+\\)\\) ;;$"),
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch skipped = skip.match(script);
    ASSERT_TRUE(skipped.hasMatch());
    EXPECT_EQ(SetOf(skipped.captured(1).split(QStringLiteral(" | "))), SetOf(valued));
}

TEST(CliCompletion, CompletesEachCommandsArgumentsAsTheTableSays) {
    const QString script = Script();
    const qsizetype from = script.indexOf(QStringLiteral("case $command in"));
    ASSERT_GE(from, 0);
    const QString block = script.mid(from, script.indexOf(QStringLiteral("esac"), from) - from);
    // Each arm: its patterns, then its body up to ";;".
    const QRegularExpression arm(
        QStringLiteral("^\\s*([a-z |\"]+)\\)\\n(.*?);;"),
        QRegularExpression::MultilineOption | QRegularExpression::DotMatchesEverythingOption);
    std::map<QString, ArgumentKind> offered;
    for (auto it = arm.globalMatch(block); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        for (const QString& pattern : match.captured(1).split(QStringLiteral(" | ")))
            offered[pattern.trimmed()] = KindOfArm(match.captured(2));
    }
    ASSERT_TRUE(offered.count(QStringLiteral("\"\""))) << "no arm for the command word itself";
    offered.erase(QStringLiteral("\"\""));
    for (const CommandRow& command : CliCommands()) {
        const auto found = offered.find(QLatin1String(command.name));
        const ArgumentKind kind = found == offered.end() ? ArgumentKind::None : found->second;
        EXPECT_EQ(kind, command.kind) << command.name;
        if (found != offered.end()) offered.erase(found);
    }
    EXPECT_TRUE(offered.empty()) << "an arm for an unknown command: "
                                 << offered.begin()->first.toStdString();
}

}  // namespace
