#pragma once
// The real link in one process: a simulated device on a pty, and a slot engine that opens
// the pty through TermiosPort. Ticks run back to back, each waiting a few milliseconds for
// the other side, so a test takes a fraction of the 100 ms-per-tick time of the window.

#include <poll.h>

#include <QFile>
#include <chrono>
#include <functional>
#include <memory>

#include "DeviceSimulator.h"
#include "certs/SlotCommands.h"
#include "engine/SlotEngine.h"
#include "fakes/FakeDialogServices.h"
#include "link/TermiosPort.h"

class RigEngine : public CSlotEngine {
public:
    using CSlotEngine::CSlotEngine;
    void RefreshSlotLists() override { ++refreshes; }
    int refreshes = 0;
};

class LinkRig {
public:
    explicit LinkRig(SimOptions options = {})
        : device(std::move(options)), engine(ports, dialogs) {
        opened = device.Open();
        static_cast<void>(engine.SelectPort({QStringLiteral("pty"), device.PortPath()}));
        CSlotEngine::ResetReadErrors();
    }

    // One receive tick and one engine tick, then the device answers what it got.
    void Tick() {
        engine.ReceiveFromPort();
        engine.StepEngine();
        ++ticks;
        if (device.MasterFd() >= 0) {
            pollfd toDevice{device.MasterFd(), POLLIN, 0};
            (void)::poll(&toDevice, 1, 2);
        }
        device.Poll();
        if (const auto* port = dynamic_cast<const TermiosPort*>(engine.Port())) {
            pollfd toHost{port->Descriptor(), POLLIN, 0};
            (void)::poll(&toHost, 1, 3);
        }
    }

    // Ticks until `done` holds; false after `maxTicks` ticks or five seconds.
    bool RunUntil(const std::function<bool()>& done, int maxTicks = 3000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (int i = 0; i < maxTicks && std::chrono::steady_clock::now() < deadline; ++i) {
            if (done()) return true;
            Tick();
        }
        return done();
    }
    bool RunUntilState(int state, int maxTicks = 3000) {
        return RunUntil([&] { return engine.State() == state; }, maxTicks);
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) Tick();
    }

    bool Connect() {
        commands.OnBnClickedConnect();
        return RunUntilState(STATE_READY);
    }
    // The user's Disconnect, which must always end the connection within a couple of steps.
    bool Disconnect() {
        if (engine.IsPortOpen()) commands.OnBnClickedConnect();
        return RunUntil([&] { return engine.State() == STATE_CLOSED && !engine.IsPortOpen(); }, 3);
    }
    void Target(int slot) {
        commands.m_nTargetListId = SlotListId(slot);
        commands.m_nTargetRow = SlotRow(slot);
    }
    QByteArray SlotCopy(int slot) const {
        const std::span<const std::uint8_t> bytes = engine.SlotBytes(slot);
        return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    }
    bool LocalFilesClosed() const { return !engine.ReadTargetOpen() && !engine.WriteSourceOpen(); }

    DeviceSimulator device;
    TermiosPortProvider ports;
    FakeDialogServices dialogs;
    RigEngine engine;
    CSlotCommands commands{engine, dialogs};
    bool opened = false;
    int ticks = 0;
};

inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
inline bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
inline QByteArray Pattern(int size, int seed) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + seed * 7 + i / 256) & 0xFF);
    return bytes;
}
