// Runs the real window, offscreen and on its own 100 ms timers, against the built-in
// simulated device: presses Connect once the port is listed, lets the slot load run, then
// writes a 6144-byte file into slot 14. Prints the engine ticks each slot took next to the
// least it can take, 2 x (k + 2) for k read answers (2 for a slot the device refuses to
// open), and the ticks of the Write next to its least, 2 x (n + 2) + 1 for n pieces. The
// window keeps the protocol's own pace when both stay within 1.05 x the least.
//
//   quillbank-bench-window [--piece N] [--fill]
//
// --piece sets the bytes per read answer (the demo's device: 1024); --fill puts data of
// 1 to 6144 bytes into slots 6 to 14, which the sample set leaves empty.

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryFile>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "BenchDevice.h"
#include "SimulatedPort.h"
#include "WindowOverSimulator.h"
#include "app/QuillbankDlg.h"
#include "support/DialogServices.h"
#include "support/Trace.h"

namespace {
constexpr int kWriteSlot = 14;
constexpr double kTarget = 1.05;

// The user's side of the dialogs: every question answered OK, the open dialog picks `file`.
class ScriptedDialogs : public DialogServices {
public:
    QString file;
    int ShowMessageBox(const QString& text, const QString&, unsigned) override {
        std::fprintf(stderr, "message: %s\n", text.toLocal8Bit().constData());
        return MsgBox::IdOk;
    }
    bool ChooseOpenFile(const QString&, const QString&, QString& path) override {
        path = file;
        return !path.isEmpty();
    }
    bool ChooseSaveFile(const QString&, const QString&, QString&) override { return false; }
    void OpenDocument(const QString&) override {}
};

// The window with an observer after each tick; the ticks themselves are the window's own.
class ObservedDialog : public CQuillbankDlg {
public:
    using CQuillbankDlg::CQuillbankDlg;
    std::function<void(int id, int stateBefore)> afterTick;

    void OnTimer(int nIDEvent) override {
        const int before = State();
        CQuillbankDlg::OnTimer(nIDEvent);
        if (afterTick) afterTick(nIDEvent, before);
    }
};

struct SlotRecord {
    int firstTick = -1;
    int ticks = 0;
};

// Engine ticks and wall time of one stretch of work, from its first step to its last.
struct Stretch {
    int firstTick = -1;
    int lastTick = -1;
    qint64 firstMs = 0;
    qint64 lastMs = 0;
    int Ticks() const { return lastTick - firstTick + 1; }
    double Seconds() const { return static_cast<double>(lastMs - firstMs) / 1000.0; }
};

int CeilDiv(int a, int b) {
    return (a + b - 1) / b;
}

double Ratio(int ticks, int least) {
    return static_cast<double>(ticks) / least;
}

// The offscreen platform warns at every raise of the progress window.
QtMessageHandler g_standardHandler = nullptr;
void DropRaiseWarnings(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (!text.startsWith(QStringLiteral("This plugin does not support")) && g_standardHandler)
        g_standardHandler(type, context, text);
}
}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    g_standardHandler = qInstallMessageHandler(DropRaiseWarnings);
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    const int piece = IntArgument(args, "--piece", 1024);
    const bool fill = args.contains(QStringLiteral("--fill"));
    SetStandardOutputSink([](const QString&) {});
    SetDebugOutputSink([](const QString&) {});

    const std::unique_ptr<DeviceSimulator> started = StartBenchDevice(piece, fill);
    if (!started) return 1;
    DeviceSimulator& device = *started;
    std::vector<int> slotBytes;
    for (int slot = 0; slot < SLOT_COUNT; ++slot)
        slotBytes.push_back(static_cast<int>(device.Slot(slot).size()));
    SimulatorPump pump(device);

    QTemporaryFile upload;
    if (!upload.open()) {
        std::fprintf(stderr, "cannot create the file to write\n");
        return 1;
    }
    QByteArray content(SLOT_BUFFER_SIZE, '\0');
    for (int i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + 3);
    upload.write(content);
    upload.close();

    ScriptedDialogs dialogs;
    dialogs.file = upload.fileName();
    WindowOverSimulator<ObservedDialog> window(device, dialogs);
    ObservedDialog& dlg = window.dlg;

    enum class Phase { WaitForPort, Load, Write, Done } phase = Phase::WaitForPort;
    std::vector<SlotRecord> slots(SLOT_COUNT);
    Stretch load, write;
    int engineTick = 0, current = -1;
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> engineTickMs;

    dlg.afterTick = [&](int id, int before) {
        if (phase == Phase::WaitForPort && id == TIMER_UI_REFRESH &&
            dlg.m_btnConnect->isEnabled()) {
            dlg.m_btnConnect->click();
            phase = Phase::Load;
            return;
        }
        if (id != TIMER_ENGINE || phase == Phase::WaitForPort || phase == Phase::Done) return;
        const int tick = engineTick++;
        const qint64 now = clock.elapsed();
        engineTickMs.push_back(now);
        if (phase == Phase::Load && before == STATE_LOAD_NEXT) {
            // This step opened the next slot, or found none left and ended the load.
            if (load.firstTick < 0) load = {tick, tick, now, now};
            if (current >= 0)
                slots[static_cast<size_t>(current)].ticks =
                    tick - slots[static_cast<size_t>(current)].firstTick;
            current = dlg.State() == STATE_READY ? -1 : dlg.CurrentSlot();
            if (current >= 0) slots[static_cast<size_t>(current)].firstTick = tick;
        }
        if (phase == Phase::Load && dlg.State() == STATE_READY) {
            load.lastTick = tick;
            load.lastMs = now;
            phase = Phase::Write;
            dlg.m_listClient->selectRow(SlotRow(kWriteSlot));
            dlg.m_btnWrite->click();
            return;
        }
        if (phase == Phase::Write && before == STATE_WRITE_SEND_OPEN && write.firstTick < 0)
            write = {tick, tick, now, now};
        if (phase == Phase::Write && write.firstTick >= 0 && dlg.State() == STATE_READY) {
            write.lastTick = tick;
            write.lastMs = now;
            phase = Phase::Done;
            dlg.OnCancel();
        }
    };
    QTimer::singleShot(300000, &dlg, [&dlg] { dlg.OnCancel(); });
    dlg.DoModal();
    if (phase != Phase::Done) {
        std::fprintf(stderr, "the window did not finish the load and the Write within 300 s\n");
        return 1;
    }

    std::printf(
        "the window on its own timers (offscreen) over the simulated device, %d bytes per "
        "read answer\n",
        piece);
    std::printf("slot  bytes  answers k  ticks  least\n");
    int leastLoad = 1;  // the step that finds no slot left
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        const int bytes = slotBytes[static_cast<size_t>(slot)];
        const int k = CeilDiv(bytes, piece);
        const int least = bytes == 0 ? 2 : 2 * (k + 2);
        leastLoad += least;
        std::printf("%4d  %5d  %9d  %5d  %5d%s\n", slot, bytes, k,
                    slots[static_cast<size_t>(slot)].ticks, least, bytes == 0 ? "  (refused)" : "");
    }
    const int pieces = CeilDiv(SLOT_BUFFER_SIZE, WRITE_CHUNK_SIZE);
    const int leastWrite = 2 * (pieces + 2) + 1;
    const double loadRatio = Ratio(load.Ticks(), leastLoad);
    const double writeRatio = Ratio(write.Ticks(), leastWrite);
    std::printf("slot load: %d engine ticks, least %d: %.2f x the least, %.1f s\n", load.Ticks(),
                leastLoad, loadRatio, load.Seconds());
    std::printf("write of %d bytes: %d engine ticks, least %d: %.2f x the least, %.1f s\n",
                SLOT_BUFFER_SIZE, write.Ticks(), leastWrite, writeRatio, write.Seconds());
    if (engineTickMs.size() > 1)
        std::printf("engine tick period: %.1f ms on average\n",
                    static_cast<double>(engineTickMs.back() - engineTickMs.front()) /
                        static_cast<double>(engineTickMs.size() - 1));
    const bool met = loadRatio <= kTarget && writeRatio <= kTarget;
    if (!met) std::printf("slower than %.2f x the least\n", kTarget);
    return met ? 0 : 2;
}
