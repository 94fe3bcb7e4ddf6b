// How each transaction ended, as the engine reports it to its owner: one table of flows,
// each with the reports it must produce, in order.

#include <functional>

#include "EngineHarness.h"

using T = Transaction;
using O = Outcome;

void PrintTo(const TransactionEnd& end, std::ostream* out) {
    *out << "{transaction " << static_cast<int>(end.transaction) << ", outcome "
         << static_cast<int>(end.outcome) << ", slot " << end.slot << "}";
}

namespace {

class TransactionEndTest;
struct EndCase {
    const char* name;
    std::function<void(TransactionEndTest&)> act;
    std::vector<TransactionEnd> expected;
};

void PrintTo(const EndCase& flow, std::ostream* out) {
    *out << flow.name;
}

class TransactionEndTest : public EngineTest, public ::testing::WithParamInterface<EndCase> {
public:
    void Settle() { ASSERT_GT(RunUntil(STATE_READY), 0); }
    // What the cases of the table use.
    using EngineTest::device;
    using EngineTest::engine;
    using EngineTest::LocalPath;
    using EngineTest::MakeLocalFile;
    using EngineTest::ports;
    using EngineTest::RequestRead;
    using EngineTest::RequestRemove;
    using EngineTest::RequestWrite;
    using EngineTest::RunUntil;
    using EngineTest::Tick;
};

// Before each case: the load of slot 4 (80 bytes) and of slot 6, which the device refuses;
// the other slots are marked done and not loaded.
TEST_P(TransactionEndTest, ReportsHowEachTransactionEnded) {
    device.slots[4] = Pattern(80);
    device.refuseOpen = {6};
    ASSERT_EQ(engine.RequestConnect(std::bitset<SLOT_COUNT>().set(4).set(6)), StartRefusal::None);
    ASSERT_GT(RunUntil(STATE_READY), 0) << "load did not finish";
    EXPECT_EQ(engine.ends, (std::vector<TransactionEnd>{{T::Connect, O::Done, -1},
                                                        {T::Open, O::Done, 4},
                                                        {T::Read, O::Done, 4},
                                                        {T::Close, O::Done, 4},
                                                        {T::Open, O::Refused, 6}}));
    device.refuseOpen.clear();
    engine.ends.clear();
    GetParam().act(*this);
    EXPECT_EQ(engine.ends, GetParam().expected);
}

const EndCase kCases[] = {
    {"Read",
     [](TransactionEndTest& t) {
         t.RequestRead(4, t.LocalPath("r"));
         t.Settle();
     },
     {{T::Open, O::Done, 4}, {T::Read, O::Done, 4}, {T::Close, O::Done, 4}}},
    {"ReadRefused",
     [](TransactionEndTest& t) {
         t.device.refuseOpen = {4};
         t.RequestRead(4, t.LocalPath("r"));
         t.Settle();
     },
     {{T::Open, O::Refused, 4}}},
    {"ReadOfAMalformedPiece",
     [](TransactionEndTest& t) {
         t.RequestRead(4, t.LocalPath("r"));
         for (int i = 0; i < 3; ++i) t.Tick();  // open sent, answered; read sent, answer queued
         t.ports.line->incoming.assign(
             1, ScriptedDevice::Answer({{"CMD", "9030"}, {"RES", "OK"}, {"DATA", "ABC"}}));
         t.Settle();
     },
     {{T::Open, O::Done, 4}, {T::Read, O::Malformed, 4}}},
    {"Write",
     [](TransactionEndTest& t) {
         t.RequestWrite(5, t.MakeLocalFile("w", Pattern(300)));
         t.Settle();
     },
     {{T::Open, O::Done, 5}, {T::Write, O::Done, 5}, {T::Close, O::Done, 5}}},
    {"WriteWithARefusedPiece",
     [](TransactionEndTest& t) {
         t.device.refuseWritePiece = 2;
         t.RequestWrite(5, t.MakeLocalFile("w", Pattern(600)));
         t.Settle();
     },
     {{T::Open, O::Done, 5}, {T::Write, O::Refused, 5}, {T::Close, O::Done, 5}}},
    {"WriteOfAFileThatGrewPastASlot",
     [](TransactionEndTest& t) {
         t.RequestWrite(5, t.MakeLocalFile("w", Pattern(SLOT_BUFFER_SIZE)));
         t.MakeLocalFile("w", Pattern(SLOT_BUFFER_SIZE + 1));
         t.Settle();
     },
     {{T::Open, O::Done, 5}, {T::Write, O::LocalFileError, 5}, {T::Close, O::Done, 5}}},
    {"RemoveAndRefusedRemove",
     [](TransactionEndTest& t) {
         t.RequestRemove(4);
         t.Settle();
         t.device.refuseRemove = {3};
         t.RequestRemove(3);
         t.Settle();
     },
     {{T::Remove, O::Done, 4}, {T::Remove, O::Refused, 3}}},
    {"DisconnectAskedFor",
     [](TransactionEndTest& t) {
         static_cast<void>(t.engine.IsPortOpen() ? t.engine.RequestDisconnect() : t.engine.RequestConnect());
         t.Tick();
     },
     {}},
    {"PortThatKeepsFailing",
     [](TransactionEndTest& t) {
         t.ports.line->unplugged = true;
         ASSERT_GT(t.RunUntil(STATE_CLOSED), 0);
     },
     {{T::Link, O::ConnectionLost, -1}}},
    {"PortThatCannotBeOpened",
     [](TransactionEndTest& t) {
         static_cast<void>(t.engine.IsPortOpen() ? t.engine.RequestDisconnect() : t.engine.RequestConnect());
         t.Tick();
         t.ports.failOpen = true;
         static_cast<void>(t.engine.IsPortOpen() ? t.engine.RequestDisconnect() : t.engine.RequestConnect());
         ASSERT_GT(t.RunUntil(STATE_CLOSED), 0);
     },
     {{T::Connect, O::PortFailed, -1}}},
};

INSTANTIATE_TEST_SUITE_P(Flows, TransactionEndTest, ::testing::ValuesIn(kCases),
                         [](const auto& flow) { return std::string(flow.param.name); });

}  // namespace
