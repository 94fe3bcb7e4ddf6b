// read and backup on a file system that really fills up (a small tmpfs, which needs root),
// and backup into a folder whose final names are links: nothing under a final name
// changes unless the whole file is there.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <map>

#include "CliRig.h"

namespace {

// Every entry under `folder` (hidden ones too), with its bytes; links by their target.
std::map<QString, QByteArray> Contents(const QString& folder) {
    std::map<QString, QByteArray> entries;
    for (const QFileInfo& info :
         QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                    QDir::System)) {
        if (info.isSymLink())
            entries[info.fileName()] = "-> " + QFile::encodeName(info.symLinkTarget());
        else if (info.isDir())
            entries[info.fileName()] = "<folder>";
        else
            entries[info.fileName()] = ReadAll(info.filePath());
    }
    return entries;
}

class FullDisk : public CliAgainstDevice {
protected:
    void SetUp() override {
        CliAgainstDevice::SetUp();
        disk = Path("disk");
        ASSERT_TRUE(QDir().mkpath(disk));
        if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
        if (::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=256k") != 0)
            GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
        mounted = true;
    }
    void TearDown() override {
        if (mounted) ::umount2(QFile::encodeName(disk).constData(), MNT_DETACH);
        CliAgainstDevice::TearDown();
    }
    // Takes every free byte of the disk.
    void Fill() {
        QFile filler(disk + QStringLiteral("/filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();
        QFile probe(disk + QStringLiteral("/probe"));
        ASSERT_TRUE(probe.open(QIODevice::WriteOnly));
        EXPECT_TRUE(probe.write(block) <= 0 || !probe.flush()) << "the disk is not full";
        probe.close();
        probe.remove();
    }

    QString disk;
    bool mounted = false;
};

// read, backup into a new folder and backup --force over an older backup, each on a disk
// that fills up: exit 8 naming the file and the reason, and the disk as it was.
TEST_F(FullDisk, EveryCommandFailsWithTheReasonAndLeavesTheFinalNamesAsTheyWere) {
    struct Case {
        const char* name;
        const char* arguments;  // "@" stands for the disk's folder and a slash
        const char* named;      // the file the message names, under the disk
    };
    const std::vector<Case> cases = {
        {"read over an older file", "--yes read 0 @server.crt", "server.crt"},
        {"backup into a new folder", "backup @new", "new/00-server.crt"},
        {"backup --force over an older backup", "--force backup @old", "old/00-server.crt"},
    };
    ASSERT_TRUE(StartDevice({}, SimOptions::Content::Sample));
    // An older file and an older backup, taken while there was room.
    ASSERT_TRUE(WriteAll(disk + QStringLiteral("/server.crt"), "older certificate"));
    const CliResult older = RunOnPort({QStringLiteral("backup"), disk + QStringLiteral("/old")});
    ASSERT_EQ(older.code, CLI_OK) << older.err.toStdString();
    Fill();
    const std::map<QString, QByteArray> before = Contents(disk);
    const std::map<QString, QByteArray> oldBackup = Contents(disk + QStringLiteral("/old"));
    ASSERT_FALSE(oldBackup.empty());

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList arguments =
            QString::fromLatin1(c.arguments).replace(u'@', disk + u'/').split(u' ');
        const CliResult r = RunOnPort(arguments);
        EXPECT_EQ(r.code, CLI_LOCAL_FILE) << r.err.toStdString();
        EXPECT_EQ(r.err, QStringLiteral("quillbank-cli: cannot write %1/%2: No space left on device\n")
                             .arg(disk, QLatin1String(c.named)));
        EXPECT_FALSE(r.out.contains(QStringLiteral("saved"))) << r.out.toStdString();
        EXPECT_EQ(Contents(disk), before);
        EXPECT_EQ(Contents(disk + QStringLiteral("/old")), oldBackup);
    }
}

// Links named like a backup's files are replaced inside the folder, never written through:
// the file they point at, and the place a dangling one names, stay as they were.
TEST_F(CliAgainstDevice, BackupReplacesLinksAtItsFinalNames) {
    const QString folder = Path("backup");
    const QString outside = Path("outside");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(WriteAll(outside + QStringLiteral("/victim"), "not yours"));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/victim"),
                            folder + QStringLiteral("/01-server.key")));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/created"),
                            folder + QStringLiteral("/manifest.json")));
    ASSERT_TRUE(StartDevice({}, SimOptions::Content::Sample));

    const CliResult r = RunOnPort({QStringLiteral("--force"), QStringLiteral("backup"), folder});
    ASSERT_EQ(r.code, CLI_OK) << r.err.toStdString();

    EXPECT_EQ(Contents(outside), (std::map<QString, QByteArray>{{QStringLiteral("victim"), "not yours"}}));
    for (const char* name : {"01-server.key", "manifest.json"}) {
        const QFileInfo info(folder + u'/' + QLatin1String(name));
        EXPECT_TRUE(info.isFile() && !info.isSymLink()) << name;
    }
    EXPECT_EQ(ReadAll(folder + QStringLiteral("/01-server.key")), sim->device.Slot(SLOT_SERVER_KEY));
    struct stat key {};
    ASSERT_EQ(::lstat(QFile::encodeName(folder + QStringLiteral("/01-server.key")).constData(), &key), 0);
    EXPECT_EQ(key.st_mode & 0777, 0600u);
}

}  // namespace
