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

#include "engine/EngineSetup.h"
#include "engine/SlotEngine.h"
#include "fakes/FakeCommPort.h"
#include "fakes/FakeDialogServices.h"
#include "fakes/ScriptedDevice.h"
#include "fakes/TraceCapture.h"

class TestEngine : public CSlotEngine {
public:
    using CSlotEngine::CSlotEngine;
    using CSlotEngine::CountReadErrorsOnItsOwn;
    // Every transaction end the engine reported, in order.
    std::vector<TransactionEnd> ends;
    void OnTransactionEnded(const TransactionEnd& end) override { ends.push_back(end); }
    // The state at each refresh, and the slot sizes it would have shown.
    std::vector<int> refreshStates;
    std::vector<std::array<std::uint16_t, SLOT_COUNT>> refreshSizes;
    void RefreshSlotLists() override {
        refreshStates.push_back(State());
        std::array<std::uint16_t, SLOT_COUNT> sizes{};
        for (int i = 0; i < SLOT_COUNT; ++i) sizes[static_cast<size_t>(i)] = static_cast<std::uint16_t>(SlotSize(i));
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
        CSlotEngine::ResetReadErrors();
        static_cast<void>(engine.SelectPort({QStringLiteral("ttyACM0"), QStringLiteral("/dev/ttyACM0")}));
    }
    virtual ~EngineRig() { CSlotEngine::ResetReadErrors(); }
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
    // Ticks until the engine is in `state`; the number of ticks taken, or -1 after `limit`.
    int RunUntil(int state, int limit = 3000) {
        for (int ticks = 1; ticks <= limit; ++ticks) {
            Tick();
            if (engine.State() == state) return ticks;
        }
        return -1;
    }
    void ConnectAndLoad() {
        static_cast<void>(engine.IsPortOpen() ? engine.RequestDisconnect() : engine.RequestConnect());
        ASSERT_GT(RunUntil(STATE_READY), 0) << "load did not finish";
    }

    const std::vector<std::string>& Writes() const { return ports.line->writes; }
    std::vector<std::uint8_t> SlotBytes(int slot) const {
        const std::span<const std::uint8_t> bytes = engine.SlotBytes(slot);
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
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

    // What the Write, Read and Remove commands hand to the idle engine.
    void RequestWrite(int slot, const std::string& path) {
        LocalFile source(std::fopen(path.c_str(), "rb"));
        ASSERT_TRUE(source);
        std::fseek(source.get(), 0, SEEK_END);
        const auto size = static_cast<std::uint32_t>(std::ftell(source.get()));
        std::rewind(source.get());
        ASSERT_EQ(engine.StartWrite(slot, std::move(source), size, QString::fromStdString(path)),
                  StartRefusal::None);
    }
    void RequestRead(int slot, const std::string& path) {
        static_cast<void>(engine.StartRead(slot, MakeReadTarget(path)));
        ASSERT_TRUE(engine.ReadTargetOpen());
    }
    // The file a Read saves into, as the Read button opens it.
    static ReadTarget MakeReadTarget(const std::string& path) {
        auto target = std::make_unique<SafeFile>();
        EXPECT_TRUE(target->Begin(QString::fromStdString(path), FileAccess::Usual));
        return target;
    }
    void RequestRemove(int slot) { ASSERT_EQ(engine.StartRemove(slot), StartRefusal::None); }

    // Makes the engine hold an open port without a connect exchange.
    void OpenLink() { EngineSetup::AttachPort(engine, ports.Open(QStringLiteral("/dev/ttyACM0"))); }
    // Puts the engine in `state` with the current slot it has.
    void Enter(int state) { EngineSetup::PutInState(engine, state, engine.CurrentSlot()); }
    // Places bytes in the receive buffer as the receive pump would.
    void Feed(const std::string& bytes) {
        ASSERT_LE(engine.Received().size() + bytes.size(), static_cast<size_t>(RX_BUFFER_SIZE));
        EngineSetup::FeedReceived(engine, bytes);
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
