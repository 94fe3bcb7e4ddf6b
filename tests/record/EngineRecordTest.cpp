#include <gtest/gtest.h>

#include "certs/SlotCommands.h"
#include "engine/SlotEngine.h"
#include "fakes/FakeCommPort.h"
#include "fakes/FakeDialogServices.h"

TEST(EngineRecord, StartValues) {
    FakePortProvider ports;
    FakeDialogServices services;
    CSlotEngine engine(ports, services);
    CSlotCommands commands(engine, services);
    EXPECT_EQ(engine.m_nState, STATE_CLOSED);
    EXPECT_FALSE(engine.IsPortOpen());
    EXPECT_EQ(engine.m_nSequence, 0);
    EXPECT_EQ(engine.m_nRxLength, 0);
    for (char c : engine.m_rxBuffer) ASSERT_EQ(c, '\0');
    for (const FileSlot& slot : engine.m_slots) {
        EXPECT_EQ(slot.nStatus, SLOT_PENDING);
        EXPECT_EQ(slot.pData, nullptr);
        EXPECT_EQ(slot.nSize, 0);
    }
    EXPECT_EQ(engine.m_nCurSlot, -1);
    EXPECT_EQ(commands.m_nTargetListId, 0);
    EXPECT_EQ(commands.m_nTargetRow, -1);
    EXPECT_EQ(engine.m_nTransferTotal, 0u);
    EXPECT_EQ(engine.m_pWriteSource, nullptr);
    EXPECT_EQ(engine.m_pReadTarget, nullptr);
    EXPECT_EQ(engine.m_nFileSize, 0u);
}

TEST(EngineRecord, ConnectButtonAsksForConnectOrDisconnectByPortOnly) {
    FakePortProvider ports;
    FakeDialogServices services;
    CSlotEngine engine(ports, services);
    CSlotCommands commands(engine, services);
    engine.m_nState = STATE_DISCONNECT;  // a failed attempt may leave this behind
    commands.OnBnClickedConnect();
    EXPECT_EQ(engine.m_nState, STATE_CONNECT);
    engine.m_hComm = ports.Open(QStringLiteral("/dev/fake"));
    engine.m_nState = STATE_LOAD_AWAIT_DATA;
    commands.OnBnClickedConnect();
    EXPECT_EQ(engine.m_nState, STATE_DISCONNECT);
}

TEST(EngineRecord, ClosingTheWindowReleasesBuffersButKeepsSizesAndStatuses) {
    FakePortProvider ports;
    FakeDialogServices services;
    CSlotEngine engine(ports, services);
    engine.m_slots[3].EnsureBuffer();
    engine.m_slots[3].nSize = 100;
    engine.m_slots[3].nStatus = SLOT_DONE;
    engine.ReleaseSlotBuffers();
    EXPECT_EQ(engine.m_slots[3].pData, nullptr);
    EXPECT_EQ(engine.m_slots[3].nSize, 100);
    EXPECT_EQ(engine.m_slots[3].nStatus, SLOT_DONE);
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
