// The manual that the HELP button opens, looked up in the working directory and then in the
// installed documentation folder.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "certs/LocalFolder.h"
#include "certs/SlotCommands.h"
#include "engine/SlotEngine.h"
#include "fakes/FakeCommPort.h"
#include "fakes/FakeDialogServices.h"

namespace {

class HelpButton : public ::testing::Test {
protected:
    FakePortProvider ports;
    FakeDialogServices dialogs;
    CSlotEngine engine{ports, dialogs};
    CSlotCommands commands{engine, dialogs};
    QTemporaryDir dir;
    QString savedCurrent = QDir::currentPath();

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir::setCurrent(dir.path()));
    }
    void TearDown() override { QDir::setCurrent(savedCurrent); }
    void Create(const char* name) {
        QFile file(QString::fromLatin1(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QString InDir(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
};

TEST_F(HelpButton, PrefersTheFirstManual) {
    Create("QuillkitManuals_en.pdf");
    Create("QuillkitManuals.pdf");
    commands.OnBnClickedHelp();
    EXPECT_EQ(dialogs.openedDocuments, std::vector<QString>{InDir("QuillkitManuals.pdf")});
}

TEST_F(HelpButton, FallsBackToTheEnglishManual) {
    Create("QuillkitManuals_en.pdf");
    commands.OnBnClickedHelp();
    EXPECT_EQ(dialogs.openedDocuments, std::vector<QString>{InDir("QuillkitManuals_en.pdf")});
}

TEST_F(HelpButton, IgnoresSubfoldersOfTheWorkingDirectory) {
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("docs")));
    Create("docs/QuillkitManuals.pdf");
    commands.OnBnClickedHelp();
    EXPECT_TRUE(dialogs.openedDocuments.empty());
    EXPECT_TRUE(dialogs.messages.empty());
}

// A program in <root>/prefix/bin started in <root>/work: its installed manual is in
// <root>/prefix/share/doc/quillbank, behind the working directory's.
TEST(HelpManualLookup, WorkingDirectoryFirstThenTheInstalledFolder) {
    const char* installed = "prefix/share/doc/quillbank/";
    const struct {
        const char* what;
        std::vector<QString> files;  // relative to <root>
        QString expected;            // relative to <root>; empty: none found
    } cases[] = {
        {"installed English manual",
         {QStringLiteral("prefix/share/doc/quillbank/QuillkitManuals_en.pdf")},
         QStringLiteral("prefix/share/doc/quillbank/QuillkitManuals_en.pdf")},
        {"both installed: the first name",
         {QStringLiteral("prefix/share/doc/quillbank/QuillkitManuals_en.pdf"),
          QStringLiteral("prefix/share/doc/quillbank/QuillkitManuals.pdf")},
         QStringLiteral("prefix/share/doc/quillbank/QuillkitManuals.pdf")},
        {"the working directory's second name beats the installed first",
         {QStringLiteral("work/QuillkitManuals_en.pdf"),
          QStringLiteral("prefix/share/doc/quillbank/QuillkitManuals.pdf")},
         QStringLiteral("work/QuillkitManuals_en.pdf")},
        {"other folders of the prefix are not looked at",
         {QStringLiteral("prefix/share/doc/QuillkitManuals.pdf"),
          QStringLiteral("prefix/bin/QuillkitManuals_en.pdf")},
         QString()},
        {"none at all", {}, QString()},
    };
    const QString saved = QDir::currentPath();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir root;
        ASSERT_TRUE(root.isValid());
        const QDir dir(root.path());
        ASSERT_TRUE(dir.mkpath(QStringLiteral("work")) &&
                    dir.mkpath(QStringLiteral("prefix/bin")) &&
                    dir.mkpath(QString::fromLatin1(installed)));
        for (const QString& file : c.files) {
            QFile f(dir.filePath(file));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        ASSERT_TRUE(QDir::setCurrent(dir.filePath(QStringLiteral("work"))));
        const QString found = FindHelpManual(dir.filePath(QStringLiteral("prefix/bin")));
        QDir::setCurrent(saved);
        EXPECT_EQ(found, c.expected.isEmpty() ? QString() : dir.filePath(c.expected));
    }
}

}  // namespace
