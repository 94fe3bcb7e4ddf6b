#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <thread>
#include <vector>

#include "support/AppendFile.h"

namespace {
QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
}  // namespace

TEST(AppendFile, RefusesWhatIsNotAFileOfItsOwn) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath(QStringLiteral("target"));
    ASSERT_EQ(::symlink(target.toLocal8Bit().constData(),
                        dir.filePath(QStringLiteral("link")).toLocal8Bit().constData()),
              0);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    // No reader: an open that waited for one would hang here.
    ASSERT_EQ(::mkfifo(dir.filePath(QStringLiteral("fifo")).toLocal8Bit().constData(), 0600), 0);
    struct Case {
        const char* name;
        const char* says;
    };
    for (const Case& c : {Case{"link", "is a symbolic link"}, Case{"folder", "Is a directory"},
                          Case{"missing/journal", "No such file or directory"},
                          Case{"fifo", "not a regular file"}}) {
        SCOPED_TRACE(c.name);
        AppendFile file;
        QString error;
        EXPECT_FALSE(file.Open(dir.filePath(QLatin1String(c.name)), error));
        EXPECT_TRUE(error.contains(QLatin1String(c.says))) << error.toStdString();
    }
    EXPECT_FALSE(QFile::exists(target));
}

// Lines from several threads (and, through the file lock, programs) land whole; a line that
// does not fit is taken back, and the next one that fits still lands.
TEST(AppendFile, EveryLineLandsWholeOrNotAtAll) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("journal"));
    {
        AppendFile file;
        QString error;
        ASSERT_TRUE(file.Open(path, error)) << error.toStdString();
        std::vector<std::jthread> writers;
        for (char who = 'a'; who < 'e'; ++who)
            writers.emplace_back([&file, who] {
                for (int i = 0; i < 100; ++i) {
                    QString failed;
                    EXPECT_TRUE(file.Append(QByteArray(40, who) + '\n', failed));
                }
            });
    }
    const QList<QByteArray> lines = ReadAll(path).split('\n');
    ASSERT_EQ(lines.size(), 401);
    for (qsizetype i = 0; i < 400; ++i) EXPECT_EQ(lines[i], QByteArray(40, lines[i][0])) << i;

    // Files of this process may grow to 100 bytes only: the second line would end at 120.
    const QString small = dir.filePath(QStringLiteral("small"));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limit = saved;
    limit.rlim_cur = 100;
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    AppendFile file;
    QString error;
    ASSERT_TRUE(file.Open(small, error));
    const bool first = file.Append(QByteArray(59, 'x') + '\n', error);
    const bool second = file.Append(QByteArray(59, 'y') + '\n', error);
    QString thirdError;
    const bool third = file.Append(QByteArray(29, 'z') + '\n', thirdError);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);
    EXPECT_TRUE(first);
    EXPECT_FALSE(second);
    EXPECT_TRUE(error.startsWith(small + QStringLiteral(": "))) << error.toStdString();
    EXPECT_TRUE(third) << thirdError.toStdString();
    EXPECT_EQ(ReadAll(small), QByteArray(59, 'x') + '\n' + QByteArray(29, 'z') + '\n');
}
