// Opening the selected port (each failure with its box, trace, handle and state) and the
// receive pump (joining, NUL bytes, a full buffer, the process-wide read-failure limit).

#include <gtest/gtest.h>

#include <cstring>

#include "engine/EngineSetup.h"
#include "engine/SlotEngine.h"
#include "fakes/FakeCommPort.h"
#include "fakes/FakeDialogServices.h"
#include "fakes/ScriptedDevice.h"
#include "fakes/TraceCapture.h"

namespace {

const std::vector<std::string> kAllSteps = {"GetState",    "Purge",       "SetState",
                                            "GetTimeouts", "SetTimeouts", "RaiseRts"};

// The engine with the two steps these tests take on their own: opening the port, and
// taking one answer out of the receive buffer.
class LinkEngine : public CSlotEngine {
public:
    using CSlotEngine::CSlotEngine;
    using CSlotEngine::OpenPort;
    using CSlotEngine::ParseResponse;
};

class SerialLinkTest : public ::testing::Test {
protected:
    FakePortProvider ports;
    FakeDialogServices services;
    LinkEngine engine{ports, services};
    TraceCapture trace;

    void SetUp() override {
        CSlotEngine::ResetReadErrors();
        static_cast<void>(engine.SelectPort({QStringLiteral("ttyACM0"), QStringLiteral("/dev/ttyACM0")}));
    }
    void TearDown() override { CSlotEngine::ResetReadErrors(); }

    std::string Held() const { return std::string(engine.Received()); }
    // Ready for the next step: the engine in `state`, its current slot as it was.
    void Enter(CSlotEngine& which, int state) { EngineSetup::PutInState(which, state, which.CurrentSlot()); }
};

TEST_F(SerialLinkTest, OpenPortOpensAndConfiguresTheSelectedPort) {
    Enter(engine, STATE_CONNECT);
    ASSERT_TRUE(engine.OpenPort());
    EXPECT_TRUE(engine.IsPortOpen());
    EXPECT_EQ(ports.opened, std::vector<QString>{QStringLiteral("/dev/ttyACM0")});
    // The purge comes before the settings; RTS goes up once everything is set.
    EXPECT_EQ(ports.line->steps, kAllSteps);
    EXPECT_EQ(engine.State(), STATE_CONNECT) << "success leaves the state to the caller";
    EXPECT_EQ(trace.messages, TraceLines({"Open(ttyACM0)"}));
    EXPECT_TRUE(services.messages.empty());
}

TEST_F(SerialLinkTest, RefusedLineSettingsDoNotStopTheConnection) {
    ports.line->failSetState = true;
    EXPECT_TRUE(engine.OpenPort());
    EXPECT_TRUE(engine.IsPortOpen());
    EXPECT_EQ(ports.line->steps, kAllSteps);
    EXPECT_EQ(trace.messages, TraceLines({"Open(ttyACM0)"}));
}

struct OpenFailure {
    const char* name;
    void (*arrange)(FakePortProvider&);
    const char* box;  // nullptr: no message box
    const char* failureTrace;
    bool opened;   // a handle existed and had to be closed
    size_t steps;  // how many of kAllSteps were taken: never RaiseRts
};

void PrintTo(const OpenFailure& failure, std::ostream* os) {
    *os << failure.name;
}

class OpenPortFailureTest : public SerialLinkTest,
                            public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenPortFailureTest, ReportsAndLeavesNoPortBeforeAnyBox) {
    const OpenFailure& failure = GetParam();
    failure.arrange(ports);
    // What a failed open must not touch.
    const std::string held = "CMD:0000,";
    EngineSetup::FeedReceived(engine, held);
    EngineSetup::CountReadErrors(3);

    bool checkedInsideBox = false;
    services.onMessage = [&] {
        if (checkedInsideBox) return;  // a nested open would show a box of its own
        checkedInsideBox = true;
        EXPECT_FALSE(engine.IsPortOpen());
        EXPECT_EQ(engine.State(), STATE_CLOSED);
        EXPECT_EQ(trace.messages, TraceLines({"Open(ttyACM0)"}))
            << "the box comes before the failure trace";
        // Timer ticks inside the box's loop find nothing to do.
        engine.StepEngine();
        engine.ReceiveFromPort();
        EXPECT_EQ(ports.opened.size(), 1u);
    };
    Enter(engine, STATE_CONNECT);
    engine.StepEngine();

    EXPECT_EQ(engine.State(), STATE_DISCONNECT);
    EXPECT_FALSE(engine.IsPortOpen());
    EXPECT_EQ(ports.line->closed, failure.opened);
    EXPECT_EQ(ports.line->steps,
              std::vector<std::string>(kAllSteps.begin(), kAllSteps.begin() + failure.steps));
    EXPECT_EQ(trace.messages, TraceLines({"Open(ttyACM0)", failure.failureTrace}));
    if (failure.box != nullptr) {
        ASSERT_EQ(services.messages.size(), 1u);
        EXPECT_EQ(services.messages[0].text, QString::fromLatin1(failure.box));
        EXPECT_TRUE(services.messages[0].caption.isEmpty());
        EXPECT_EQ(services.messages[0].type, static_cast<unsigned>(MsgBox::Ok));
        EXPECT_TRUE(checkedInsideBox);
    } else {
        EXPECT_TRUE(services.messages.empty());
    }
    EXPECT_EQ(Held(), held);
    EXPECT_EQ(CSlotEngine::ReadErrors(), 3);
    EXPECT_TRUE(ports.line->writes.empty());

    engine.StepEngine();
    EXPECT_EQ(engine.State(), STATE_CLOSED);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, OpenPortFailureTest,
    ::testing::Values(
        OpenFailure{"Open", [](FakePortProvider& p) { p.failOpen = true; },
                    "The connection failed when trying to open the COM port.",
                    "Failed Open(ttyACM0) Open", false, 0},
        OpenFailure{"GetState", [](FakePortProvider& p) { p.line->failGetState = true; }, nullptr,
                    "The connection failed when trying to initialize the COM port.", true, 1},
        OpenFailure{"GetTimeouts", [](FakePortProvider& p) { p.line->failGetTimeouts = true; },
                    "The connection failed when trying to setting the COM port.",
                    "Failed Open(ttyACM0) Configuration1", true, 4},
        OpenFailure{"SetTimeouts", [](FakePortProvider& p) { p.line->failSetTimeouts = true; },
                    nullptr, "The connection failed when trying to setting the COM port.", true,
                    5}),
    [](const ::testing::TestParamInfo<OpenFailure>& param) {
        return std::string(param.param.name);
    });

TEST_F(SerialLinkTest, RefusedOpenNamesItsReasonAfterTheFailureLine) {
    ports.failOpen = true;
    ports.openError = {PortOpenFailure::InUse, QStringLiteral("Resource temporarily unavailable")};
    EXPECT_FALSE(engine.OpenPort());
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0].text,
              QStringLiteral("The connection failed when trying to open the COM port."));
    EXPECT_EQ(trace.messages,
              TraceLines({"Open(ttyACM0)", "Failed Open(ttyACM0) Open",
                          "Open(ttyACM0) failed: in use by another program (Resource temporarily "
                          "unavailable)"}));
}

TEST_F(SerialLinkTest, NoSelectedPortFailsLikeAnOpenThatFailed) {
    ASSERT_EQ(engine.SelectPort({}), StartRefusal::None);
    EXPECT_FALSE(engine.OpenPort());
    EXPECT_TRUE(ports.opened.empty());
    EXPECT_EQ(engine.State(), STATE_CLOSED);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0].text,
              QStringLiteral("The connection failed when trying to open the COM port."));
    EXPECT_EQ(trace.messages, TraceLines({"Open(COM-1)", "Failed Open(COM-1) Open"}));
}

TEST_F(SerialLinkTest, ClosedPortIsNotRead) {
    ports.line->incoming.push_back("CMD:0000,");
    engine.ReceiveFromPort();
    EXPECT_EQ(ports.line->reads, 0);
    EXPECT_TRUE(engine.Received().empty());
}

TEST_F(SerialLinkTest, ReplySplitOverTwoTicksIsJoinedIntoOneFrame) {
    ASSERT_TRUE(engine.OpenPort());
    const std::string reply = ScriptedDevice::Answer({{"CMD", "9330"}, {"RES", "OK"}});
    ports.line->incoming = {reply.substr(0, 11), "", reply.substr(11)};

    ResponseFields fields;
    engine.ReceiveFromPort();
    engine.ParseResponse(fields);
    EXPECT_TRUE(fields.empty());
    engine.ReceiveFromPort();  // nothing arrived: no change, no failure
    EXPECT_EQ(engine.Received().size(), 11u);
    engine.ReceiveFromPort();
    EXPECT_EQ(Held(), reply);
    engine.ParseResponse(fields);
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0].key, "CMD");
    EXPECT_EQ(fields[1].value, "OK");
    EXPECT_TRUE(engine.Received().empty());
    EXPECT_EQ(CSlotEngine::ReadErrors(), 0);
}

TEST_F(SerialLinkTest, NulBytesAreDroppedSoTheParserSeesEveryByte) {
    ASSERT_TRUE(engine.OpenPort());
    const std::string reply = ScriptedDevice::Answer({{"CMD", "0000"}});
    std::string noisy = reply;
    noisy.insert(4, std::string("\0\0", 2));
    ports.line->incoming = {noisy};
    engine.ReceiveFromPort();
    EXPECT_EQ(Held(), reply);
    EXPECT_EQ(engine.ReceiveBuffer()[engine.Received().size()], '\0');
    ResponseFields fields;
    engine.ParseResponse(fields);
    EXPECT_EQ(fields.size(), 2u);
}

// Records how much each read may take.
class CapacityPort : public CommPort {
public:
    explicit CapacityPort(std::vector<int>& capacities) : m_capacities(capacities) {}
    bool GetState() override { return true; }
    void Purge() override {}
    bool SetState() override { return true; }
    bool GetTimeouts() override { return true; }
    bool SetTimeouts() override { return true; }
    void RaiseRts() override {}
    bool Read(char* buffer, int capacity, int& count) override {
        m_capacities.push_back(capacity);
        count = std::min(capacity, 3);
        std::memcpy(buffer, "xyz", static_cast<size_t>(count));
        return true;
    }
    void Write(const char*, int) override {}

private:
    std::vector<int>& m_capacities;
};

TEST_F(SerialLinkTest, FullBufferWithAFrameAsksForNothingAndAStalledOneIsDropped) {
    std::vector<int> capacities;
    EngineSetup::AttachPort(engine, std::make_unique<CapacityPort>(capacities));

    const std::string frame = ScriptedDevice::Answer({{"CMD", "0000"}});
    std::string full = frame + std::string(static_cast<size_t>(RX_BUFFER_SIZE) - frame.size(), 'q');
    EngineSetup::FeedReceived(engine, full);
    engine.ReceiveFromPort();
    EXPECT_EQ(capacities, std::vector<int>{0});
    EXPECT_EQ(engine.Received().size(), static_cast<size_t>(RX_BUFFER_SIZE));
    EXPECT_EQ(Held(), full);

    // Without a complete frame nothing could ever be taken out: it is discarded.
    EngineSetup::ClearReceived(engine);
    EngineSetup::FeedReceived(engine, std::string(static_cast<size_t>(RX_BUFFER_SIZE), 'q'));
    engine.ReceiveFromPort();
    EXPECT_EQ(capacities, (std::vector<int>{0, RX_BUFFER_SIZE}));
    EXPECT_EQ(Held(), "xyz");
    EXPECT_EQ(engine.ReceiveBuffer()[3], '\0');

    engine.ReceiveFromPort();
    EXPECT_EQ(capacities.back(), RX_BUFFER_SIZE - 3);
    EXPECT_EQ(Held(), "xyzxyz");
}

TEST_F(SerialLinkTest, EleventhFailedReadForcesADisconnect) {
    ASSERT_TRUE(engine.OpenPort());
    Enter(engine, STATE_READY);
    ports.line->incoming = {"AB"};
    engine.ReceiveFromPort();
    trace.Clear();

    // Ten failures, with successful reads between them: nothing forgives a failure.
    for (int i = 0; i < 10; ++i) {
        ports.line->readFailures = {true, false};
        engine.ReceiveFromPort();
        engine.ReceiveFromPort();
    }
    EXPECT_EQ(CSlotEngine::ReadErrors(), 10);
    EXPECT_EQ(engine.State(), STATE_READY);
    EXPECT_EQ(engine.Received().size(), 2u) << "a failed read keeps what was held";
    EXPECT_EQ(trace.debug, QStringList(10, QStringLiteral("read error")))
        << "direct lines, no time stamp";
    EXPECT_TRUE(trace.messages.isEmpty()) << "not a Trace: nothing on standard output";

    ports.line->readFailures = {true};
    engine.ReceiveFromPort();
    EXPECT_EQ(engine.State(), STATE_DISCONNECT);
    EXPECT_EQ(CSlotEngine::ReadErrors(), 0);
    EXPECT_TRUE(engine.IsPortOpen()) << "the engine step closes the port";

    // The count starts again: ten more failures are not yet enough.
    Enter(engine, STATE_READY);
    ports.line->unplugged = true;
    for (int i = 0; i < 10; ++i) engine.ReceiveFromPort();
    EXPECT_EQ(engine.State(), STATE_READY);
    engine.ReceiveFromPort();
    EXPECT_EQ(engine.State(), STATE_DISCONNECT);
}

TEST_F(SerialLinkTest, ReadFailuresCountAcrossConnectionsAndEngines) {
    ASSERT_TRUE(engine.OpenPort());
    ports.line->unplugged = true;
    for (int i = 0; i < 6; ++i) engine.ReceiveFromPort();

    // A later connection, even of another engine, inherits the count.
    FakePortProvider otherPorts;
    LinkEngine other(otherPorts, services);
    ASSERT_EQ(other.SelectPort(engine.SelectedPort()), StartRefusal::None);
    ASSERT_TRUE(other.OpenPort());
    Enter(other, STATE_READY);
    otherPorts.line->unplugged = true;
    for (int i = 0; i < 4; ++i) other.ReceiveFromPort();
    EXPECT_EQ(other.State(), STATE_READY);
    other.ReceiveFromPort();
    EXPECT_EQ(other.State(), STATE_DISCONNECT);
    EXPECT_EQ(CSlotEngine::ReadErrors(), 0);
}

}  // namespace
