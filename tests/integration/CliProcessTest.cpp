// The two programs end to end: quillbank-cli against quillbank-devsim, each its own
// process, at the real 100 ms tick. The device program logs every frame it checks.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "LinkRig.h"
#include "Programs.h"

namespace {
class ProgramsEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(Slots()));
        ASSERT_TRUE(WriteAll(Slots() + QStringLiteral("/slot00"), Pattern(500, 0)));
        ASSERT_TRUE(WriteAll(Slots() + QStringLiteral("/slot01"), Pattern(1218, 1)));
    }
    QString Slots() const { return dir.filePath(QStringLiteral("slots")); }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    bool StartDevice(QStringList extra = {}) {
        return device.Start(QStringList{QStringLiteral("--folder"), Slots(), QStringLiteral("--persist"),
                                        QStringLiteral("--log")} +
                                extra,
                            Path("devsim.log"));
    }
    QStringList OnPort(QStringList arguments) const {
        return QStringList{QStringLiteral("--port"), device.path} + arguments;
    }

    QTemporaryDir dir;
    DevsimProcess device;
};
}  // namespace

TEST_F(ProgramsEndToEnd, ListSendsOnlyFramesTheDeviceAccepts) {
    ASSERT_TRUE(StartDevice());
    const Finished list = RunCli(OnPort({QStringLiteral("list")}));
    ASSERT_EQ(list.code, 0) << list.err.toStdString();
    const QStringList rows = list.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 15);
    EXPECT_EQ(rows[1], QStringLiteral(" 1  Key            File Size : 1218Bytes"));
    EXPECT_EQ(rows[2], QStringLiteral(" 2  Certificate 1"));

    const QString log = device.Stop();
    EXPECT_TRUE(ErrorLines(log).isEmpty()) << ErrorLines(log).join(u'\n').toStdString();
    // Connect; open, one read, close of slot 0; open, two reads, close of slot 1 (1218
    // bytes in pieces of 1024); thirteen refused opens.
    EXPECT_TRUE(log.contains(QStringLiteral("frames received 21, answers sent 21, frame errors 0")))
        << log.right(300).toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("<- CMD:0000,CNT:00,DATA:FFFF000000,SUM:5D\\r\\n")));
}

TEST_F(ProgramsEndToEnd, WriteReadBackAndRemove) {
    ASSERT_TRUE(StartDevice());
    const QByteArray content = Pattern(700, 5);
    ASSERT_TRUE(WriteAll(Path("upload.der"), content));

    const Finished write = RunCli(OnPort({QStringLiteral("write"), QStringLiteral("5"), Path("upload.der")}));
    EXPECT_EQ(write.code, 0) << write.err.toStdString();
    EXPECT_EQ(ReadAll(Slots() + QStringLiteral("/slot05")), content);

    const Finished read = RunCli(OnPort({QStringLiteral("read"), QStringLiteral("5"), Path("back.der")}));
    EXPECT_EQ(read.code, 0) << read.err.toStdString();
    EXPECT_EQ(ReadAll(Path("back.der")), content);

    const Finished remove = RunCli(OnPort({QStringLiteral("--yes"), QStringLiteral("remove"), QStringLiteral("5")}));
    EXPECT_EQ(remove.code, 0) << remove.err.toStdString();
    EXPECT_FALSE(QFile::exists(Slots() + QStringLiteral("/slot05")));

    const QString log = device.Stop();
    EXPECT_TRUE(ErrorLines(log).isEmpty()) << ErrorLines(log).join(u'\n').toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("frame errors 0")));
}

TEST_F(ProgramsEndToEnd, DeviceVanishingMidTransferEndsTheProgram) {
    ASSERT_TRUE(StartDevice({QStringLiteral("--fault"), QStringLiteral("vanish,cmd=9030,slot=1")}));
    const Finished list = RunCli(OnPort({QStringLiteral("list")}));
    EXPECT_EQ(list.code, 10) << list.err.toStdString();
    EXPECT_TRUE(list.err.contains(QStringLiteral("connection was lost")));
    EXPECT_TRUE(list.out.isEmpty());
    device.Stop();
}

TEST(Programs, VersionGoesToStandardOutput) {
    QProcess devsim;
    devsim.start(QStringLiteral(QB_DEVSIM), {QStringLiteral("--version")});
    ASSERT_TRUE(devsim.waitForFinished(10000));
    EXPECT_EQ(devsim.exitCode(), 0);
    EXPECT_TRUE(devsim.readAllStandardOutput().startsWith("quillbank-devsim "));
}

// Two runs, each on two devices, append to one journal at the same time: every line whole.
TEST(Programs, RunsAppendingToOneJournalAtOnceLeaveWholeLines) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    DevsimProcess devices[4];
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(devices[i].Start({QStringLiteral("--sample")},
                                     dir.filePath(QStringLiteral("devsim%1.log").arg(i))));
    const QString journal = dir.filePath(QStringLiteral("journal.jsonl"));
    QProcess runs[2];
    for (int r = 0; r < 2; ++r)
        runs[r].start(QStringLiteral(QB_CLI),
                      {QStringLiteral("--journal"), journal, QStringLiteral("--port"),
                       devices[2 * r].path, QStringLiteral("--port"), devices[2 * r + 1].path,
                       QStringLiteral("backup"), dir.filePath(QStringLiteral("backup%1").arg(r))});
    for (QProcess& run : runs) {
        ASSERT_TRUE(run.waitForFinished(60000));
        EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
    }
    const QList<QByteArray> lines = ReadAll(journal).split('\n');
    // Six slots of the sample set and the device's own line, for each of four devices.
    ASSERT_EQ(lines.size(), 4 * 7 + 1);
    EXPECT_TRUE(lines.back().isEmpty());
    int devicesSeen = 0;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        QJsonParseError error;
        const QJsonObject line = QJsonDocument::fromJson(lines[i], &error).object();
        EXPECT_EQ(error.error, QJsonParseError::NoError) << lines[i].toStdString();
        if (line.value(QStringLiteral("record")).toString() == QLatin1String("device")) ++devicesSeen;
    }
    EXPECT_EQ(devicesSeen, 4);
}
