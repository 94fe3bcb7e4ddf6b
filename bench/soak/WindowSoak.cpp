#include <QFileInfo>
#include <QPushButton>
#include <QTableWidget>
#include <cstdio>

#include "DeviceSimulator.h"
#include "Figures.h"
#include "Soak.h"
#include "WindowOverSimulator.h"
#include "app/QuillbankDlg.h"
#include "fakes/FakeDialogServices.h"

int SoakWindow(int cycles, const QString& folder) {
    SimOptions options;
    options.content = SimOptions::Content::Sample;
    DeviceSimulator device(options);
    if (!device.Open()) {
        std::fprintf(stderr, "soak: %s\n", qPrintable(device.LastError()));
        return cycles;
    }
    FakeDialogServices dialogs;
    WindowOverSimulator<> window(device, dialogs);
    CQuillbankDlg& dlg = window.dlg;
    dlg.OnInitDialog();
    dlg.show();
    dlg.OnTimer(TIMER_DEVICE_SCAN);
    dlg.OnTimer(TIMER_UI_REFRESH);
    const QString target = folder + QStringLiteral("/window-slot0.crt");

    int failures = 0;
    FigureRows rows("window", cycles);
    rows.Row(0);
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        const auto ready = [&] { return dlg.State() == STATE_READY; };
        dlg.m_btnConnect->click();
        bool ok = window.RunUntil(ready);
        dlg.m_listServer->selectRow(0);
        dlg.OnTimer(TIMER_UI_REFRESH);
        dialogs.fileAnswers = {target};
        dlg.m_btnRead->click();
        ok = ok && dlg.State() == STATE_READ_SEND_OPEN && window.RunUntil(ready);
        ok = ok && QFileInfo(target).size() == device.Slot(0).size();
        dlg.m_btnConnect->click();
        ok = window.RunUntil([&] { return dlg.State() == STATE_CLOSED && !dlg.IsPortOpen(); }) &&
             ok;
        if (!ok) {
            ++failures;
            std::fprintf(stderr, "soak: window cycle %d failed in state %d\n", cycle, dlg.State());
        }
        // What the scripted dialogs recorded is the soak's, not the window's.
        dialogs.messages.clear();
        dialogs.fileDialogs.clear();
        // The first cycle also shows what is set up once (Qt's own helpers, caches).
        if (cycle == 1 || cycle % 100 == 0 || cycle == cycles) rows.Row(cycle);
    }
    std::printf("simulated device: %d frames received, %d broke a rule\n", device.FramesReceived(),
                static_cast<int>(device.FrameErrors().size()));
    rows.Summary(failures);
    return failures;
}
