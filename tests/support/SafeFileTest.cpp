#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "support/SafeFile.h"

namespace {

// The real calls, with one of them failing on its n-th use.
class FailingCalls : public FileSystemCalls {
public:
    std::string failCall;  // "open", "write", "sync", "close", "rename", "link"
    int failOn = 1;        // which use of it fails
    int error = ENOSPC;
    long shortWrite = -1;  // >= 0: every write takes at most this many bytes
    unsigned lastCreateMode = 0;

    int Open(const char* path, int flags, unsigned mode) override {
        if ((flags & O_CREAT) != 0) lastCreateMode = mode;
        return Fails("open") ? -1 : FileSystemCalls::Open(path, flags, mode);
    }
    long Write(int fd, const void* data, std::size_t size) override {
        if (Fails("write")) return -1;
        if (shortWrite >= 0 && size > static_cast<std::size_t>(shortWrite))
            size = static_cast<std::size_t>(shortWrite);
        return size == 0 ? 0 : FileSystemCalls::Write(fd, data, size);
    }
    int Sync(int fd) override { return Fails("sync") ? -1 : FileSystemCalls::Sync(fd); }
    int Close(int fd) override {
        if (Fails("close")) {
            FileSystemCalls::Close(fd);  // the descriptor is gone either way, as on Linux
            return -1;
        }
        return FileSystemCalls::Close(fd);
    }
    int Rename(const char* from, const char* to) override {
        return Fails("rename") ? -1 : FileSystemCalls::Rename(from, to);
    }
    int Link(const char* from, const char* to) override {
        return Fails("link") ? -1 : FileSystemCalls::Link(from, to);
    }

private:
    bool Fails(const char* call) {
        if (failCall != call || --failOn != 0) return false;
        errno = error;
        return true;
    }
};

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void Put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                  QDir::System, QDir::Name);
}

unsigned Mode(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777u : 0u;
}

// A backup's three files in `dir`, each begun and holding "new NAME".
const QStringList kSetNames = {QStringLiteral("00-server.crt"), QStringLiteral("01-server.key"),
                               QStringLiteral("manifest.json")};
void StageSet(const QTemporaryDir& dir, FileSystemCalls& calls, std::vector<SafeFile>& files,
              std::vector<SafeFile*>& set) {
    files.reserve(kSetNames.size());
    for (const QString& name : kSetNames) {
        files.emplace_back(calls);
        ASSERT_TRUE(files.back().Begin(dir.filePath(name), FileAccess::Usual));
        const QByteArray bytes = "new " + name.toLatin1();
        ASSERT_TRUE(files.back().Write(bytes.data(), bytes.size()));
        set.push_back(&files.back());
    }
}

// Each way a save can fail or stop: the final name keeps what it held, no temporary stays,
// and a failure names the file and the system's reason.
TEST(SafeFile, EveryFailureOrInterruptionLeavesTheFinalNameAsItWas) {
    enum class Stop { None, AfterBegin, AfterWrite, AfterFinish };
    struct Case {
        const char* name;
        std::string failCall;
        int error;
        long shortWrite;
        Stop stop;
        const char* reason;  // expected in Error(); nullptr: no failure, only an interruption
    };
    const std::vector<Case> cases = {
        {"no space on write", "write", ENOSPC, -1, Stop::None, "No space left on device"},
        {"disk full: nothing more taken", "", 0, 0, Stop::None, "No space left on device"},
        {"sync fails", "sync", EIO, -1, Stop::None, "Input/output error"},
        {"close fails (quota on close)", "close", EDQUOT, -1, Stop::None, "Disk quota exceeded"},
        {"rename fails", "rename", ENOSPC, -1, Stop::None, "No space left on device"},
        {"no permission in the folder", "open", EACCES, -1, Stop::None, "Permission denied"},
        {"read-only file system", "open", EROFS, -1, Stop::None, "Read-only file system"},
        {"interrupted after begin", "", 0, -1, Stop::AfterBegin, nullptr},
        {"interrupted after writing", "", 0, -1, Stop::AfterWrite, nullptr},
        {"interrupted before the rename", "", 0, -1, Stop::AfterFinish, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("server.crt"));
        Put(path, "old content");
        FailingCalls calls;
        calls.failCall = c.failCall;
        calls.error = c.error;
        calls.shortWrite = c.shortWrite;
        QString error;
        {
            SafeFile file(calls);
            const QByteArray bytes(5000, 'n');
            bool ok = file.Begin(path, FileAccess::Usual);
            if (ok && c.stop != Stop::AfterBegin) ok = file.Write(bytes.data(), bytes.size());
            if (ok && c.stop == Stop::AfterFinish) ok = file.Finish();
            if (ok && c.stop == Stop::None) ok = file.Commit();
            EXPECT_EQ(ok, c.reason == nullptr);
            error = file.Error();
        }
        if (c.reason != nullptr) {
            EXPECT_EQ(error, path + QStringLiteral(": ") + QLatin1String(c.reason));
        }
        EXPECT_EQ(Read(path), QByteArray("old content"));
        EXPECT_EQ(Entries(dir.path()), QStringList{QStringLiteral("server.crt")});
    }
}

// A link at the final name is replaced by the file, never written through, whether it
// points at a file or at nothing; a key is owner-only from its creation on.
TEST(SafeFile, LinksAreReplacedAndKeysAreOwnerOnlyFromTheStart) {
    struct Case {
        const char* name;
        bool dangling;
        FileAccess access;
        unsigned createMode;
    };
    const std::vector<Case> cases = {
        {"link to a file outside", false, FileAccess::Usual, 0666},
        {"dangling link", true, FileAccess::Usual, 0666},
        {"key over a link", false, FileAccess::OwnerOnly, 0600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        QTemporaryDir outside;
        const QString victim = outside.filePath(QStringLiteral("victim"));
        if (!c.dangling) Put(victim, "outside");
        const QString path = dir.filePath(QStringLiteral("01-server.key"));
        ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), QFile::encodeName(path).constData()),
                  0);
        FailingCalls calls;
        SafeFile file(calls);
        ASSERT_TRUE(file.Begin(path, c.access));
        ASSERT_TRUE(file.Write("secret", 6));
        ASSERT_TRUE(file.Commit()) << file.Error().toStdString();

        EXPECT_EQ(calls.lastCreateMode, c.createMode);
        EXPECT_FALSE(QFileInfo(path).isSymLink());
        EXPECT_EQ(Read(path), QByteArray("secret"));
        EXPECT_EQ(Read(victim), c.dangling ? QByteArray("<missing>") : QByteArray("outside"));
        if (c.access == FileAccess::OwnerOnly) {
            EXPECT_EQ(Mode(path), 0600u);
        }
        EXPECT_EQ(Entries(dir.path()), QStringList{QStringLiteral("01-server.key")});
    }
}

// Where the folder takes no new file, the existing file is written in place (a key narrowed
// first); a link there is not followed; without the permission nothing is written.
TEST(SafeFile, ClosedFolderWritesTheExistingFileInPlaceOnlyWhenAllowed) {
    struct Case {
        const char* name;
        InPlace inPlace;
        bool link;
        bool written;
    };
    const std::vector<Case> cases = {
        {"in place allowed", InPlace::WhenFolderIsClosed, false, true},
        {"in place not allowed", InPlace::Never, false, false},
        {"a link is not followed", InPlace::WhenFolderIsClosed, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString real = dir.filePath(QStringLiteral("real.key"));
        Put(real, "old content");
        ASSERT_TRUE(QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner |
                                                    QFile::ReadOther));
        QString path = real;
        if (c.link) {
            path = dir.filePath(QStringLiteral("link.key"));
            ASSERT_EQ(::symlink("real.key", QFile::encodeName(path).constData()), 0);
        }
        FailingCalls calls;
        calls.failCall = "open";  // the temporary beside it
        calls.error = EACCES;
        SafeFile file(calls);
        const bool begun = file.Begin(path, FileAccess::OwnerOnly, c.inPlace);
        EXPECT_EQ(begun, c.written);
        if (begun) {
            EXPECT_TRUE(file.WritesInPlace());
            ASSERT_TRUE(file.Write("new", 3));
            ASSERT_TRUE(file.Commit());
        } else {
            EXPECT_EQ(file.Error(), path + QStringLiteral(": Permission denied"));
        }
        EXPECT_EQ(Read(real), c.written ? QByteArray("new") : QByteArray("old content"));
        EXPECT_EQ(Mode(real), c.written ? 0600u : 0604u);
    }
}

// A set of files is published together: when any rename or keeping-aside fails, every final
// name holds its old file again (or none), and nothing else is left in the folder.
TEST(SafeFile, PublishTogetherIsAllOrNothing) {
    struct Case {
        const char* name;
        std::string failCall;
        int failOn;
        bool ok;
    };
    const std::vector<Case> cases = {
        {"all renamed", "", 1, true},
        {"second rename fails", "rename", 2, false},
        {"third rename fails", "rename", 3, false},
        {"first file's sync fails", "sync", 1, false},
        {"no hard links: moved aside instead", "link", 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QStringList& names = kSetNames;
        Put(dir.filePath(names[0]), "old 0");
        Put(dir.filePath(names[2]), "old manifest");
        FailingCalls calls;
        calls.failCall = c.failCall;
        calls.failOn = c.failOn;
        std::vector<SafeFile> files;
        std::vector<SafeFile*> set;
        StageSet(dir, calls, files, set);
        QString error;
        EXPECT_EQ(PublishTogether(set, error, calls), c.ok);
        EXPECT_EQ(error.isEmpty(), c.ok);
        if (c.ok) {
            for (const QString& name : names)
                EXPECT_EQ(Read(dir.filePath(name)), "new " + name.toLatin1());
        } else {
            EXPECT_EQ(Read(dir.filePath(names[0])), QByteArray("old 0"));
            EXPECT_EQ(Read(dir.filePath(names[1])), QByteArray("<missing>"));
            EXPECT_EQ(Read(dir.filePath(names[2])), QByteArray("old manifest"));
        }
        EXPECT_EQ(Entries(dir.path()).size(), c.ok ? 3 : 2) << Entries(dir.path()).join(u' ').toStdString();
    }
}

// A final name held by the user's folder or FIFO refuses the whole set with nothing moved;
// a link there is replaced, its target left alone.
TEST(SafeFile, PublishTogetherGivesWayOnlyToFilesAndLinks) {
    struct Case {
        const char* name;
        std::function<void(const QString& at, const QString& dir)> make;
        bool ok;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"a folder",
         [](const QString& at, const QString&) {
             ASSERT_TRUE(QDir().mkpath(at));
             Put(at + QStringLiteral("/notes.txt"), "the user's notes");
         },
         false, "is a folder"},
        {"a FIFO",
         [](const QString& at, const QString&) {
             ASSERT_EQ(::mkfifo(QFile::encodeName(at).constData(), 0600), 0);
         },
         false, "not a regular file"},
        {"a link",
         [](const QString& at, const QString& dir) {
             Put(dir + QStringLiteral("/target"), "the link's target");
             ASSERT_EQ(::symlink("target", QFile::encodeName(at).constData()), 0);
         },
         true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QStringList& names = kSetNames;
        Put(dir.filePath(names[0]), "old 0");
        c.make(dir.filePath(names[1]), dir.path());
        const QStringList before = Entries(dir.path());
        std::vector<SafeFile> files;
        std::vector<SafeFile*> set;
        StageSet(dir, FileSystemCalls::System(), files, set);
        QString error;
        EXPECT_EQ(PublishTogether(set, error), c.ok);
        EXPECT_TRUE(error.contains(QLatin1String(c.says))) << error.toStdString();
        if (c.ok) {
            EXPECT_EQ(Read(dir.filePath(names[1])), QByteArray("new 01-server.key"));
            EXPECT_EQ(Read(dir.filePath(QStringLiteral("target"))),
                      QByteArray("the link's target"));
        } else {
            EXPECT_EQ(Entries(dir.path()), before);
            EXPECT_EQ(Read(dir.filePath(names[0])), QByteArray("old 0"));
        }
    }
}

}  // namespace
