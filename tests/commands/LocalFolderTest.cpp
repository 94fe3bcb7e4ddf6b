// The manual that the HELP button opens, looked up in the working directory.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "certs/LocalFolder.h"
#include "engine/SlotEngine.h"
#include "fakes/FakeCommPort.h"
#include "fakes/FakeDialogServices.h"

namespace {

class HelpButton : public ::testing::Test {
protected:
    FakePortProvider ports;
    FakeDialogServices dialogs;
    CSlotEngine engine{ports, dialogs};
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
    engine.OnBnClickedHelp();
    EXPECT_EQ(dialogs.openedDocuments, std::vector<QString>{InDir("QuillkitManuals.pdf")});
}

TEST_F(HelpButton, FallsBackToTheEnglishManual) {
    Create("QuillkitManuals_en.pdf");
    engine.OnBnClickedHelp();
    EXPECT_EQ(dialogs.openedDocuments, std::vector<QString>{InDir("QuillkitManuals_en.pdf")});
}

TEST_F(HelpButton, LooksOnlyInTheWorkingDirectory) {
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("docs")));
    Create("docs/QuillkitManuals.pdf");
    engine.OnBnClickedHelp();
    EXPECT_TRUE(dialogs.openedDocuments.empty());
    EXPECT_TRUE(dialogs.messages.empty());
}

}  // namespace
