// The slot engine over the real termios link against the simulated device: the whole
// protocol byte for byte as the device checks it, and the engine's conduct under every
// fault the device can produce.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include "LinkRig.h"
#include "SimFaults.h"
#include "fakes/TraceCapture.h"

namespace {
SimOptions Options(std::vector<SimFault> faults = {}, int piece = 1024) {
    SimOptions options;
    options.pieceSize = piece;
    options.splitDelayMs = 20;
    options.faults = std::move(faults);
    return options;
}

// Slots 0, 1 and 4 hold data; the rest are empty.
void Fill(DeviceSimulator& device) {
    device.SetSlot(0, Pattern(700, 0));
    device.SetSlot(1, Pattern(1218, 1));
    device.SetSlot(4, Pattern(3000, 4));
}

class EngineOverPty : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    // Starts a Read of `slot` into `name` through the Read command.
    void StartRead(LinkRig& rig, int slot, const char* name) {
        rig.Target(slot);
        rig.dialogs.fileAnswers = {Path(name)};
        rig.commands.OnBnClickedRead();
        ASSERT_EQ(rig.engine.State(), STATE_READ_SEND_OPEN);
    }
    void StartWrite(LinkRig& rig, int slot, const QByteArray& content) {
        ASSERT_TRUE(WriteAll(Path("upload.crt"), content));
        rig.Target(slot);
        rig.dialogs.fileAnswers = {Path("upload.crt")};
        rig.commands.OnBnClickedWrite();
        ASSERT_EQ(rig.engine.State(), STATE_WRITE_SEND_OPEN);
    }

    QTemporaryDir dir;
    TraceCapture trace;
};
}  // namespace

TEST_F(EngineOverPty, LoadsEverySlotWithFramesTheDeviceAccepts) {
    LinkRig rig(Options({}, 256));
    ASSERT_TRUE(rig.opened);
    Fill(rig.device);
    ASSERT_TRUE(rig.Connect());
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        EXPECT_EQ(rig.engine.SlotStatus(slot), SLOT_DONE) << slot;
        EXPECT_EQ(rig.SlotCopy(slot), rig.device.Slot(slot)) << slot;
    }
    EXPECT_EQ(rig.engine.refreshes, 1);
    // 1 connect, 3 slots opened/read/closed (3 + 5 + 12 reads of 256 bytes), 12 refused opens.
    EXPECT_EQ(rig.device.FramesReceived(), 1 + 3 * 2 + 3 + 5 + 12 + 12);
    EXPECT_TRUE(rig.device.FrameErrors().isEmpty()) << rig.device.FrameErrors().join(u'\n').toStdString();
    EXPECT_TRUE(rig.Disconnect());
}

TEST_F(EngineOverPty, WriteReadBackAndRemoveThroughTheCommands) {
    LinkRig rig(Options({}, 200));
    ASSERT_TRUE(rig.opened);
    Fill(rig.device);
    ASSERT_TRUE(rig.Connect());

    for (const int size : {300, SLOT_BUFFER_SIZE, 0}) {
        SCOPED_TRACE(size);
        const QByteArray content = Pattern(size, size);
        rig.dialogs.messageAnswers = {MsgBox::IdOk};  // overwrite, when asked
        StartWrite(rig, 9, content);
        ASSERT_TRUE(rig.RunUntilState(STATE_READY));
        EXPECT_TRUE(rig.LocalFilesClosed());
        EXPECT_EQ(rig.device.Slot(9), content);
        EXPECT_EQ(rig.SlotCopy(9), content);
        if (size == 0) break;

        StartRead(rig, 9, "back.crt");
        ASSERT_TRUE(rig.RunUntilState(STATE_READY));
        EXPECT_TRUE(rig.LocalFilesClosed());
        EXPECT_EQ(ReadAll(Path("back.crt")), content);
        EXPECT_EQ(rig.SlotCopy(9), content);
    }

    rig.dialogs.messageAnswers = {MsgBox::IdOk};
    rig.Target(4);
    rig.commands.OnBnClickedRemove();
    ASSERT_EQ(rig.engine.State(), STATE_REMOVE_SEND);
    ASSERT_TRUE(rig.RunUntilState(STATE_READY));
    EXPECT_TRUE(rig.device.Slot(4).isEmpty());
    EXPECT_EQ(rig.engine.SlotSize(4), 0);
    EXPECT_TRUE(rig.device.FrameErrors().isEmpty()) << rig.device.FrameErrors().join(u'\n').toStdString();
    EXPECT_TRUE(rig.Disconnect());
}

TEST_F(EngineOverPty, DamagedDeliveryIsJoinedOrSkipped) {
    // Split answers, noise lines with NUL bytes and an unanswered command do not change
    // what is loaded; a lost answer leaves the engine waiting until the user disconnects.
    LinkRig rig(Options({Fault(FaultKind::SplitAnswer, -1, 0, -1),
                         Fault(FaultKind::Garbage, -1, 0, -1)},
                        256));
    ASSERT_TRUE(rig.opened);
    Fill(rig.device);
    ASSERT_TRUE(rig.Connect());
    for (int slot = 0; slot < SLOT_COUNT; ++slot)
        EXPECT_EQ(rig.SlotCopy(slot), rig.device.Slot(slot)) << slot;
    EXPECT_TRUE(rig.Disconnect());
}

TEST_F(EngineOverPty, BadChecksumOrNoAnswerWaitsUntilDisconnect) {
    for (const FaultKind kind : {FaultKind::BadChecksum, FaultKind::NoAnswer}) {
        LinkRig rig(Options({Fault(kind, 1, 1, 1, 9030)}, 256));  // second read of slot 1
        ASSERT_TRUE(rig.opened);
        Fill(rig.device);
        rig.commands.OnBnClickedConnect();
        ASSERT_TRUE(rig.RunUntilState(STATE_LOAD_AWAIT_DATA));
        ASSERT_TRUE(rig.RunUntil([&] { return rig.engine.CurrentSlot() == 1 && rig.engine.SlotSize(1) == 256; }));
        rig.Ticks(30);
        EXPECT_EQ(rig.engine.State(), STATE_LOAD_AWAIT_DATA) << "no time-outs, no retries";
        EXPECT_EQ(rig.engine.SlotSize(1), 256);
        EXPECT_TRUE(rig.Disconnect());
        EXPECT_EQ(rig.engine.SlotSize(0), 0) << "the table is reset";
    }
}

TEST_F(EngineOverPty, RefusedOpensSkipALoadSlotAndEndARead) {
    LinkRig rig(Options({Fault(FaultKind::RefuseOpen, 4, 0, 1), Fault(FaultKind::RefuseOpen, 0, 1, 1)}));
    ASSERT_TRUE(rig.opened);
    Fill(rig.device);
    ASSERT_TRUE(rig.Connect());
    EXPECT_EQ(rig.engine.SlotStatus(4), SLOT_DONE);
    EXPECT_EQ(rig.engine.SlotSize(4), 0) << "a refused slot is skipped";
    EXPECT_EQ(rig.SlotCopy(1), rig.device.Slot(1)) << "the load goes on";

    StartRead(rig, 0, "refused.crt");
    ASSERT_TRUE(rig.RunUntilState(STATE_READY));
    EXPECT_TRUE(rig.LocalFilesClosed());
    EXPECT_TRUE(trace.Contains("Failed Open file idx=0 read"));
    EXPECT_EQ(ReadAll(Path("refused.crt")), QByteArray());
    EXPECT_TRUE(rig.Disconnect());
}

TEST_F(EngineOverPty, OddOrOverlongDataIsACommandError) {
    for (const FaultKind kind : {FaultKind::OddData, FaultKind::LongData}) {
        SCOPED_TRACE(static_cast<int>(kind));
        trace.Clear();
        LinkRig rig(Options({Fault(kind, 1)}));
        ASSERT_TRUE(rig.opened);
        Fill(rig.device);
        rig.commands.OnBnClickedConnect();
        ASSERT_TRUE(rig.RunUntil([&] { return trace.Contains("Cmd error"); }));
        EXPECT_EQ(rig.engine.State(), STATE_READY);
        EXPECT_EQ(rig.engine.SlotSize(1), 0) << "nothing of the bad piece is kept";
        for (int slot = 1; slot < SLOT_COUNT; ++slot)
            EXPECT_EQ(rig.engine.SlotStatus(slot), SLOT_PENDING) << slot;
        EXPECT_TRUE(rig.Disconnect());
    }

    // During a Read the local file is closed as well. The load reads slot 4 in three
    // pieces; the Read's second piece is the bad one.
    trace.Clear();
    LinkRig rig(Options({Fault(FaultKind::OddData, 4, 4, 1)}, 1000));
    ASSERT_TRUE(rig.opened);
    Fill(rig.device);
    ASSERT_TRUE(rig.Connect());
    StartRead(rig, 4, "odd.crt");
    ASSERT_TRUE(rig.RunUntil([&] { return trace.Contains("Cmd error"); }));
    EXPECT_EQ(rig.engine.State(), STATE_READY);
    EXPECT_TRUE(rig.LocalFilesClosed());
    // No cut-short file, and the slot's copy is what it was before the Read.
    EXPECT_FALSE(QFileInfo::exists(Path("odd.crt")));
    EXPECT_EQ(rig.engine.SlotSize(4), rig.device.Slot(4).size());
    EXPECT_TRUE(rig.Disconnect());
}

TEST_F(EngineOverPty, RefusedWritePieceClosesTheSlotAndKeepsTheCopy) {
    LinkRig rig(Options({Fault(FaultKind::RefuseWrite, 0, 1, 1)}));
    ASSERT_TRUE(rig.opened);
    Fill(rig.device);
    ASSERT_TRUE(rig.Connect());
    const QByteArray before = rig.SlotCopy(0);
    rig.dialogs.messageAnswers = {MsgBox::IdOk};
    StartWrite(rig, 0, Pattern(600, 9));
    ASSERT_TRUE(rig.RunUntilState(STATE_READY));
    EXPECT_TRUE(rig.LocalFilesClosed());
    EXPECT_TRUE(trace.Contains("Write(256/600)"));
    EXPECT_TRUE(trace.Contains("Failed Write(512/600)"));
    EXPECT_TRUE(trace.Contains("Success Close")) << "the slot is closed on the device";
    EXPECT_EQ(rig.SlotCopy(0), before);
    EXPECT_TRUE(rig.device.FrameErrors().isEmpty());
    EXPECT_TRUE(rig.Disconnect());
}

TEST_F(EngineOverPty, RefusedRemoveKeepsTheSlot) {
    LinkRig rig(Options({Fault(FaultKind::RefuseRemove, 1)}));
    ASSERT_TRUE(rig.opened);
    Fill(rig.device);
    ASSERT_TRUE(rig.Connect());
    rig.dialogs.messageAnswers = {MsgBox::IdOk};
    rig.Target(1);
    rig.commands.OnBnClickedRemove();
    ASSERT_TRUE(rig.RunUntilState(STATE_READY));
    EXPECT_TRUE(trace.Contains("The remove command was not completed."));
    EXPECT_EQ(rig.SlotCopy(1), rig.device.Slot(1));
    EXPECT_FALSE(rig.device.Slot(1).isEmpty());
    EXPECT_TRUE(rig.Disconnect());
}

TEST_F(EngineOverPty, VanishingDeviceEndsTheConnectionAtTheReadFailureLimit) {
    // Mid-Read and mid-Write: the port fails once per tick, the eleventh failure
    // disconnects, and the local file is closed.
    for (const bool reading : {true, false}) {
        SCOPED_TRACE(reading ? "read" : "write");
        const int command = reading ? 9030 : 9130;
        // The load reads slot 4 in six pieces; the transfer's third piece never comes back.
        LinkRig rig(Options({Fault(FaultKind::Vanish, 4, reading ? 8 : 2, 1, command)}, 512));
        ASSERT_TRUE(rig.opened);
        Fill(rig.device);
        ASSERT_TRUE(rig.Connect());
        rig.dialogs.messageAnswers = {MsgBox::IdOk};
        if (reading)
            StartRead(rig, 4, "partial.crt");
        else
            StartWrite(rig, 4, Pattern(2000, 3));
        ASSERT_TRUE(rig.RunUntil([&] { return rig.device.Vanished(); }));
        EXPECT_FALSE(rig.LocalFilesClosed());
        trace.Clear();
        const int before = rig.ticks;
        ASSERT_TRUE(rig.RunUntilState(STATE_CLOSED, 40));
        EXPECT_EQ(rig.ticks - before, 11);
        EXPECT_EQ(trace.debug.count(QStringLiteral("read error")), 11);
        EXPECT_FALSE(rig.engine.IsPortOpen());
        EXPECT_TRUE(rig.LocalFilesClosed());
        for (int slot = 0; slot < SLOT_COUNT; ++slot) EXPECT_EQ(rig.engine.SlotStatus(slot), SLOT_PENDING) << slot;
        rig.Ticks(3);  // nothing more happens
        EXPECT_EQ(rig.engine.State(), STATE_CLOSED);
    }
}
