// The state machine as the timers drive it: connect handshake, slot load, disconnect,
// idle states, and the pace of one message per tick.

#include <QDir>
#include <QFileInfo>

#include "EngineHarness.h"

namespace {

using StateMachineTest = EngineTest;

TEST_F(StateMachineTest, IdleStatesAndUnknownValuesDoNothing) {
    device.slots[0] = Pattern(40);
    ConnectAndLoad();
    const size_t writes = Writes().size();
    const int sequence = engine.Sequence();
    // A complete answer waits in the buffer: a step that parsed would consume it.
    const std::string pending = Answer({{"CMD", "9030"}, {"RES", "OK"}, {"PALL", "0002"}, {"DATA", "0102"}});
    Feed(pending);
    trace.Clear();
    for (const int state : {static_cast<int>(STATE_CLOSED), static_cast<int>(STATE_READY),
                            static_cast<int>(STATE_UNUSED_21), -1, 24, 1000}) {
        Enter(state);
        engine.StepEngine();
        EXPECT_EQ(engine.State(), state);
        EXPECT_EQ(engine.Received().size(), pending.size()) << "state " << state;
    }
    EXPECT_EQ(Writes().size(), writes);
    EXPECT_EQ(engine.Sequence(), sequence);
    EXPECT_EQ(ports.opened.size(), 1u);
    EXPECT_TRUE(trace.messages.isEmpty());
    EXPECT_EQ(SlotBytes(0), Pattern(40));
}

TEST_F(StateMachineTest, ConnectOpensThePortAndSendsTheConnectFrame) {
    device.silent = true;
    static_cast<void>(engine.IsPortOpen() ? engine.RequestDisconnect() : engine.RequestConnect());
    EXPECT_EQ(engine.State(), STATE_CONNECT);
    Tick();
    EXPECT_EQ(ports.opened, std::vector<QString>{QStringLiteral("/dev/ttyACM0")});
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0], "CMD:0000,CNT:00,DATA:FFFF000000,SUM:5D\r\n");
    EXPECT_EQ(engine.Sequence(), 1);
    EXPECT_EQ(engine.State(), STATE_AWAIT_CONNECT);
    EXPECT_EQ(trace.messages, TraceLines({"Open(ttyACM0)"}));

    // No answer: it waits without limit and sends nothing more.
    for (int i = 0; i < 50; ++i) Tick();
    EXPECT_EQ(engine.State(), STATE_AWAIT_CONNECT);
    EXPECT_EQ(Writes().size(), 1u);

    // The same button now disconnects: an empty table and a closed port.
    static_cast<void>(engine.IsPortOpen() ? engine.RequestDisconnect() : engine.RequestConnect());
    EXPECT_EQ(engine.State(), STATE_DISCONNECT);
    Tick();
    EXPECT_EQ(engine.State(), STATE_CLOSED);
    EXPECT_FALSE(engine.IsPortOpen());
    EXPECT_TRUE(ports.line->closed);
    EXPECT_EQ(Writes().size(), 1u);
}

TEST_F(StateMachineTest, HandshakeIsCompletedOnlyByCmd0000) {
    device.silent = true;
    static_cast<void>(engine.IsPortOpen() ? engine.RequestDisconnect() : engine.RequestConnect());
    Tick();

    device.Inject(Answer({{"RES", "OK"}}));
    Tick();
    EXPECT_EQ(engine.State(), STATE_AWAIT_CONNECT);
    EXPECT_TRUE(engine.Received().empty()) << "a frame without CMD:0000 is consumed";

    device.Inject(Answer({{"CMD", "9330"}, {"RES", "OK"}}));
    Tick();
    EXPECT_EQ(engine.State(), STATE_AWAIT_CONNECT);

    device.Inject("CMD:0000,SUM:00\r\n");  // wrong checksum: dropped
    Tick();
    EXPECT_EQ(engine.State(), STATE_AWAIT_CONNECT);
    EXPECT_FALSE(trace.Contains("Success connect."));

    // RES is not looked at.
    device.Inject(Answer({{"CMD", "0000"}, {"RES", "NG"}}));
    Tick();
    EXPECT_EQ(engine.State(), STATE_LOAD_NEXT);
    EXPECT_EQ(trace.Count("Success connect."), 1);
    EXPECT_EQ(Writes().size(), 1u);
}

TEST_F(StateMachineTest, LoadReadsEverySlotInOrderAndRefreshesOnceAtTheEnd) {
    device.slots[0] = Pattern(1500);
    device.slots[1] = Pattern(300, 1);
    device.slots[5] = Pattern(2, 3);
    device.slots[14] = Pattern(1024, 4);
    ConnectAndLoad();

    const auto opens = device.CommandsWithCode("9330");
    ASSERT_EQ(opens.size(), static_cast<size_t>(SLOT_COUNT));
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        EXPECT_EQ(opens[static_cast<size_t>(slot)].pos, 0x80 + slot);
        EXPECT_EQ(engine.SlotStatus(slot), SLOT_DONE);
        EXPECT_EQ(SlotBytes(slot), device.slots[static_cast<size_t>(slot)]) << "slot " << slot;
    }
    // Every command took the next count.
    for (size_t i = 0; i < Writes().size(); ++i) EXPECT_EQ(CountOf(Writes()[i]), static_cast<int>(i));
    EXPECT_EQ(Writes()[1], ScriptedDevice::WithSum("CMD:9330,CNT:01,POS:0080,"));
    EXPECT_EQ(Writes()[2], ScriptedDevice::WithSum("CMD:9030,CNT:02,POS:0000,"));

    ASSERT_EQ(engine.refreshStates.size(), 1u);
    EXPECT_EQ(engine.refreshStates[0], STATE_LOAD_NEXT) << "refresh comes before STATE_READY";
    EXPECT_EQ(engine.refreshSizes[0][0], 1500);
    EXPECT_EQ(engine.refreshSizes[0][14], 1024);
    EXPECT_EQ(engine.CurrentSlot(), SLOT_COUNT);

    const QStringList expectedSlot0 = TraceLines({"Try Open file idx=0 read", "Success Open file idx=0 read",
                                                  "Read File(1024/1500)", "Read File(1500/1500)",
                                                  "Read File Complete(idx=0)", "Try Close(idx=0)"});
    const qsizetype first = trace.messages.indexOf(expectedSlot0[0]);
    ASSERT_GE(first, 0);
    EXPECT_EQ(trace.messages.mid(first, expectedSlot0.size()), expectedSlot0);
    // An empty slot opens, reads nothing and is done; no close is traced as success.
    EXPECT_TRUE(trace.Contains("Read File(0/0)"));
    EXPECT_FALSE(trace.Contains("Success Close"));
    EXPECT_EQ(engine.SlotSize(3), 0);
}

TEST_F(StateMachineTest, LoadingASlotOfKPiecesTakesTwoTicksPerCommand) {
    device.pieceSize = 100;
    // Pieces per slot: an empty slot still takes one read answer.
    const std::vector<size_t> sizes = {250, 0, 100, 101, 200, 1, 99, 0, 0, 0, 0, 0, 0, 0, 300};
    for (int slot = 0; slot < SLOT_COUNT; ++slot)
        device.slots[static_cast<size_t>(slot)] = Pattern(sizes[static_cast<size_t>(slot)]);

    static_cast<void>(engine.IsPortOpen() ? engine.RequestDisconnect() : engine.RequestConnect());
    ASSERT_EQ(RunUntil(STATE_LOAD_NEXT), 2);

    std::vector<int> ticksPerSlot;
    int ticks = 0;
    while (engine.State() != STATE_READY && ticks < 1000) {
        Tick();
        ++ticks;
        if (engine.State() == STATE_LOAD_NEXT) {
            ticksPerSlot.push_back(ticks);
            ticks = 0;
        }
    }
    ASSERT_EQ(ticksPerSlot.size(), static_cast<size_t>(SLOT_COUNT));
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        const size_t size = sizes[static_cast<size_t>(slot)];
        const int pieces = size == 0 ? 1 : static_cast<int>((size + 99) / 100);
        EXPECT_EQ(ticksPerSlot[static_cast<size_t>(slot)], 2 * (pieces + 2)) << "slot " << slot;
    }
    EXPECT_EQ(ticks, 1) << "the last LOAD_NEXT step ends the load";
}

TEST_F(StateMachineTest, RefusedOpenInTheLoadSkipsTheSlot) {
    device.slots[3] = Pattern(10);
    device.slots[4] = Pattern(20);
    device.refuseOpen = {3};
    ConnectAndLoad();

    EXPECT_EQ(engine.SlotStatus(3), SLOT_DONE);
    EXPECT_EQ(engine.SlotSize(3), 0);
    EXPECT_FALSE(engine.SlotHasBuffer(3));
    EXPECT_EQ(SlotBytes(4), Pattern(20));

    const qsizetype at = trace.messages.indexOf(QStringLiteral("Try Open file idx=3 read"));
    ASSERT_GE(at, 0);
    EXPECT_EQ(trace.messages.mid(at, 4), TraceLines({"Try Open file idx=3 read", "Failed Open file idx=3 read",
                                                     "Try Next File", "Try Open file idx=4 read"}));
    // Nothing is read from or closed on a slot that did not open.
    for (const auto& command : device.received) {
        if (command.code == "9030" || command.code == "9430") {
            EXPECT_NE(command.pos, 3);
        }
    }
    EXPECT_EQ(engine.refreshStates.size(), 1u);
}

TEST_F(StateMachineTest, CommandErrorEndsTheLoadWithoutRefresh) {
    device.silent = true;
    static_cast<void>(engine.IsPortOpen() ? engine.RequestDisconnect() : engine.RequestConnect());
    Tick();
    device.Inject(Answer({{"CMD", "0000"}}));
    Tick();
    Tick();  // open slot 0
    device.Inject(Answer({{"CMD", "9330"}, {"RES", "OK"}}));
    Tick();
    ASSERT_EQ(engine.State(), STATE_LOAD_SEND_DATA);
    Tick();  // read
    ASSERT_EQ(engine.State(), STATE_LOAD_AWAIT_DATA);
    const size_t writes = Writes().size();
    device.Inject(Answer({{"CMD", "9030"}, {"RES", "OK"}, {"PALL", "0010"}, {"DATA", "ABC"}}));
    Tick();

    EXPECT_EQ(engine.State(), STATE_READY);
    EXPECT_EQ(trace.messages.last(), QStringLiteral("Cmd error"));
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        EXPECT_EQ(engine.SlotStatus(slot), SLOT_PENDING);
        EXPECT_EQ(engine.SlotSize(slot), 0);
    }
    EXPECT_TRUE(engine.refreshStates.empty());
    for (int i = 0; i < 5; ++i) Tick();
    EXPECT_EQ(Writes().size(), writes) << "no close after a command error";
}

TEST_F(StateMachineTest, DisconnectDuringTheLoadReleasesEverythingAndSendsNothing) {
    device.pieceSize = 100;
    for (int slot = 0; slot < 4; ++slot) device.slots[static_cast<size_t>(slot)] = Pattern(450);
    static_cast<void>(engine.IsPortOpen() ? engine.RequestDisconnect() : engine.RequestConnect());
    for (int i = 0; i < 200 && !(engine.CurrentSlot() == 2 && engine.State() == STATE_LOAD_AWAIT_DATA); ++i)
        Tick();
    ASSERT_EQ(engine.State(), STATE_LOAD_AWAIT_DATA);
    ASSERT_TRUE(engine.SlotHasBuffer(0));

    static_cast<void>(engine.IsPortOpen() ? engine.RequestDisconnect() : engine.RequestConnect());
    const size_t writes = Writes().size();
    const int sequence = engine.Sequence();
    Tick();  // the device's answer to the read arrives, then the disconnect step

    EXPECT_EQ(engine.State(), STATE_CLOSED);
    EXPECT_EQ(Writes().size(), writes);
    EXPECT_FALSE(engine.IsPortOpen());
    EXPECT_TRUE(ports.line->closed);
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        EXPECT_EQ(engine.SlotStatus(slot), SLOT_PENDING);
        EXPECT_FALSE(engine.SlotHasBuffer(slot));
        EXPECT_EQ(engine.SlotSize(slot), 0);
    }
    ASSERT_EQ(engine.refreshStates.size(), 1u);
    EXPECT_EQ(engine.refreshSizes[0], (std::array<std::uint16_t, SLOT_COUNT>{}));
    EXPECT_EQ(engine.Sequence(), sequence);
    EXPECT_FALSE(engine.Received().empty()) << "received bytes stay in the buffer";

    // Reconnecting: the stale read answer is seen first and ignored, the count goes on.
    static_cast<void>(engine.IsPortOpen() ? engine.RequestDisconnect() : engine.RequestConnect());
    Tick();
    ASSERT_EQ(Writes().size(), writes + 1);
    EXPECT_EQ(CountOf(Writes().back()), sequence);
    EXPECT_EQ(engine.State(), STATE_AWAIT_CONNECT);
    Tick();  // takes the stale answer first
    EXPECT_EQ(engine.State(), STATE_AWAIT_CONNECT);
    Tick();
    EXPECT_EQ(engine.State(), STATE_LOAD_NEXT);
}

TEST_F(StateMachineTest, DisconnectClosesTheLocalFilesOfAnInterruptedTransfer) {
    device.slots[4] = Pattern(3000);
    ConnectAndLoad();
    const std::string path = LocalPath("saved.crt");
    RequestRead(4, path);
    for (int i = 0; i < 20 && engine.SlotSize(4) < 1024; ++i) Tick();
    ASSERT_EQ(engine.SlotSize(4), 1024);
    // Both streams are closed, whichever the transfer had open.
    EngineSetup::AttachWriteSource(engine, LocalFile(std::fopen(MakeLocalFile("new.crt", Pattern(10)).c_str(), "rb")),
                                   engine.TransferTotal());
    const size_t writes = Writes().size();

    static_cast<void>(engine.IsPortOpen() ? engine.RequestDisconnect() : engine.RequestConnect());
    Tick();
    EXPECT_EQ(engine.State(), STATE_CLOSED);
    EXPECT_FALSE(engine.ReadTargetOpen());
    EXPECT_FALSE(engine.WriteSourceOpen());
    EXPECT_EQ(Writes().size(), writes);
    // An interrupted Read leaves no cut-short file behind.
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path)));
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral("saved.crt")).isEmpty());
}

TEST_F(StateMachineTest, SequenceCountWrapsFrom255To0) {
    EngineSetup::ContinueSequence(engine, 255);
    device.silent = true;
    static_cast<void>(engine.IsPortOpen() ? engine.RequestDisconnect() : engine.RequestConnect());
    Tick();
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0], "CMD:0000,CNT:FF,DATA:FFFF000000,SUM:89\r\n");
    device.Inject(Answer({{"CMD", "0000"}}));
    Tick();
    Tick();
    ASSERT_EQ(Writes().size(), 2u);
    EXPECT_EQ(Writes()[1], ScriptedDevice::WithSum("CMD:9330,CNT:00,POS:0080,"));
}

TEST_F(StateMachineTest, UnpluggedDeviceIsDisconnectedAtTheEleventhFailedRead) {
    ConnectAndLoad();
    ports.line->unplugged = true;
    EXPECT_EQ(RunUntil(STATE_CLOSED, 50), 11);
    EXPECT_FALSE(engine.IsPortOpen());
    EXPECT_EQ(CSlotEngine::ReadErrors(), 0);
    EXPECT_EQ(trace.debug.count(QStringLiteral("read error")), 11);
}

// An engine that counts on its own (one per device of the command line) neither adds to the
// process's count nor is cut short by failures counted there.
TEST_F(StateMachineTest, EngineWithItsOwnCountLeavesTheProcessCountAlone) {
    ConnectAndLoad();
    engine.CountReadErrorsOnItsOwn();
    EngineSetup::CountReadErrors(7);
    ports.line->unplugged = true;
    EXPECT_EQ(RunUntil(STATE_CLOSED, 50), 11);
    EXPECT_EQ(CSlotEngine::ReadErrors(), 7);
    EXPECT_EQ(engine.ReadErrorCount(), 0);
}

}  // namespace
