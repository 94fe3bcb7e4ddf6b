#pragma once
// The window over the simulated device in this process, as the demo runs it: the real serial
// port on the device's pty, listed as the device, and no restart reminder. Its users link the
// window and the demo's port list (quilldemo), which the fuzz targets have no use for.

#include <poll.h>

#include <QCoreApplication>
#include <functional>

#include "DeviceSimulator.h"
#include "SimulatedPort.h"
#include "app/QuillbankDlg.h"
#include "link/TermiosPort.h"

template <class Dialog = CQuillbankDlg>
class WindowOverSimulator {
public:
    WindowOverSimulator(DeviceSimulator& device, DialogServices& dialogs)
        : lister(device.PortPath()), dlg(ports, dialogs, lister), m_device(device) {}

    // One round of the window's 100 ms work, the device answering in between, and the events
    // the window has posted meanwhile.
    void Round() {
        dlg.OnTimer(TIMER_ENGINE);
        pollfd toDevice{m_device.MasterFd(), POLLIN, 0};
        (void)::poll(&toDevice, 1, 2);
        m_device.Poll();
        if (const auto* port = dynamic_cast<const TermiosPort*>(dlg.Port())) {
            pollfd toHost{port->Descriptor(), POLLIN, 0};
            (void)::poll(&toHost, 1, 2);
        }
        dlg.OnTimer(TIMER_RECEIVE);
        dlg.OnTimer(TIMER_UI_REFRESH);
        QCoreApplication::processEvents();
    }
    // Rounds until `done` holds, at most 3000.
    bool RunUntil(const std::function<bool()>& done) {
        for (int round = 0; round < 3000 && !done(); ++round) Round();
        return done();
    }

private:
    // Set before the window is made: a rig is a session, not a restart.
    struct NoRestartReminder {
        NoRestartReminder() { CQuillbankDlg::s_bShowRestartReminder = false; }
    } m_noReminder;

public:
    TermiosPortProvider ports;
    ListedPortLister lister;
    Dialog dlg;

private:
    DeviceSimulator& m_device;
};
