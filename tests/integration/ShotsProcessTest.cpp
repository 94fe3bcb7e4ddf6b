// quillbank-shots as its own process: where its PNG files end up, and how it says that it
// could not put them there.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <vector>

#include "LinkRig.h"
#include "Programs.h"

TEST(ShotsProgram, CreatesItsFolderAndReplacesWhatIsThere) {
    struct Case {
        const char* what;
        const char* folder;      // inside the scratch folder
        const char* plainFile;   // made first, inside the scratch folder (or none)
        const char* linkAtMain;  // a link at FOLDER/main.png to this scratch file (or none)
        const char* reason;      // of the one error line; none: a successful run
    };
    const std::vector<Case> cases = {
        {"a nested folder that does not exist yet is created", "new/deeper/shots", nullptr, nullptr,
         nullptr},
        {"a folder below a plain file cannot be created", "taken/shots", "taken", nullptr,
         "Not a directory"},
        {"a link at a picture's name is replaced, its target untouched", "linked", nullptr,
         "outside", nullptr},
    };
    const char* const pictures[] = {"main.png", "progress.png", "about.png"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir scratch;
        ASSERT_TRUE(scratch.isValid());
        const QString folder = scratch.filePath(QString::fromLatin1(c.folder));
        if (c.plainFile != nullptr) {
            ASSERT_TRUE(WriteAll(scratch.filePath(QString::fromLatin1(c.plainFile)), "plain"));
        }
        const QString outside = c.linkAtMain != nullptr
                                    ? scratch.filePath(QString::fromLatin1(c.linkAtMain))
                                    : QString();
        if (c.linkAtMain != nullptr) {
            ASSERT_TRUE(WriteAll(outside, "outside"));
            ASSERT_TRUE(QDir().mkpath(folder));
            ASSERT_TRUE(QFile::link(outside, folder + QStringLiteral("/main.png")));
        }

        const Finished run = RunProgram(QStringLiteral(QB_SHOTS), {folder});

        if (c.reason != nullptr) {
            EXPECT_NE(run.code, 0);
            EXPECT_EQ(run.out, QString());
            EXPECT_EQ(run.err, QStringLiteral("quillbank-shots: cannot create %1: %2\n")
                                   .arg(folder, QString::fromLatin1(c.reason)));
            EXPECT_FALSE(QFileInfo::exists(folder));
            continue;
        }
        EXPECT_EQ(run.code, 0) << run.err.toStdString();
        QString printed;
        for (const char* name : pictures) {
            const QString path = folder + QLatin1Char('/') + QString::fromLatin1(name);
            printed += path + QLatin1Char('\n');
            const QFileInfo info(path);
            EXPECT_TRUE(info.isFile() && !info.isSymLink()) << name;
            EXPECT_TRUE(ReadAll(path).startsWith("\x89PNG\r\n\x1a\n")) << name;
        }
        EXPECT_EQ(run.out, printed);
        const QDir::Filters everything =
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
        EXPECT_EQ(QDir(folder).entryList(everything).size(), 3) << "no temporary file left";
        if (c.linkAtMain != nullptr) {
            EXPECT_EQ(ReadAll(outside), QByteArray("outside"));
        }
    }
}
