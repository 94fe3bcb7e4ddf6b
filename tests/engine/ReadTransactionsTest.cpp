// Open, read and close: the exact command frames, the acceptance rules of each answer,
// and the Read operation end to end.

#include "EngineHarness.h"

namespace {

using ReadTransactionsTest = EngineTest;

TEST_F(ReadTransactionsTest, SendersWriteTheExactFramesAndWait) {
    OpenLink();
    EngineSetup::ContinueSequence(engine, 5);
    EngineSetup::PutInState(engine, STATE_READ_SEND_OPEN, 2);
    engine.StepEngine();
    EXPECT_EQ(engine.State(), STATE_READ_AWAIT_OPEN);
    Enter(STATE_WRITE_SEND_OPEN);
    engine.StepEngine();
    EXPECT_EQ(engine.State(), STATE_WRITE_AWAIT_OPEN);
    EngineSetup::ContinueSequence(engine, 6);
    Enter(STATE_READ_SEND_DATA);
    engine.StepEngine();
    EXPECT_EQ(engine.State(), STATE_READ_AWAIT_DATA);
    Enter(STATE_SEND_CLOSE);
    engine.StepEngine();
    EXPECT_EQ(engine.State(), STATE_AWAIT_CLOSE);

    EXPECT_EQ(Writes(), (std::vector<std::string>{
                            "CMD:9330,CNT:05,POS:0082,SUM:DB\r\n", "CMD:9330,CNT:06,POS:0002,SUM:D4\r\n",
                            "CMD:9030,CNT:06,POS:0002,SUM:D1\r\n", "CMD:9430,CNT:07,POS:0002,SUM:D6\r\n"}));
    EXPECT_EQ(engine.Sequence(), 8);
    EXPECT_EQ(trace.messages,
              TraceLines({"Try Open file idx=2 read", "Try Open file idx=2 write", "Try Close(idx=2)"}));

}

// The step of each waiting state judges the answer as an open for reading (the load and a
// Read) or for writing (a Write).
TEST_F(ReadTransactionsTest, OpenAnswerNeedsCmdAheadOfAnAcceptingRes) {
    struct Case {
        std::string answer;
        int state, expected;
        const char* traced;
    };
    const std::vector<Case> cases = {
        {Answer({{"CMD", "9330"}, {"RES", "OK"}}), STATE_LOAD_AWAIT_OPEN, STATE_LOAD_SEND_DATA,
         "Success Open file idx=2 read"},
        {Answer({{"CMD", "9330"}, {"RES", "OK"}}), STATE_READ_AWAIT_OPEN, STATE_READ_SEND_DATA,
         "Success Open file idx=2 read"},
        {Answer({{"CMD", "9330"}, {"RES", "OK"}}), STATE_WRITE_AWAIT_OPEN, STATE_WRITE_SEND_DATA,
         "Success Open file idx=2 write"},
        // CMD after RES, or none: traced as success, but no step forward.
        {Answer({{"RES", "OK"}, {"CMD", "9330"}}), STATE_READ_AWAIT_OPEN, STATE_READ_AWAIT_OPEN,
         "Success Open file idx=2 read"},
        {Answer({{"RES", "OK"}}), STATE_LOAD_AWAIT_OPEN, STATE_LOAD_AWAIT_OPEN, "Success Open file idx=2 read"},
        {Answer({{"CMD", "9030"}, {"RES", "OK"}}), STATE_WRITE_AWAIT_OPEN, STATE_WRITE_AWAIT_OPEN,
         "Success Open file idx=2 write"},
        // Any other RES refuses, whatever the CMD.
        {Answer({{"CMD", "9030"}, {"RES", "NG"}}), STATE_READ_AWAIT_OPEN, STATE_READY,
         "Failed Open file idx=2 read"},
        {Answer({{"RES", "ok"}}), STATE_WRITE_AWAIT_OPEN, STATE_READY, "Failed Open file idx=2 write"},
        // Each RES meets the state left by the one before: after the accepting one the
        // load is no longer waiting for an open answer.
        {Answer({{"CMD", "9330"}, {"RES", "OK"}, {"RES", "NG"}}), STATE_LOAD_AWAIT_OPEN, STATE_READY,
         "Failed Open file idx=2 read"},
        // Not a frame of its own yet, or a wrong checksum: nothing happens.
        {"CMD:9330,RES:NG,", STATE_READ_AWAIT_OPEN, STATE_READ_AWAIT_OPEN, nullptr},
        {"CMD:9330,RES:NG,SUM:00\r\n", STATE_READ_AWAIT_OPEN, STATE_READ_AWAIT_OPEN, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        EngineSetup::ClearReceived(engine);
        trace.Clear();
        EngineSetup::AttachReadTarget(engine, MakeReadTarget(LocalPath("target").c_str()));
        EngineSetup::PutInState(engine, c.state, 2);
        Feed(c.answer);
        engine.StepEngine();
        EXPECT_EQ(engine.State(), c.expected);
        if (c.traced != nullptr)
            EXPECT_TRUE(trace.Contains(c.traced)) << trace.messages.join(QLatin1Char('|')).toStdString();
        else
            EXPECT_TRUE(trace.messages.isEmpty());
        // Only a refusal outside the load closes the local files.
        EXPECT_EQ(engine.ReadTargetOpen(), c.expected != STATE_READY);
        EXPECT_EQ(engine.SlotStatus(2), SLOT_PENDING);
    }
}

TEST_F(ReadTransactionsTest, RefusedOpenInTheLoadMarksTheSlotDone) {
    EngineSetup::PutInState(engine, STATE_LOAD_AWAIT_OPEN, 6);
    EngineSetup::AttachReadTarget(engine, MakeReadTarget(LocalPath("target").c_str()));
    Feed(Answer({{"CMD", "9330"}, {"RES", "BUSY"}}));
    engine.StepEngine();
    EXPECT_EQ(engine.State(), STATE_LOAD_NEXT);
    EXPECT_EQ(engine.SlotStatus(6), SLOT_DONE);
    EXPECT_EQ(trace.messages, TraceLines({"Failed Open file idx=6 read", "Try Next File"}));
    EXPECT_TRUE(engine.ReadTargetOpen()) << "the load has no local file to close";
}

class ReadAnswerTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        EngineSetup::PutInState(engine, STATE_LOAD_AWAIT_DATA, 3);
        EngineSetup::AnnounceTotal(engine, 77);
    }
    // The answer, judged by the step of the waiting state (a load's or a Read's).
    void Deliver(const std::string& answer) {
        Feed(answer);
        engine.StepEngine();
    }
};

TEST_F(ReadAnswerTest, WithoutCmd9030AndResOkNothingIsStored) {
    // With a port open, a read sent again would show among the writes.
    OpenLink();
    const int sequence = engine.Sequence();
    for (const std::string& answer :
         {Answer({{"RES", "OK"}, {"PALL", "0002"}, {"DATA", "0102"}}),
          Answer({{"CMD", "9030"}, {"PALL", "0002"}, {"DATA", "0102"}}),
          Answer({{"CMD", "9030"}, {"RES", "NG"}, {"PALL", "0002"}, {"DATA", "0102"}}),
          Answer({{"CMD", "9330"}, {"RES", "OK"}, {"PALL", "0002"}, {"DATA", "0102"}})}) {
        Deliver(answer);
        EXPECT_EQ(engine.State(), STATE_LOAD_AWAIT_DATA) << answer;
        EXPECT_EQ(engine.SlotSize(3), 0);
        EXPECT_EQ(engine.AnnouncedSize(), 77u);
    }
    // The engine goes on waiting at its next steps.
    for (int i = 0; i < 5; ++i) engine.StepEngine();
    EXPECT_EQ(engine.State(), STATE_LOAD_AWAIT_DATA);
    EXPECT_TRUE(trace.messages.isEmpty());
    EXPECT_TRUE(Writes().empty()) << "the read is not sent again";
    EXPECT_EQ(engine.Sequence(), sequence);
}

TEST_F(ReadAnswerTest, FieldOrderDoesNotMatterAndPiecesAccumulate) {
    Deliver(Answer({{"DATA", "0A0B"}, {"PALL", "0005"}, {"RES", "OK"}, {"CMD", "9030"}}));
    EXPECT_EQ(engine.State(), STATE_LOAD_SEND_DATA);
    EXPECT_EQ(engine.AnnouncedSize(), 5u);
    EXPECT_EQ(engine.TransferTotal(), 5u);
    Enter(STATE_LOAD_AWAIT_DATA);
    Deliver(Answer({{"CMD", "9030"}, {"RES", "OK"}, {"PALL", "5"}, {"DATA", "ff800C"}}));
    EXPECT_EQ(SlotBytes(3), (std::vector<std::uint8_t>{0x0A, 0x0B, 0xFF, 0x80, 0x0C}));
    EXPECT_EQ(engine.SlotStatus(3), SLOT_DONE);
    EXPECT_EQ(engine.State(), STATE_LOAD_SEND_CLOSE);
    EXPECT_EQ(trace.messages, TraceLines({"Read File(2/5)", "Read File(5/5)", "Read File Complete(idx=3)"}));
}

TEST_F(ReadAnswerTest, TotalIsTheLow16BitsOfABase16Value) {
    const std::vector<std::pair<std::string, std::uint32_t>> totals = {
        {"10005", 5u}, {"-1", 0xFFFFu}, {"0x1F", 0x1Fu}, {"zz", 0u}, {"  2a", 0x2Au}, {"FFFFFFFFFFFFFFFFFF", 0xFFFFu}};
    for (const auto& [text, expected] : totals) {
        Enter(STATE_LOAD_AWAIT_DATA);
        EngineSetup::PreloadSlot(engine, 3, {}, engine.SlotStatus(3));
        Deliver(Answer({{"CMD", "9030"}, {"RES", "OK"}, {"PALL", text}, {"DATA", ""}}));
        EXPECT_EQ(engine.AnnouncedSize(), expected) << text;
        EXPECT_EQ(engine.State(), expected == 0 ? STATE_LOAD_SEND_CLOSE : STATE_LOAD_SEND_DATA) << text;
    }
}

TEST_F(ReadAnswerTest, PieceCompletesTheSlotWhenTotalIsAbsentOrExceeded) {
    Deliver(Answer({{"CMD", "9030"}, {"RES", "OK"}, {"DATA", "0102"}}));
    EXPECT_EQ(engine.State(), STATE_LOAD_SEND_CLOSE);
    EXPECT_EQ(engine.AnnouncedSize(), 0u);
    EXPECT_EQ(SlotBytes(3), (std::vector<std::uint8_t>{1, 2}));
    EXPECT_TRUE(trace.Contains("Read File(2/0)"));

    // More than announced: the whole piece is kept.
    ASSERT_EQ(engine.SlotStatus(4), SLOT_PENDING);
    EngineSetup::PutInState(engine, STATE_LOAD_AWAIT_DATA, 4);
    Deliver(Answer({{"CMD", "9030"}, {"RES", "OK"}, {"PALL", "0002"}, {"DATA", "01020304"}}));
    EXPECT_EQ(SlotBytes(4), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(engine.SlotStatus(4), SLOT_DONE);
    EXPECT_EQ(engine.State(), STATE_LOAD_SEND_CLOSE);
}

TEST_F(ReadAnswerTest, EmptyPieceBelowTheTotalAsksAgain) {
    Deliver(Answer({{"CMD", "9030"}, {"RES", "OK"}, {"PALL", "0005"}, {"DATA", ""}}));
    EXPECT_EQ(engine.State(), STATE_LOAD_SEND_DATA);
    EXPECT_EQ(engine.SlotSize(3), 0);
    EXPECT_TRUE(engine.SlotHasBuffer(3)) << "the buffer comes with the first accepted answer";
    EXPECT_EQ(trace.messages, TraceLines({"Read File(0/5)"}));
}

TEST_F(ReadAnswerTest, EachPairOfDigitsIsReadAsBase16Text) {
    // "-1" reads as -1, "G1" as no number, "0x" as 0: strtol's rules, byte by byte.
    Deliver(Answer({{"CMD", "9030"}, {"RES", "OK"}, {"PALL", "0004"}, {"DATA", "3f-1G10x"}}));
    EXPECT_EQ(SlotBytes(3), (std::vector<std::uint8_t>{0x3F, 0xFF, 0x00, 0x00}));
    // A later DATA field replaces an earlier one.
    EngineSetup::PutInState(engine, STATE_LOAD_AWAIT_DATA, 5);
    Deliver(Answer({{"CMD", "9030"}, {"RES", "OK"}, {"DATA", "0102"}, {"DATA", "0A"}}));
    EXPECT_EQ(SlotBytes(5), (std::vector<std::uint8_t>{0x0A}));
}

TEST_F(ReadAnswerTest, MalformedOrOversizedDataIsACommandError) {
    const std::string tooLong(2 * READ_CHUNK_MAX + 2, '4');
    const std::vector<std::string> answers = {
        Answer({{"CMD", "9030"}, {"RES", "OK"}, {"PALL", "0004"}, {"DATA", "ABC"}}),
        // Judged on its own, even in a frame that answers nothing.
        Answer({{"RES", "NG"}, {"DATA", "1"}}),
        Answer({{"CMD", "9030"}, {"RES", "OK"}, {"PALL", "0800"}, {"DATA", tooLong}}),
    };
    for (const std::string& answer : answers) {
        Enter(STATE_READ_AWAIT_DATA);
        EngineSetup::AttachReadTarget(engine, MakeReadTarget(LocalPath("target").c_str()));
        EngineSetup::AttachWriteSource(engine, LocalFile(std::fopen(LocalPath("target").c_str(), "rb")),
                                       engine.TransferTotal());
        trace.Clear();
        Deliver(answer);
        EXPECT_EQ(engine.State(), STATE_READY);
        EXPECT_EQ(trace.messages, TraceLines({"Cmd error"}));
        EXPECT_FALSE(engine.ReadTargetOpen());
        EXPECT_FALSE(engine.WriteSourceOpen());
        EXPECT_EQ(engine.SlotSize(3), 0);
        EXPECT_EQ(engine.AnnouncedSize(), 77u) << "nothing of the answer is used";
    }
    // A piece of exactly READ_CHUNK_MAX bytes is fine.
    Enter(STATE_LOAD_AWAIT_DATA);
    Deliver(Answer({{"CMD", "9030"}, {"RES", "OK"}, {"PALL", "0400"}, {"DATA", std::string(2 * READ_CHUNK_MAX, '4')}}));
    EXPECT_EQ(engine.SlotSize(3), READ_CHUNK_MAX);
    EXPECT_EQ(engine.State(), STATE_LOAD_SEND_CLOSE);
}

TEST_F(ReadAnswerTest, PieceThatWouldOverflowTheSlotIsACommandError) {
    EngineSetup::PreloadSlot(engine, 3, std::vector<std::uint8_t>(6100, 0x11), SLOT_PENDING);
    Deliver(Answer({{"CMD", "9030"}, {"RES", "OK"}, {"PALL", "2000"}, {"DATA", ScriptedDevice::Hex(Pattern(45))}}));
    EXPECT_EQ(engine.State(), STATE_READY);
    EXPECT_EQ(engine.SlotSize(3), 6100);
    EXPECT_EQ(trace.messages, TraceLines({"Cmd error"}));

    // Filling the buffer exactly is allowed.
    Enter(STATE_LOAD_AWAIT_DATA);
    trace.Clear();
    Deliver(Answer({{"CMD", "9030"}, {"RES", "OK"}, {"PALL", "2000"}, {"DATA", ScriptedDevice::Hex(Pattern(44))}}));
    EXPECT_EQ(engine.SlotSize(3), SLOT_BUFFER_SIZE);
    ASSERT_EQ(engine.SlotBytes(3).size(), static_cast<size_t>(SLOT_BUFFER_SIZE));
    EXPECT_EQ(engine.SlotBytes(3)[6100], Pattern(44)[0]);
    EXPECT_EQ(engine.SlotBytes(3)[SLOT_BUFFER_SIZE - 1], Pattern(44)[43]);
    EXPECT_EQ(trace.messages, TraceLines({"Read File(6144/8192)"}));
}

TEST_F(ReadTransactionsTest, CloseAnswerRules) {
    struct Case {
        std::string answer;
        int state, expected;
        bool filesClosed;
        QStringList traced;
    };
    const std::vector<Case> cases = {
        {Answer({{"CMD", "9430"}, {"RES", "OK"}}), STATE_AWAIT_CLOSE, STATE_READY, true,
         TraceLines({"Success Close"})},
        {Answer({{"CMD", "9430"}, {"RES", "NG"}}), STATE_AWAIT_CLOSE, STATE_READY, true,
         TraceLines({"Failed Close"})},
        // An accepted close ends the walk: a later RES is not judged. A refusal does not.
        {Answer({{"CMD", "9430"}, {"RES", "OK"}, {"RES", "NG"}}), STATE_AWAIT_CLOSE, STATE_READY,
         true, TraceLines({"Success Close"})},
        {Answer({{"CMD", "9430"}, {"RES", "NG"}, {"RES", "OK"}}), STATE_AWAIT_CLOSE, STATE_READY,
         true, TraceLines({"Failed Close", "Success Close"})},
        // In the load any RES goes on with the next slot, without a trace (the load has no
        // file of a Read to close).
        {Answer({{"CMD", "9430"}, {"RES", "NG"}}), STATE_LOAD_AWAIT_CLOSE, STATE_LOAD_NEXT, false, {}},
        // RES ahead of CMD is ignored; a Read's file waits for the close to be judged.
        {Answer({{"RES", "OK"}, {"CMD", "9430"}}), STATE_AWAIT_CLOSE, STATE_AWAIT_CLOSE, false, {}},
        {Answer({{"RES", "OK"}}), STATE_AWAIT_CLOSE, STATE_AWAIT_CLOSE, false, {}},
        {Answer({{"CMD", "9330"}, {"RES", "OK"}}), STATE_LOAD_AWAIT_CLOSE, STATE_LOAD_AWAIT_CLOSE, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        trace.Clear();
        EngineSetup::AttachReadTarget(engine, MakeReadTarget(LocalPath("target").c_str()));
        Enter(c.state);
        Feed(c.answer);
        engine.StepEngine();
        EXPECT_EQ(engine.State(), c.expected);
        EXPECT_EQ(!engine.ReadTargetOpen(), c.filesClosed);
        EXPECT_EQ(trace.messages, c.traced);
    }
}

TEST_F(ReadTransactionsTest, ReadOperationSavesTheSlotAndRebuildsItsCopy) {
    device.slots[7] = Pattern(100);
    ConnectAndLoad();
    const std::vector<std::uint8_t> current = Pattern(2500, 9);
    device.slots[7] = current;  // changed on the device since the load
    const std::string path = LocalPath("slot7.crt");
    const size_t before = Writes().size();
    const int sequence = engine.Sequence();
    trace.Clear();

    RequestRead(7, path);
    EXPECT_EQ(RunUntil(STATE_READY), 2 * (3 + 2));

    EXPECT_FALSE(engine.ReadTargetOpen());
    EXPECT_EQ(ReadLocalFile(path), current);
    EXPECT_EQ(SlotBytes(7), current);
    EXPECT_EQ(engine.SlotStatus(7), SLOT_DONE);
    EXPECT_EQ(engine.TransferTotal(), 2500u);
    EXPECT_EQ(trace.messages, TraceLines({"Try Open file idx=7 read", "Success Open file idx=7 read",
                                          "Read File(1024/2500)", "Read File(2048/2500)", "Read File(2500/2500)",
                                          "Try Close(idx=7)", "Success Close"}));
    const std::vector<std::string> frames = WritesFrom(before);
    ASSERT_EQ(frames.size(), 5u);
    const char* prefixes[] = {"CMD:9330,", "CMD:9030,", "CMD:9030,", "CMD:9030,", "CMD:9430,"};
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].substr(0, 9), prefixes[i]);
        EXPECT_EQ(CountOf(frames[i]), (sequence + static_cast<int>(i)) % 256);
        EXPECT_NE(frames[i].find(i == 0 ? ",POS:0087," : ",POS:0007,"), std::string::npos);
    }
    EXPECT_EQ(engine.refreshStates.size(), 1u) << "a Read does not refresh the lists";
}

TEST_F(ReadTransactionsTest, RefusedOpenInAReadClosesTheLocalFile) {
    device.slots[7] = Pattern(100);
    ConnectAndLoad();
    device.refuseOpen = {7};
    const size_t before = Writes().size();
    trace.Clear();
    RequestRead(7, LocalPath("slot7.crt"));
    EXPECT_EQ(RunUntil(STATE_READY), 2);
    EXPECT_FALSE(engine.ReadTargetOpen());
    EXPECT_EQ(trace.messages, TraceLines({"Try Open file idx=7 read", "Failed Open file idx=7 read"}));
    EXPECT_EQ(Writes().size(), before + 1);
    EXPECT_TRUE(services.messages.empty());
    EXPECT_EQ(engine.SlotStatus(7), SLOT_DONE);
}

TEST_F(ReadTransactionsTest, CommandErrorInAReadClosesTheLocalFileAndSendsNoClose) {
    device.slots[7] = Pattern(100);
    ConnectAndLoad();
    device.silent = true;
    RequestRead(7, LocalPath("slot7.crt"));
    Tick();
    device.Inject(Answer({{"CMD", "9330"}, {"RES", "OK"}}));
    Tick();
    Tick();
    ASSERT_EQ(engine.State(), STATE_READ_AWAIT_DATA);
    const size_t before = Writes().size();
    device.Inject(Answer({{"CMD", "9030"}, {"RES", "OK"}, {"PALL", "0064"}, {"DATA", "0"}}));
    Tick();
    EXPECT_EQ(engine.State(), STATE_READY);
    EXPECT_FALSE(engine.ReadTargetOpen());
    EXPECT_EQ(trace.messages.last(), QStringLiteral("Cmd error"));
    Tick();
    EXPECT_EQ(Writes().size(), before);
}

}  // namespace
