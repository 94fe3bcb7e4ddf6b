// Loads the fifteen slots of a simulated device over the real termios link and prints, per
// slot, the engine ticks the load used next to the least it can take, 2 x (k + 2) for k read
// answers, and the wall time. An answer that reaches the host over two receive ticks costs
// one tick more; fewer ticks than the least would mean a step did more than one exchange. Ticks run back to back (each waits at most a few milliseconds for the
// line) unless --tick-ms asks for the window's pace.
//
//   quillbank-bench-load [--piece N] [--tick-ms MS]

#include <poll.h>

#include <QCoreApplication>
#include <QStringList>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "BenchDevice.h"
#include "engine/SlotEngine.h"
#include "link/TermiosPort.h"
#include "support/DialogServices.h"
#include "support/Trace.h"

namespace {
using Clock = std::chrono::steady_clock;

class PrintingDialogs : public DialogServices {
public:
    int ShowMessageBox(const QString& text, const QString&, unsigned) override {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return MsgBox::IdOk;
    }
    bool ChooseOpenFile(const QString&, const QString&, QString&) override { return false; }
    bool ChooseSaveFile(const QString&, const QString&, QString&) override { return false; }
    void OpenDocument(const QString&) override {}
};

class BenchEngine : public CSlotEngine {
public:
    using CSlotEngine::CSlotEngine;
};

struct SlotRecord {
    int firstTick = -1;
    int ticks = 0;
    double wallMs = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int piece = IntArgument(args, "--piece", 256);
    const int tickMs = IntArgument(args, "--tick-ms", 0);

    // Every slot holds something, up to a full slot.
    const std::unique_ptr<DeviceSimulator> started = StartBenchDevice(piece, true);
    if (!started) return 1;
    DeviceSimulator& device = *started;

    SetStandardOutputSink([](const QString&) {});
    SetDebugOutputSink([](const QString&) {});

    TermiosPortProvider ports;
    PrintingDialogs dialogs;
    BenchEngine engine(ports, dialogs);
    static_cast<void>(engine.SelectPort({QStringLiteral("pty"), device.PortPath()}));
    static_cast<void>(engine.IsPortOpen() ? engine.RequestDisconnect() : engine.RequestConnect());

    std::vector<SlotRecord> slots(SLOT_COUNT);
    const Clock::time_point start = Clock::now();
    Clock::time_point slotStart = start;
    int tick = 0, current = -1;
    const int tickLimit = 20000;
    while (engine.State() != STATE_READY && tick < tickLimit) {
        const bool opensNext = engine.State() == STATE_LOAD_NEXT;
        const int sequence = engine.Sequence();
        engine.ReceiveFromPort();
        engine.StepEngine();
        if (opensNext) {
            // This step opened the next slot, or found none left and ended the load.
            const Clock::time_point now = Clock::now();
            if (current >= 0) {
                slots[static_cast<size_t>(current)].ticks = tick - slots[static_cast<size_t>(current)].firstTick;
                slots[static_cast<size_t>(current)].wallMs =
                    std::chrono::duration<double, std::milli>(now - slotStart).count();
            }
            current = engine.State() == STATE_READY ? -1 : engine.CurrentSlot();
            if (current >= 0) slots[static_cast<size_t>(current)].firstTick = tick;
            slotStart = now;
        }
        ++tick;
        if (tickMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(tickMs));
        // Wait on the line only for what is on its way: a command just sent, then its answer.
        if (engine.Sequence() != sequence) {
            const int answered = device.AnswersSent();
            pollfd toDevice{device.MasterFd(), POLLIN, 0};
            (void)::poll(&toDevice, 1, 50);
            device.Poll();
            const auto* port = dynamic_cast<const TermiosPort*>(engine.Port());
            if (port != nullptr && device.AnswersSent() != answered) {
                pollfd toHost{port->Descriptor(), POLLIN, 0};
                (void)::poll(&toHost, 1, 50);
            }
        }
    }
    const double total = std::chrono::duration<double>(Clock::now() - start).count();
    if (engine.State() != STATE_READY) {
        std::fprintf(stderr, "the load did not finish within %d ticks\n", tickLimit);
        return 1;
    }

    std::printf("piece %d bytes, %s\n", piece,
                tickMs > 0 ? "paced ticks" : "ticks back to back");
    std::printf("slot  bytes  answers k  ticks  least 2(k+2)  wall ms\n");
    int below = 0;
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        const int bytes = static_cast<int>(device.Slot(slot).size());
        const int k = bytes == 0 ? 1 : (bytes + piece - 1) / piece;
        const int bound = 2 * (k + 2);
        const SlotRecord& r = slots[static_cast<size_t>(slot)];
        if (r.ticks < bound) ++below;
        std::printf("%4d  %5d  %9d  %5d  %12d  %7.1f%s\n", slot, bytes, k, r.ticks, bound, r.wallMs,
                    r.ticks < bound ? "  BELOW THE LEAST POSSIBLE" : "");
    }
    std::printf("total %d ticks (connect included), %.3f s wall; at 100 ms per tick: %.1f s\n",
                tick, total, tick / 10.0);
    if (below != 0) std::printf("%d slots took fewer ticks than possible\n", below);
    static_cast<void>(engine.IsPortOpen() ? engine.RequestDisconnect() : engine.RequestConnect());
    engine.StepEngine();
    return below == 0 ? 0 : 2;
}
