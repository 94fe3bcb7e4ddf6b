// Upload of a local file in pieces and erase of a slot: frames, counts, answers, and what
// the slot's copy holds afterwards.

#include "EngineHarness.h"
#include "support/Text.h"

namespace {

using WriteTransactionsTest = EngineTest;

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& bytes, size_t from, size_t count) {
    return std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                     bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

TEST_F(WriteTransactionsTest, WriteFrameOfTheWorkedExample) {
    OpenLink();
    EngineSetup::ContinueSequence(engine, 7);
    EngineSetup::AttachWriteSource(engine, LocalFile(std::fopen(MakeLocalFile("abc", {0x61, 0x62, 0x63}).c_str(), "rb")), 0);
    EngineSetup::PutInState(engine, STATE_WRITE_SEND_DATA, 3);
    engine.StepEngine();
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0], "CMD:9130,CNT:07,POS:0003,DATA:616263,SUM:8C\r\n");
    EXPECT_EQ(engine.State(), STATE_WRITE_AWAIT_DATA);

    // High bytes are two digits each, never sign-extended.
    EngineSetup::AttachWriteSource(engine, LocalFile(std::fopen(MakeLocalFile("high", {0xFF, 0x80, 0x00}).c_str(), "rb")), 0);
    Enter(STATE_WRITE_SEND_DATA);
    engine.StepEngine();
    ASSERT_EQ(Writes().size(), 2u);
    EXPECT_EQ(Writes()[1], ScriptedDevice::WithSum("CMD:9130,CNT:08,POS:0003,DATA:FF8000,"));
}

TEST_F(WriteTransactionsTest, ThreeHundredBytesGoOutInTwoPieces) {
    device.slots[5] = Pattern(50, 2);
    ConnectAndLoad();
    const std::vector<std::uint8_t> file = Pattern(300, 3);
    const size_t before = Writes().size();
    const size_t refreshes = engine.refreshStates.size();
    trace.Clear();

    RequestWrite(5, MakeLocalFile("new.crt", file));
    ASSERT_GT(RunUntil(STATE_READY), 0);

    const std::vector<std::string> frames = WritesFrom(before);
    ASSERT_EQ(frames.size(), 4u);
    const int open = CountOf(frames[0]);
    EXPECT_EQ(frames[0], ScriptedDevice::WithSum(FormatNarrow("CMD:9330,CNT:%02X,POS:0005,", open).c_str()));
    EXPECT_EQ(frames[1].size(), 551u);
    EXPECT_EQ(frames[2].size(), 127u);
    EXPECT_EQ(frames[2], ScriptedDevice::WithSum(FormatNarrow("CMD:9130,CNT:%02X,POS:0005,DATA:%s,",
                                                              (open + 2) % 256,
                                                              ScriptedDevice::Hex(file, 256).c_str())));
    EXPECT_EQ(CountOf(frames[1]), (open + 1) % 256);
    EXPECT_EQ(CountOf(frames[3]), (CountOf(frames[2]) + 2) % 256) << "the empty write step used a count";
    EXPECT_EQ(frames[3].substr(0, 9), "CMD:9430,");

    EXPECT_EQ(trace.messages, TraceLines({"Try Open file idx=5 write", "Success Open file idx=5 write",
                                          "Write(256/300)", "Write(300/300)", "Write Complete", "Try Close(idx=5)",
                                          "Success Close"}));
    EXPECT_FALSE(engine.WriteSourceOpen());
    EXPECT_EQ(SlotBytes(5), file);
    EXPECT_EQ(device.slots[5], file);
    EXPECT_EQ(engine.SlotStatus(5), SLOT_DONE);
    ASSERT_EQ(engine.refreshStates.size(), refreshes + 1);
    EXPECT_EQ(engine.refreshStates.back(), STATE_SEND_CLOSE);
    EXPECT_EQ(engine.refreshSizes.back()[5], 300);
}

// The file to send is opened by its name as the user gave it, whatever script it is in (on
// Windows a name outside the ANSI code page too).
TEST_F(WriteTransactionsTest, FileOfAnyNameIsSentWhole) {
    ConnectAndLoad();
    const char16_t* names[] = {u"server.crt", u"Zertifikat-\u00e4\u00f6\u00fc.crt",
                               u"\u0441\u0435\u0440\u0442\u0438\u0444\u0438\u043a\u0430\u0442.der",
                               u"\u8a3c\u660e\u66f8.crt"};
    int slot = 2;
    for (const char16_t* name : names) {
        const QString path = folder.filePath(QString::fromUtf16(name));
        SCOPED_TRACE(path.toStdString());
        const std::vector<std::uint8_t> bytes = Pattern(300, static_cast<unsigned>(slot));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        file.close();

        ASSERT_EQ(engine.StartWriteFile(slot, path), StartRefusal::None);
        ASSERT_GT(RunUntil(STATE_READY), 0);
        EXPECT_EQ(device.slots[static_cast<size_t>(slot)], bytes);
        ++slot;
    }
}

class WriteSizeTest : public EngineTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(WriteSizeTest, SlotCopyBecomesTheFileAndCountsRunOn) {
    const size_t size = GetParam();
    ConnectAndLoad();
    // Start near the wrap so that longer uploads cross 255 -> 0.
    EngineSetup::ContinueSequence(engine, 250);
    const std::vector<std::uint8_t> file = Pattern(size, 11);
    const size_t before = Writes().size();
    trace.Clear();

    RequestWrite(9, MakeLocalFile("file.crt", file));
    ASSERT_GT(RunUntil(STATE_READY, 500), 0);

    const std::vector<std::string> frames = WritesFrom(before);
    const size_t pieces = (size + WRITE_CHUNK_SIZE - 1) / WRITE_CHUNK_SIZE;
    ASSERT_EQ(frames.size(), pieces + 2);
    for (size_t i = 0; i < pieces; ++i) {
        const size_t count = std::min<size_t>(WRITE_CHUNK_SIZE, size - i * WRITE_CHUNK_SIZE);
        EXPECT_EQ(frames[i + 1].size(), 39 + 2 * count);
        EXPECT_EQ(CountOf(frames[i + 1]), static_cast<int>((250 + 1 + i) % 256));
        EXPECT_EQ(trace.messages[static_cast<qsizetype>(2 + i)],
                  FormatWide("Write(%d/%d)", static_cast<int>(i * WRITE_CHUNK_SIZE + count), static_cast<int>(size)));
    }
    EXPECT_EQ(CountOf(frames.back()), static_cast<int>((250 + pieces + 2) % 256));
    EXPECT_TRUE(trace.Contains("Write Complete"));
    EXPECT_EQ(SlotBytes(9), file);
    EXPECT_TRUE(engine.SlotHasBuffer(9)) << "even an empty upload leaves a buffer";
    EXPECT_EQ(device.slots[9], file);
}

INSTANTIATE_TEST_SUITE_P(Sizes, WriteSizeTest, ::testing::Values(0, 1, 256, 300, 512, 6144));

TEST_F(WriteTransactionsTest, RefusedPieceKeepsTheSlotCopyAndClosesTheSlot) {
    device.slots[5] = Pattern(50, 2);
    device.refuseWritePiece = 2;
    ConnectAndLoad();
    const size_t before = Writes().size();
    const size_t refreshes = engine.refreshStates.size();
    trace.Clear();

    RequestWrite(5, MakeLocalFile("new.crt", Pattern(600, 3)));
    ASSERT_GT(RunUntil(STATE_READY), 0);

    EXPECT_EQ(trace.messages, TraceLines({"Try Open file idx=5 write", "Success Open file idx=5 write",
                                          "Write(256/600)", "Failed Write(512/600)", "Try Close(idx=5)",
                                          "Success Close"}));
    const std::vector<std::string> frames = WritesFrom(before);
    ASSERT_EQ(frames.size(), 4u) << "the refused piece is not sent again";
    EXPECT_EQ(frames[3].substr(0, 9), "CMD:9430,");
    EXPECT_EQ(CountOf(frames[3]), (CountOf(frames[2]) + 1) % 256);
    EXPECT_FALSE(engine.WriteSourceOpen());
    EXPECT_EQ(SlotBytes(5), Pattern(50, 2));
    EXPECT_EQ(engine.refreshStates.size(), refreshes);
}

TEST_F(WriteTransactionsTest, RefusedOpenForWritingSendsNothing) {
    device.slots[5] = Pattern(50, 2);
    ConnectAndLoad();
    device.refuseOpen = {5};
    const size_t before = Writes().size();
    trace.Clear();
    RequestWrite(5, MakeLocalFile("new.crt", Pattern(100)));
    EXPECT_EQ(RunUntil(STATE_READY), 2);
    EXPECT_EQ(trace.messages, TraceLines({"Try Open file idx=5 write", "Failed Open file idx=5 write"}));
    EXPECT_EQ(Writes().size(), before + 1);
    EXPECT_FALSE(engine.WriteSourceOpen());
    EXPECT_EQ(SlotBytes(5), Pattern(50, 2));
}

TEST_F(WriteTransactionsTest, WriteAnswerRules) {
    OpenLink();
    const std::string path = MakeLocalFile("new.crt", Pattern(300));
    struct Case {
        std::string answer;
        int expected;
        const char* traced;
    };
    const std::vector<Case> cases = {
        {Answer({{"CMD", "9130"}, {"RES", "OK"}}), STATE_WRITE_SEND_DATA, "Write(256/300)"},
        // Acceptance needs CMD 9130 ahead of RES.
        {Answer({{"RES", "OK"}, {"CMD", "9130"}}), STATE_WRITE_AWAIT_DATA, nullptr},
        {Answer({{"RES", "OK"}}), STATE_WRITE_AWAIT_DATA, nullptr},
        {Answer({{"CMD", "9030"}, {"RES", "OK"}}), STATE_WRITE_AWAIT_DATA, nullptr},
        // Any other RES refuses, with or without CMD.
        {Answer({{"RES", "NG"}}), STATE_SEND_CLOSE, "Failed Write(256/300)"},
        {Answer({{"CMD", "9130"}, {"RES", "FULL"}}), STATE_SEND_CLOSE, "Failed Write(256/300)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        LocalFile source(std::fopen(path.c_str(), "rb"));
        std::fseek(source.get(), 256, SEEK_SET);
        EngineSetup::AttachWriteSource(engine, std::move(source), 300);
        EngineSetup::PutInState(engine, STATE_WRITE_AWAIT_DATA, 4);
        trace.Clear();
        Feed(c.answer);
        engine.StepEngine();
        EXPECT_EQ(engine.State(), c.expected);
        if (c.traced != nullptr)
            EXPECT_EQ(trace.messages, TraceLines({c.traced}));
        else
            EXPECT_TRUE(trace.messages.isEmpty());
        EXPECT_EQ(engine.WriteSourceOpen(), c.expected != STATE_SEND_CLOSE);
    }
}

TEST_F(WriteTransactionsTest, AcceptanceAfterARefusalInTheSameFrameStillEndsWithAClose) {
    // The refusal closes the file; the later OK must not lead to reading a closed file.
    OpenLink();
    EngineSetup::AttachWriteSource(engine, LocalFile(std::fopen(MakeLocalFile("new.crt", Pattern(300)).c_str(), "rb")), 300);
    EngineSetup::PutInState(engine, STATE_WRITE_AWAIT_DATA, 4);
    Feed(Answer({{"CMD", "9130"}, {"RES", "NG"}, {"RES", "OK"}}));
    engine.StepEngine();
    EXPECT_EQ(engine.State(), STATE_WRITE_SEND_DATA);
    EXPECT_FALSE(engine.WriteSourceOpen());
    engine.StepEngine();
    EXPECT_EQ(engine.State(), STATE_SEND_CLOSE);
    EXPECT_TRUE(Writes().empty());
    EXPECT_FALSE(trace.Contains("Write Complete"));
    EXPECT_FALSE(engine.SlotHasBuffer(4));
}

// Whether reads from a stream opened for writing only fail, as they do on glibc and
// Windows; wine's C runtime reports them as the end of the file instead.
bool ReadsFail(std::FILE* stream) {
    unsigned char probe = 0;
    const bool failed = std::fread(&probe, 1, 1, stream) == 0 && std::ferror(stream) != 0;
    std::clearerr(stream);
    return failed;
}

TEST_F(WriteTransactionsTest, UnreadableFileIsAFailedWriteNotACompleteOne) {
    device.slots[5] = Pattern(50, 2);
    ConnectAndLoad();
    const size_t before = Writes().size();
    const size_t refreshes = engine.refreshStates.size();
    trace.Clear();
    // A stream that cannot be read: every read sets its error flag.
    LocalFile unreadable(std::fopen(LocalPath("writeonly").c_str(), "wb"));
    ASSERT_TRUE(unreadable);
    if (!ReadsFail(unreadable.get())) GTEST_SKIP() << "this C runtime cannot make a read fail";
    ASSERT_EQ(engine.StartWrite(5, std::move(unreadable), 300, QString::fromStdString(LocalPath("writeonly"))),
              StartRefusal::None);
    ASSERT_GT(RunUntil(STATE_READY), 0);

    EXPECT_EQ(trace.messages, TraceLines({"Try Open file idx=5 write", "Success Open file idx=5 write",
                                          "Failed Write(0/300)", "Try Close(idx=5)", "Success Close"}));
    const std::vector<std::string> frames = WritesFrom(before);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(CountOf(frames[1]), (CountOf(frames[0]) + 2) % 256);
    EXPECT_EQ(SlotBytes(5), Pattern(50, 2));
    EXPECT_EQ(engine.refreshStates.size(), refreshes);
    EXPECT_FALSE(engine.WriteSourceOpen());
}

TEST_F(WriteTransactionsTest, ReadErrorMidUploadKeepsTheSlotCopy) {
    device.slots[5] = Pattern(50, 2);
    ConnectAndLoad();
    trace.Clear();
    RequestWrite(5, MakeLocalFile("new.crt", Pattern(600, 3)));
    for (int i = 0; i < 20 && !trace.Contains("Write(256/600)"); ++i) Tick();
    ASSERT_EQ(engine.State(), STATE_WRITE_SEND_DATA);
    // The file becomes unreadable after the first piece.
    LocalFile unreadable(std::fopen(LocalPath("writeonly").c_str(), "wb"));
    if (!ReadsFail(unreadable.get())) GTEST_SKIP() << "this C runtime cannot make a read fail";
    std::fseek(unreadable.get(), 256, SEEK_SET);
    EngineSetup::AttachWriteSource(engine, std::move(unreadable), engine.TransferTotal());
    ASSERT_GT(RunUntil(STATE_READY), 0);

    EXPECT_TRUE(trace.Contains("Failed Write(256/600)"));
    EXPECT_FALSE(trace.Contains("Write Complete"));
    EXPECT_EQ(trace.messages.last(), QStringLiteral("Success Close"));
    EXPECT_EQ(SlotBytes(5), Pattern(50, 2));
    EXPECT_EQ(device.CommandsWithCode("9130").size(), 1u);
    EXPECT_EQ(device.slots[5], Slice(Pattern(600, 3), 0, 256)) << "the device kept the part it got";
}

TEST_F(WriteTransactionsTest, FileThatGrewPastASlotAfterItsCheckFailsWithoutOversending) {
    device.slots[5] = Pattern(50, 2);
    ConnectAndLoad();
    trace.Clear();
    // Checked at 6144 bytes; by the time it is read the file holds more.
    const std::string path = MakeLocalFile("growing.crt", Pattern(SLOT_BUFFER_SIZE, 3));
    RequestWrite(5, path);
    const std::vector<std::uint8_t> grown = Pattern(SLOT_BUFFER_SIZE + 10, 3);
    MakeLocalFile("growing.crt", grown);
    ASSERT_GT(RunUntil(STATE_READY, 500), 0);

    EXPECT_TRUE(trace.Contains("Failed Write(6144/6144)"));
    EXPECT_FALSE(trace.Contains("Write Complete"));
    EXPECT_EQ(device.CommandsWithCode("9130").size(), SLOT_BUFFER_SIZE / WRITE_CHUNK_SIZE);
    EXPECT_EQ(device.slots[5], Slice(grown, 0, SLOT_BUFFER_SIZE));
    EXPECT_EQ(SlotBytes(5), Pattern(50, 2)) << "the slot's copy is not replaced by a cut file";
    EXPECT_FALSE(engine.WriteSourceOpen());
}

TEST_F(WriteTransactionsTest, RemoveErasesTheSlotCopy) {
    device.slots[4] = Pattern(80);
    ConnectAndLoad();
    const size_t before = Writes().size();
    const size_t refreshes = engine.refreshStates.size();
    trace.Clear();
    RequestRemove(4);
    EXPECT_EQ(RunUntil(STATE_READY), 2);

    const std::vector<std::string> frames = WritesFrom(before);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], ScriptedDevice::WithSum(
                             FormatNarrow("CMD:9530,CNT:%02X,POS:0004,", CountOf(frames[0])).c_str()));
    EXPECT_EQ(trace.messages, TraceLines({"Try remove (idx=4).", "Remove command has been completed."}));
    EXPECT_FALSE(engine.SlotHasBuffer(4));
    EXPECT_EQ(engine.SlotSize(4), 0);
    EXPECT_EQ(engine.SlotStatus(4), SLOT_DONE);
    EXPECT_EQ(engine.refreshStates.size(), refreshes + 1);
    EXPECT_TRUE(device.slots[4].empty());
}

TEST_F(WriteTransactionsTest, RefusedRemoveKeepsTheCopy) {
    device.slots[4] = Pattern(80);
    device.refuseRemove = {4};
    ConnectAndLoad();
    const size_t refreshes = engine.refreshStates.size();
    trace.Clear();
    RequestRemove(4);
    EXPECT_EQ(RunUntil(STATE_READY), 2);
    EXPECT_EQ(trace.messages, TraceLines({"Try remove (idx=4).", "The remove command was not completed."}));
    EXPECT_EQ(SlotBytes(4), Pattern(80));
    EXPECT_EQ(engine.refreshStates.size(), refreshes);
}

TEST_F(WriteTransactionsTest, RemoveAnswerWithoutCmdErasesButKeepsWaiting) {
    device.slots[4] = Pattern(80);
    ConnectAndLoad();
    device.silent = true;
    const size_t refreshes = engine.refreshStates.size();
    RequestRemove(4);
    Tick();
    device.Inject(Answer({{"RES", "OK"}}));
    Tick();
    EXPECT_EQ(engine.State(), STATE_REMOVE_AWAIT);
    EXPECT_FALSE(engine.SlotHasBuffer(4));
    EXPECT_EQ(engine.refreshStates.size(), refreshes + 1);
    EXPECT_TRUE(trace.Contains("Remove command has been completed."));
    for (int i = 0; i < 5; ++i) Tick();
    EXPECT_EQ(engine.State(), STATE_REMOVE_AWAIT);
    device.Inject(Answer({{"CMD", "9530"}}));
    Tick();
    EXPECT_EQ(engine.State(), STATE_READY);
    EXPECT_EQ(engine.refreshStates.size(), refreshes + 1);
}

TEST_F(WriteTransactionsTest, RemovingASlotWithoutACopyDoesNotRefresh) {
    device.slots[6] = Pattern(30);
    device.refuseOpen = {6};
    ConnectAndLoad();
    ASSERT_FALSE(engine.SlotHasBuffer(6));
    const size_t refreshes = engine.refreshStates.size();
    trace.Clear();
    RequestRemove(6);
    EXPECT_EQ(RunUntil(STATE_READY), 2);
    EXPECT_EQ(trace.messages, TraceLines({"Try remove (idx=6).", "Remove command has been completed."}));
    EXPECT_EQ(engine.refreshStates.size(), refreshes);
}

}  // namespace
