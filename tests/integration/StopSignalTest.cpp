// SIGINT, SIGTERM and SIGHUP in the middle of a transfer: quillbank-cli stops at the next
// engine step, ends the transfer as Disconnect does and exits with 128 + the signal's
// number; the folder it writes to holds exactly what it held before, and the device saw no
// broken frame. The device runs at a slow line rate so that each transfer lasts seconds. A
// closed standard output or error stops nothing.

#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <array>
#include <map>

#include "LinkRig.h"
#include "Programs.h"

namespace {

struct StopCase {
    const char* name;
    int signo;
    const char* told;      // the last line on standard error
    QStringList command;   // after --port, --trace and --yes; "OUT" is the watched folder
    QStringList progress;  // trace texts to see in this order before the signal is sent
};

// Every file under `folder` (hidden ones too) with its content.
std::map<QString, QByteArray> Contents(const QString& folder) {
    std::map<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[QDir(folder).relativeFilePath(path)] = ReadAll(path);
    }
    return files;
}

QStringList Names(const std::map<QString, QByteArray>& files) {
    QStringList names;
    for (const auto& [name, bytes] : files) names << name;
    return names;
}

// True once every text of `progress` has appeared in `text`, each after the one before.
bool Reached(const QString& text, const QStringList& progress) {
    qsizetype from = 0;
    for (const QString& step : progress) {
        const qsizetype at = text.indexOf(step, from);
        if (at < 0) return false;
        from = at + step.size();
    }
    return true;
}

}  // namespace

TEST(StopSignals, EachEndsTheTransferCleanlyWithItsExitCode) {
    const std::vector<StopCase> cases = {
        // The load reads slot 0 first; the signal comes during the Read's own pieces.
        {"SIGINT during read",
         SIGINT,
         "stopped by SIGINT",
         {QStringLiteral("read"), QStringLiteral("0"), QStringLiteral("OUT/slot0.der")},
         {QStringLiteral("Success Open file idx=0 read"),
          QStringLiteral("Success Open file idx=0 read"), QStringLiteral("Read File(")}},
        {"SIGTERM during backup",
         SIGTERM,
         "stopped by SIGTERM",
         {QStringLiteral("backup"), QStringLiteral("OUT/backup")},
         {QStringLiteral("Read File(")}},
        {"SIGHUP during write",
         SIGHUP,
         "stopped by SIGHUP",
         {QStringLiteral("write"), QStringLiteral("2"), QStringLiteral("OUT/upload.der")},
         {QStringLiteral("Success Open file idx=2 write"), QStringLiteral("Write(")}},
    };
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString slots = dir.filePath(QStringLiteral("slots"));
        const QString out = dir.filePath(QStringLiteral("out"));
        ASSERT_TRUE(QDir().mkpath(slots));
        ASSERT_TRUE(QDir().mkpath(out + QStringLiteral("/backup")));
        ASSERT_TRUE(WriteAll(slots + QStringLiteral("/slot00"), Pattern(SLOT_BUFFER_SIZE, 0)));
        ASSERT_TRUE(WriteAll(slots + QStringLiteral("/slot01"), Pattern(1218, 1)));
        ASSERT_TRUE(WriteAll(out + QStringLiteral("/slot0.der"), "the older file\n"));
        ASSERT_TRUE(WriteAll(out + QStringLiteral("/upload.der"), Pattern(SLOT_BUFFER_SIZE, 7)));
        const std::map<QString, QByteArray> before = Contents(out);

        // About 3 s for each 6144-byte transfer.
        DevsimProcess device;
        ASSERT_TRUE(device.Start({QStringLiteral("--folder"), slots, QStringLiteral("--baud"),
                                  QStringLiteral("38400"), QStringLiteral("--log")},
                                 dir.filePath(QStringLiteral("devsim.log"))));
        QStringList arguments{QStringLiteral("--port"), device.path, QStringLiteral("--trace"),
                              QStringLiteral("--yes")};
        for (const QString& argument : c.command)
            arguments << QString(argument).replace(QStringLiteral("OUT"), out);

        QProcess cli;
        cli.setReadChannel(QProcess::StandardError);
        cli.start(QStringLiteral(QB_CLI), arguments);
        ASSERT_TRUE(cli.waitForStarted(5000));
        QString err;
        QElapsedTimer waited;
        waited.start();
        while (!Reached(err, c.progress) && cli.state() == QProcess::Running &&
               waited.elapsed() < 30000) {
            cli.waitForReadyRead(100);
            err += QString::fromLocal8Bit(cli.readAllStandardError());
        }
        ASSERT_TRUE(Reached(err, c.progress)) << err.toStdString();
        ASSERT_EQ(cli.state(), QProcess::Running) << "the transfer was over before the signal";
        ASSERT_EQ(::kill(static_cast<pid_t>(cli.processId()), c.signo), 0);
        ASSERT_TRUE(cli.waitForFinished(10000));
        err += QString::fromLocal8Bit(cli.readAllStandardError());

        EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(cli.exitCode(), 128 + c.signo) << err.toStdString();
        EXPECT_TRUE(err.endsWith(QStringLiteral("quillbank-cli: %1\n").arg(QLatin1String(c.told))))
            << err.right(300).toStdString();
        EXPECT_TRUE(cli.readAllStandardOutput().isEmpty());

        // No temporary left and no new file; a Read that did not end keeps the older file.
        const std::map<QString, QByteArray> after = Contents(out);
        EXPECT_EQ(Names(after), Names(before));
        for (const auto& [name, bytes] : before)
            EXPECT_TRUE(after.count(name) && after.at(name) == bytes) << name.toStdString();

        const QString log = device.Stop();
        EXPECT_TRUE(ErrorLines(log).isEmpty()) << ErrorLines(log).join(u'\n').toStdString();
        EXPECT_TRUE(log.contains(QStringLiteral("frame errors 0"))) << log.right(300).toStdString();
    }
}

// A reader that goes away (`| head -1`, a pager quit early, a dropped ssh link) takes
// nothing from the job: every device finishes, the journal holds every line, the exit code
// is the job's.
TEST(StopSignals, AClosedOutputNeverCutsTheJobShort) {
    struct Case {
        const char* name;
        std::vector<QProcess::ProcessChannel> closed;
    };
    const std::vector<Case> cases = {
        {"standard output", {QProcess::StandardOutput}},
        {"standard error", {QProcess::StandardError}},
        {"both", {QProcess::StandardOutput, QProcess::StandardError}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QByteArray upload = Pattern(3000, 7);
        const QString file = dir.filePath(QStringLiteral("x.der"));
        const QString journal = dir.filePath(QStringLiteral("j.jsonl"));
        ASSERT_TRUE(WriteAll(file, upload));
        std::array<DevsimProcess, 3> devices;
        QStringList arguments{QStringLiteral("--trace"), QStringLiteral("--yes"),
                              QStringLiteral("--journal"), journal};
        for (size_t i = 0; i < devices.size(); ++i) {
            const QString slots = dir.filePath(QStringLiteral("slots%1").arg(i));
            ASSERT_TRUE(QDir().mkpath(slots));
            ASSERT_TRUE(devices[i].Start(
                {QStringLiteral("--folder"), slots, QStringLiteral("--persist"),
                 QStringLiteral("--baud"), QStringLiteral("57600"), QStringLiteral("--log")},
                dir.filePath(QStringLiteral("devsim%1.log").arg(i))));
            arguments << QStringLiteral("--port") << devices[i].path;
        }
        arguments << QStringLiteral("apply") << QStringLiteral("--no-checks")
                  << QStringLiteral("--slot") << QStringLiteral("7=") + file;

        QProcess cli;
        cli.start(QStringLiteral(QB_CLI), arguments);
        ASSERT_TRUE(cli.waitForStarted(5000));
        for (const QProcess::ProcessChannel channel : c.closed) cli.closeReadChannel(channel);
        ASSERT_TRUE(cli.waitForFinished(60000));
        EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(cli.exitCode(), 0);

        QStringList records;  // "port record/slot outcome"
        for (const QByteArray& line : ReadAll(journal).split('\n')) {
            if (line.isEmpty()) continue;
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            const QString port = entry.value(QStringLiteral("port")).toString();
            records << (entry.value(QStringLiteral("record")).toString() == QLatin1String("device")
                            ? QStringLiteral("%1 device %2")
                                  .arg(port)
                                  .arg(entry.value(QStringLiteral("exitCode")).toInt())
                            : QStringLiteral("%1 slot %2 %3")
                                  .arg(port)
                                  .arg(entry.value(QStringLiteral("slot")).toInt())
                                  .arg(entry.value(QStringLiteral("outcome")).toString()));
        }
        records.sort();
        QStringList expected;
        for (const DevsimProcess& device : devices)
            expected << device.path + QStringLiteral(" device 0")
                     << device.path + QStringLiteral(" slot 7 done");
        expected.sort();
        EXPECT_EQ(records.join(u'|').toStdString(), expected.join(u'|').toStdString());
        for (size_t i = 0; i < devices.size(); ++i) {
            const QString log = devices[i].Stop();
            EXPECT_TRUE(ErrorLines(log).isEmpty()) << ErrorLines(log).join(u'\n').toStdString();
            EXPECT_EQ(ReadAll(dir.filePath(QStringLiteral("slots%1/slot07").arg(i))), upload);
        }
    }
}
