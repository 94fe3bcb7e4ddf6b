#pragma once
// An engine wired to a fake port with a scripted device behind it, driven tick by tick
// the way the timers drive the window: receive, engine step, then the device answers.

#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/SlotEngine.h"
#include "fakes/FakeCommPort.h"
#include "fakes/FakeDialogServices.h"
#include "fakes/ScriptedDevice.h"
#include "fakes/TraceCapture.h"

class TestEngine : public CSlotEngine {
public:
    using CSlotEngine::CSlotEngine;
    // Every transaction end the engine reported, in order.
    std::vector<TransactionEnd> ends;
    void OnTransactionEnded(const TransactionEnd& end) override { ends.push_back(end); }
    // m_nState at each refresh, and the slot sizes it would have shown.
    std::vector<int> refreshStates;
    std::vector<std::array<std::uint16_t, SLOT_COUNT>> refreshSizes;
    void RefreshSlotLists() override {
        refreshStates.push_back(m_nState);
        std::array<std::uint16_t, SLOT_COUNT> sizes{};
        for (int i = 0; i < SLOT_COUNT; ++i) sizes[static_cast<size_t>(i)] = m_slots[static_cast<size_t>(i)].nSize;
        refreshSizes.push_back(sizes);
    }
};

// Bytes 0..n-1 of a pattern that covers every byte value, 0x80 and above included.
inline std::vector<std::uint8_t> Pattern(size_t n, unsigned seed = 0) {
    std::vector<std::uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + seed) & 0xFF);
    return bytes;
}

// Everything one engine test works with; a test that needs several fresh engines (one per
// case of a table) makes a rig per case.
class EngineRig {
public:
    FakePortProvider ports;
    FakeDialogServices services;
    TestEngine engine{ports, services};
    ScriptedDevice device{ports.line};
    TraceCapture trace;
    QTemporaryDir folder;

    EngineRig() {
        CSlotEngine::s_nReadErrors = 0;
        engine.m_selectedPort = {QStringLiteral("ttyACM0"), QStringLiteral("/dev/ttyACM0")};
    }
    virtual ~EngineRig() { CSlotEngine::s_nReadErrors = 0; }
    EngineRig(const EngineRig&) = delete;
    EngineRig& operator=(const EngineRig&) = delete;

    // Every frame the host wrote passed the device's strict checks.
    void ExpectFramesAccepted() const {
        for (const std::string& error : device.errors) ADD_FAILURE() << "device rejected " << error;
    }

    void Tick() {
        engine.ReceiveFromPort();
        engine.StepEngine();
        device.Serve();
    }
    // Ticks until m_nState is `state`; the number of ticks taken, or -1 after `limit`.
    int RunUntil(int state, int limit = 3000) {
        for (int ticks = 1; ticks <= limit; ++ticks) {
            Tick();
            if (engine.m_nState == state) return ticks;
        }
        return -1;
    }
    void ConnectAndLoad() {
        static_cast<void>(engine.IsPortOpen() ? engine.RequestDisconnect() : engine.RequestConnect());
        ASSERT_GT(RunUntil(STATE_READY), 0) << "load did not finish";
    }

    const std::vector<std::string>& Writes() const { return ports.line->writes; }
    std::vector<std::uint8_t> SlotBytes(int slot) const {
        const FileSlot& s = engine.m_slots[static_cast<size_t>(slot)];
        if (!s.pData) return {};
        return std::vector<std::uint8_t>(s.pData.get(), s.pData.get() + s.nSize);
    }

    std::string LocalPath(const char* name) const {
        return QFile::encodeName(folder.filePath(QString::fromLatin1(name))).toStdString();
    }
    std::string MakeLocalFile(const char* name, const std::vector<std::uint8_t>& bytes) const {
        const std::string path = LocalPath(name);
        std::FILE* file = std::fopen(path.c_str(), "wb");
        EXPECT_NE(file, nullptr);
        if (file == nullptr) return path;
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        return path;
    }
    static std::vector<std::uint8_t> ReadLocalFile(const std::string& path) {
        std::vector<std::uint8_t> bytes;
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) return bytes;
        for (int c; (c = std::fgetc(file)) != EOF;) bytes.push_back(static_cast<std::uint8_t>(c));
        std::fclose(file);
        return bytes;
    }

    // What the Write, Read and Remove commands hand to the engine.
    void RequestWrite(int slot, const std::string& path) {
        engine.m_nCurSlot = slot;
        engine.m_pWriteSource.reset(std::fopen(path.c_str(), "rb"));
        ASSERT_TRUE(engine.m_pWriteSource);
        std::fseek(engine.m_pWriteSource.get(), 0, SEEK_END);
        engine.m_nTransferTotal = static_cast<std::uint32_t>(std::ftell(engine.m_pWriteSource.get()));
        std::rewind(engine.m_pWriteSource.get());
        engine.m_nState = STATE_WRITE_SEND_OPEN;
    }
    void RequestRead(int slot, const std::string& path) {
        static_cast<void>(engine.StartRead(slot, MakeReadTarget(path)));
        ASSERT_TRUE(engine.m_pReadTarget);
    }
    // The file a Read saves into, as the Read button opens it.
    static ReadTarget MakeReadTarget(const std::string& path) {
        auto target = std::make_unique<SafeFile>();
        EXPECT_TRUE(target->Begin(QString::fromStdString(path), FileAccess::Usual));
        return target;
    }
    void RequestRemove(int slot) {
        engine.m_nCurSlot = slot;
        engine.m_nState = STATE_REMOVE_SEND;
    }

    // Makes the engine hold an open port without a connect exchange.
    void OpenLink() { engine.m_hComm = ports.Open(QStringLiteral("/dev/ttyACM0")); }
    // Places bytes in the receive buffer as the receive pump would.
    void Feed(const std::string& bytes) {
        ASSERT_LE(engine.m_nRxLength + static_cast<int>(bytes.size()), RX_BUFFER_SIZE);
        bytes.copy(engine.m_rxBuffer.data() + engine.m_nRxLength, bytes.size());
        engine.m_nRxLength += static_cast<int>(bytes.size());
    }
    static std::string Answer(const std::vector<std::pair<std::string, std::string>>& fields) {
        return ScriptedDevice::Answer(fields);
    }
    // CNT of a frame the host wrote.
    static int CountOf(const std::string& frame) {
        const size_t at = frame.find(",CNT:");
        return at == std::string::npos ? -1 : static_cast<int>(std::stoi(frame.substr(at + 5, 2), nullptr, 16));
    }

    // Frames written from index `from` on.
    std::vector<std::string> WritesFrom(size_t from) const {
        return std::vector<std::string>(Writes().begin() + static_cast<std::ptrdiff_t>(from), Writes().end());
    }
};

class EngineTest : public ::testing::Test, public EngineRig {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    void TearDown() override { ExpectFramesAccepted(); }
};
