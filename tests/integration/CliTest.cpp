// quillbank-cli's session run in-process against the simulated device on a pty, with
// quick ticks: its outputs and an exit code for every way a command can end.

#include <QDir>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QFile>
#include <array>
#include <chrono>
#include <csignal>

#include "CliRig.h"
#include "SampleSet.h"
#include "StopSignals.h"
#include "support/Trace.h"

TEST_F(CliAgainstDevice, ListShowsFifteenRowsOnStandardOutputOnly) {
    ASSERT_TRUE(StartDevice({}, SimOptions::Content::Sample));
    // Without --port the one matching device is used.
    lister.devices = {Device(Port())};
    const CliResult plain = Run({QStringLiteral("list")});
    ASSERT_EQ(plain.code, CLI_OK) << plain.err.toStdString();
    const QStringList rows = plain.Lines();
    ASSERT_EQ(rows.size(), SLOT_COUNT);
    EXPECT_TRUE(rows[0].startsWith(QStringLiteral(" 0  Certificate  ")));
    EXPECT_TRUE(rows[0].contains(QStringLiteral("Sample Root CA")));
    EXPECT_TRUE(rows[1].startsWith(QStringLiteral(" 1  Key  ")));
    EXPECT_TRUE(rows[1].endsWith(QStringLiteral("File Size : %1Bytes").arg(sim->device.Slot(1).size())));
    EXPECT_EQ(rows[14], QStringLiteral("14  Certificate 13"));
    EXPECT_TRUE(plain.err.isEmpty()) << "trace stays silent: " << plain.err.toStdString();

    const CliResult traced = Run({QStringLiteral("--trace"), QStringLiteral("list")});
    EXPECT_EQ(traced.code, CLI_OK);
    EXPECT_EQ(traced.out, plain.out);
    EXPECT_TRUE(traced.err.contains(QStringLiteral("Success connect.")));
    EXPECT_TRUE(traced.err.contains(QStringLiteral("Read File Complete(idx=1)")));
    // Each common name of the summaries on a line of its own, not run into the trace.
    EXPECT_TRUE(traced.err.contains(QStringLiteral("\nSample Root CA\n")))
        << traced.err.toStdString();
    sim->Stop();
    EXPECT_TRUE(sim->device.FrameErrors().isEmpty());
}

TEST_F(CliAgainstDevice, ConfirmationsAndEmptySlots) {
    // Round trips run through the real programs; here: what needs a yes, and reading nothing.
    ASSERT_TRUE(StartDevice());
    ASSERT_TRUE(WriteAll(Path("new.der"), Pattern(100, 7)));
    const CliResult overwrite = RunOnPort({QStringLiteral("write"), QStringLiteral("0"), Path("new.der")});
    EXPECT_EQ(overwrite.code, CLI_CANCELLED);
    EXPECT_TRUE(overwrite.err.contains(QStringLiteral("pass --yes")));
    const CliResult remove = RunOnPort({QStringLiteral("remove"), QStringLiteral("1")});
    EXPECT_EQ(remove.code, CLI_CANCELLED);

    ASSERT_TRUE(WriteAll(Path("old.der"), "keep"));
    const CliResult replace = RunOnPort({QStringLiteral("read"), QStringLiteral("0"), Path("old.der")});
    EXPECT_EQ(replace.code, CLI_CANCELLED);
    EXPECT_EQ(ReadAll(Path("old.der")), QByteArray("keep"));

    const CliResult empty = RunOnPort({QStringLiteral("read"), QStringLiteral("6"), Path("none.der")});
    EXPECT_EQ(empty.code, CLI_EMPTY_SLOT);
    EXPECT_TRUE(empty.err.contains(QStringLiteral("There is no data available to read.")));
    EXPECT_FALSE(QFile::exists(Path("none.der")));

    sim->Stop();
    EXPECT_EQ(sim->device.Slot(0), Pattern(500, 0));
    EXPECT_EQ(sim->device.Slot(1), Pattern(1218, 1));
}

TEST_F(CliAgainstDevice, UsageErrors) {
    for (const QStringList& arguments :
         {QStringList{}, QStringList{QStringLiteral("frob")},
          QStringList{QStringLiteral("read"), QStringLiteral("15"), QStringLiteral("x")},
          QStringList{QStringLiteral("read"), QStringLiteral("-1"), QStringLiteral("x")},
          QStringList{QStringLiteral("read"), QStringLiteral("1")},
          QStringList{QStringLiteral("remove"), QStringLiteral("one")},
          QStringList{QStringLiteral("list"), QStringLiteral("extra")},
          QStringList{QStringLiteral("--timeout"), QStringLiteral("0"), QStringLiteral("list")},
          QStringList{QStringLiteral("--colour"), QStringLiteral("list")}}) {
        const CliResult r = Run(arguments);
        EXPECT_EQ(r.code, CLI_USAGE) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("usage: quillbank-cli")));
    }
    EXPECT_EQ(lister.scans, 0) << "nothing is looked for on a bad command line";
}

TEST_F(CliAgainstDevice, DeviceSelection) {
    const CliResult none = Run({QStringLiteral("list")});
    EXPECT_EQ(none.code, CLI_NO_DEVICE);
    EXPECT_TRUE(none.err.contains(QStringLiteral("no device found")));

    lister.devices = {Device(QStringLiteral("/dev/ttyACM0")), Device(QStringLiteral("/dev/ttyACM1"))};
    const CliResult several = Run({QStringLiteral("list")});
    EXPECT_EQ(several.code, CLI_SEVERAL_DEVICES);
    EXPECT_TRUE(several.err.contains(QStringLiteral("/dev/ttyACM1")));

    const CliResult unopenable = Run({QStringLiteral("--port"), Path("no-such-port"), QStringLiteral("list")});
    EXPECT_EQ(unopenable.code, CLI_PORT_FAILED);
    EXPECT_TRUE(unopenable.err.contains(QStringLiteral("The connection failed when trying to open the COM port.")));

    const CliResult listed = Run({QStringLiteral("ports")});
    EXPECT_EQ(listed.code, CLI_OK);
    EXPECT_EQ(listed.Lines().size(), 2);
    EXPECT_TRUE(listed.Lines()[0].startsWith(QStringLiteral("* ttyACM0\t/dev/ttyACM0")));
}

TEST_F(CliAgainstDevice, DeviceRefusals) {
    ASSERT_TRUE(StartDevice({Fault(FaultKind::RefuseRemove, 1), Fault(FaultKind::RefuseWrite, 3),
                             Fault(FaultKind::RefuseOpen, 0, 1)}));
    // The load opens slot 0 once; the Read's open is refused.
    const CliResult read = RunOnPort({QStringLiteral("read"), QStringLiteral("0"), Path("r.crt")});
    EXPECT_EQ(read.code, CLI_REFUSED);
    EXPECT_TRUE(read.err.contains(QStringLiteral("refused to open slot 0")));
    const CliResult remove = RunOnPort({QStringLiteral("--yes"), QStringLiteral("remove"), QStringLiteral("1")});
    EXPECT_EQ(remove.code, CLI_REFUSED);
    EXPECT_TRUE(remove.err.contains(QStringLiteral("did not remove slot 1")));

    ASSERT_TRUE(WriteAll(Path("c.crt"), Pattern(100, 1)));
    const CliResult write = RunOnPort({QStringLiteral("write"), QStringLiteral("3"), Path("c.crt")});
    EXPECT_EQ(write.code, CLI_REFUSED);

    sim->Stop();
    EXPECT_FALSE(sim->device.Slot(1).isEmpty());
}

TEST_F(CliAgainstDevice, MalformedAnswerDuringTheLoadStillListsWhatWasRead) {
    ASSERT_TRUE(StartDevice({Fault(FaultKind::OddData, 1)}));
    const CliResult r = RunOnPort({QStringLiteral("list")});
    EXPECT_EQ(r.code, CLI_REFUSED);
    EXPECT_EQ(r.Lines().size(), SLOT_COUNT);
    EXPECT_EQ(r.Lines()[0], QStringLiteral(" 0  Certificate    File Size : 500Bytes"));
    EXPECT_TRUE(r.err.contains(QStringLiteral("slot 1 was malformed")));
}

// A signal during a transfer is a test of the program (StopSignals); one that came before the
// command began must end it too, before anything reaches the device.
TEST_F(CliAgainstDevice, StopRequestedBeforeTheCommandSendsNothing) {
    ASSERT_TRUE(StartDevice());
    RequestStop(SIGTERM);
    const CliResult list = RunOnPort({QStringLiteral("list")});
    const CliResult summary = Run({QStringLiteral("summary"), Path("none.der")});
    ClearStopRequest();
    for (const CliResult& r : {list, summary}) {
        EXPECT_EQ(r.code, 128 + SIGTERM);
        EXPECT_EQ(r.err, QStringLiteral("quillbank-cli: stopped by SIGTERM\n"));
        EXPECT_TRUE(r.out.isEmpty());
    }
    sim->Stop();
    EXPECT_EQ(sim->device.FramesReceived(), 0);
}

TEST_F(CliAgainstDevice, SilentDeviceTimesOutAndLostDeviceIsReported) {
    ASSERT_TRUE(StartDevice({Fault(FaultKind::NoAnswer, 0, 0, -1)}));
    const auto start = std::chrono::steady_clock::now();
    const CliResult silent = RunOnPort({QStringLiteral("--timeout"), QStringLiteral("1"), QStringLiteral("list")});
    EXPECT_EQ(silent.code, CLI_TIMEOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_TRUE(silent.err.contains(QStringLiteral("STATE_LOAD_AWAIT_OPEN")));
    sim->Stop();

    ASSERT_TRUE(StartDevice({Fault(FaultKind::Vanish, 1)}));
    CSlotEngine::ResetReadErrors();
    const CliResult lost = RunOnPort({QStringLiteral("list")});
    EXPECT_EQ(lost.code, CLI_CONNECTION_LOST);
    EXPECT_TRUE(lost.err.contains(QStringLiteral("connection was lost")));
}

TEST_F(CliAgainstDevice, SummaryShowsTheCommonNamesOnlyWithTrace) {
    std::array<QByteArray, SLOT_COUNT> slots;
    QString error;
    ASSERT_TRUE(MakeSampleSlots(slots, error)) << error.toStdString();
    ASSERT_TRUE(WriteAll(Path("issuing.der"), slots[4]));  // issuer: two common names

    // What would otherwise reach the process's standard error.
    QStringList leaked;
    const TextSink previous =
        SetDebugOutputSink([&leaked](const QString& text) { leaked << text; });
    const CliResult plain = Run({QStringLiteral("summary"), Path("issuing.der")});
    SetDebugOutputSink(previous);
    EXPECT_TRUE(leaked.isEmpty()) << leaked.join(u'|').toStdString();
    EXPECT_EQ(plain.code, CLI_OK);
    EXPECT_TRUE(plain.out.contains(QStringLiteral(" , Sample Issuing CA , Plant North , ")))
        << plain.out.toStdString();
    EXPECT_TRUE(plain.err.isEmpty()) << plain.err.toStdString();

    const CliResult traced =
        Run({QStringLiteral("--trace"), QStringLiteral("summary"), Path("issuing.der")});
    EXPECT_EQ(traced.code, CLI_OK);
    EXPECT_EQ(traced.out, plain.out);
    EXPECT_EQ(traced.err, QStringLiteral("Sample Issuing CA\nPlant North\n"));
}

TEST_F(CliAgainstDevice, LocalFileProblems) {
    ASSERT_TRUE(StartDevice());
    const CliResult missing = RunOnPort({QStringLiteral("write"), QStringLiteral("4"), Path("absent.crt")});
    EXPECT_EQ(missing.code, CLI_LOCAL_FILE);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("no such file")));

    ASSERT_TRUE(WriteAll(Path("big.crt"), Pattern(SLOT_BUFFER_SIZE + 1, 0)));
    const CliResult big = RunOnPort({QStringLiteral("write"), QStringLiteral("4"), Path("big.crt")});
    EXPECT_EQ(big.code, CLI_LOCAL_FILE);
    EXPECT_TRUE(big.err.contains(QStringLiteral("The file size must be 6 KBytes or less.")));

    const CliResult unwritable =
        RunOnPort({QStringLiteral("read"), QStringLiteral("0"), Path("no-dir/slot0.crt")});
    EXPECT_EQ(unwritable.code, CLI_LOCAL_FILE);
    EXPECT_TRUE(unwritable.err.contains(QStringLiteral("cannot write")));

    // One reason per failure: a folder is named as such, not also as unwritable.
    const CliResult folder = RunOnPort({QStringLiteral("read"), QStringLiteral("0"), dir.path()});
    EXPECT_EQ(folder.code, CLI_LOCAL_FILE);
    EXPECT_EQ(folder.err, QStringLiteral("quillbank-cli: %1: is a folder\n").arg(dir.path()));

    const CliResult summary = Run({QStringLiteral("summary"), Path("absent.crt")});
    EXPECT_EQ(summary.code, CLI_LOCAL_FILE);
    sim->Stop();
    EXPECT_TRUE(sim->device.Slot(4).isEmpty());
}

// A device that keeps answering read commands with empty pieces short of the total it
// announced never finishes a slot: the commands still end after --timeout.
TEST(CliAgainstScriptedDevice, EmptyPiecesWithoutEndTimeOut) {
    CSlotEngine::ResetReadErrors();
    ScriptedPorts ports;
    ports.device.slots[0].assign(100, 0x30);
    ports.device.pieceSize = 64;
    ports.device.totalOverride = 0x200;
    const auto start = std::chrono::steady_clock::now();
    const CliResult list = RunScripted(
        ports, {QStringLiteral("--timeout"), QStringLiteral("1"), QStringLiteral("list")});
    EXPECT_EQ(list.code, CLI_TIMEOUT) << list.err.toStdString();
    EXPECT_TRUE(list.err.contains(QStringLiteral("no progress from the device for 1 s")));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // Both pieces of slot 0 were taken before the empty ones started.
    EXPECT_GE(ports.device.CommandsWithCode("9030").size(), 3u);
    EXPECT_TRUE(ports.device.errors.empty());
}

// The engine does not look at the result of writing a piece; the tool compares what reached
// the disk with what the device sent, and does not report a short file as saved.
TEST(CliAgainstScriptedDevice, ReadThatCannotBeStoredIsNoSuccess) {
    CSlotEngine::ResetReadErrors();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("server.crt"));
    ScriptedPorts ports;
    ports.device.slots[0].assign(500, 0x30);

    // Files of this process may grow to 100 bytes only.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 100;
    const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const CliResult read = RunScripted(ports, {QStringLiteral("read"), QStringLiteral("0"), path});
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedHandler);

    EXPECT_EQ(read.code, CLI_LOCAL_FILE) << read.err.toStdString();
    EXPECT_TRUE(read.err.contains(path + QStringLiteral(": File too large")))
        << read.err.toStdString();
    EXPECT_FALSE(read.out.contains(QStringLiteral("saved")));
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files), QStringList());

    // Within the limit the same read is saved.
    const CliResult again = RunScripted(
        ports, {QStringLiteral("--yes"), QStringLiteral("read"), QStringLiteral("0"), path});
    EXPECT_EQ(again.code, CLI_OK) << again.err.toStdString();
    EXPECT_EQ(QFileInfo(path).size(), 500);
}
