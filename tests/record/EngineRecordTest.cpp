#include <gtest/gtest.h>

#include "certs/SlotCommands.h"
#include "engine/EngineSetup.h"
#include "engine/SlotEngine.h"
#include "fakes/FakeCommPort.h"
#include "fakes/FakeDialogServices.h"

namespace {
// The window's engine, which releases the slot buffers when it closes.
class WindowEngine : public CSlotEngine {
public:
    using CSlotEngine::CSlotEngine;
    using CSlotEngine::ReleaseSlotBuffers;
};
}  // namespace

TEST(EngineRecord, StartValues) {
    FakePortProvider ports;
    FakeDialogServices services;
    CSlotEngine engine(ports, services);
    CSlotCommands commands(engine, services);
    EXPECT_EQ(engine.State(), STATE_CLOSED);
    EXPECT_FALSE(engine.IsPortOpen());
    EXPECT_EQ(engine.Sequence(), 0);
    EXPECT_TRUE(engine.Received().empty());
    for (char c : engine.ReceiveBuffer()) ASSERT_EQ(c, '\0');
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        EXPECT_EQ(engine.SlotStatus(slot), SLOT_PENDING);
        EXPECT_FALSE(engine.SlotHasBuffer(slot));
        EXPECT_EQ(engine.SlotSize(slot), 0);
    }
    EXPECT_EQ(engine.CurrentSlot(), -1);
    EXPECT_EQ(commands.m_nTargetListId, 0);
    EXPECT_EQ(commands.m_nTargetRow, -1);
    EXPECT_EQ(engine.TransferTotal(), 0u);
    EXPECT_FALSE(engine.WriteSourceOpen());
    EXPECT_FALSE(engine.ReadTargetOpen());
    EXPECT_EQ(engine.AnnouncedSize(), 0u);
}

TEST(EngineRecord, ConnectButtonAsksForConnectOrDisconnectByPortOnly) {
    FakePortProvider ports;
    FakeDialogServices services;
    CSlotEngine engine(ports, services);
    CSlotCommands commands(engine, services);
    // A failed attempt may leave this behind.
    EngineSetup::PutInState(engine, STATE_DISCONNECT, engine.CurrentSlot());
    commands.OnBnClickedConnect();
    EXPECT_EQ(engine.State(), STATE_CONNECT);
    EngineSetup::AttachPort(engine, ports.Open(QStringLiteral("/dev/fake")));
    EngineSetup::PutInState(engine, STATE_LOAD_AWAIT_DATA, engine.CurrentSlot());
    commands.OnBnClickedConnect();
    EXPECT_EQ(engine.State(), STATE_DISCONNECT);
}

TEST(EngineRecord, ClosingTheWindowReleasesBuffersButKeepsSizesAndStatuses) {
    FakePortProvider ports;
    FakeDialogServices services;
    WindowEngine engine(ports, services);
    EngineSetup::PreloadSlot(engine, 3, std::vector<std::uint8_t>(100), SLOT_DONE);
    engine.ReleaseSlotBuffers();
    EXPECT_FALSE(engine.SlotHasBuffer(3));
    EXPECT_EQ(engine.SlotSize(3), 100);
    EXPECT_EQ(engine.SlotStatus(3), SLOT_DONE);
}

TEST(SlotMapping, LabelsListsAndRows) {
    EXPECT_EQ(SlotLabel(0), QStringLiteral("Certificate"));
    EXPECT_EQ(SlotLabel(1), QStringLiteral("Key"));
    EXPECT_EQ(SlotLabel(2), QStringLiteral("Certificate 1"));
    EXPECT_EQ(SlotLabel(14), QStringLiteral("Certificate 13"));
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        EXPECT_EQ(SlotFromListRow(SlotListId(slot), SlotRow(slot)), slot);
    }
    EXPECT_EQ(SlotListId(1), IDC_LIST_SERVER);
    EXPECT_EQ(SlotListId(2), IDC_LIST_CLIENT);
    EXPECT_EQ(SlotRow(2), 0);
    EXPECT_EQ(SlotFromListRow(IDC_LIST_CLIENT, 4), 6);  // "Certificate 5"
    EXPECT_EQ(SlotFromListRow(0, 0), -1);
    EXPECT_EQ(SlotFromListRow(IDC_LIST_SERVER, -1), -1);
}

TEST(SlotMapping, StateNames) {
    EXPECT_STREQ(EngineStateName(STATE_READY), "STATE_READY");
    EXPECT_STREQ(EngineStateName(21), "(not used)");
    EXPECT_STREQ(EngineStateName(23), "STATE_AWAIT_CLOSE");
    EXPECT_STREQ(EngineStateName(24), "");
    EXPECT_STREQ(EngineStateName(-1), "");
    EXPECT_EQ(STATE_LOAD_NEXT, 3);
    EXPECT_EQ(STATE_WRITE_AWAIT_DATA, 19);
    EXPECT_EQ(STATE_SEND_CLOSE, 22);
}
