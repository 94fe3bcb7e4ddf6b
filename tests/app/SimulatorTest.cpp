#include <gtest/gtest.h>
#include <unistd.h>

#include <QTableWidget>

#include "DeviceSimulator.h"
#include "QtPrinters.h"
#include "SimulatedPort.h"
#include "app/QuillbankDlg.h"
#include "fakes/FakeDialogServices.h"
#include "link/TermiosPort.h"

// The window as the demo runs it: the real serial port on the simulator's pty, listed as the
// device, with the generated sample set.
TEST(DialogOverSimulator, ConnectsLoadsTheSampleSetAndDisconnects) {
    SimOptions options;
    options.content = SimOptions::Content::Sample;
    DeviceSimulator device(options);
    ASSERT_TRUE(device.Open()) << device.LastError().toStdString();
    TermiosPortProvider ports;
    ListedPortLister lister(device.PortPath());
    FakeDialogServices services;
    CQuillbankDlg::s_bShowRestartReminder = false;
    CQuillbankDlg dlg(ports, services, lister);
    dlg.OnInitDialog();

    dlg.OnTimer(TIMER_DEVICE_SCAN);
    EXPECT_EQ(dlg.SelectedPort().location, device.PortPath());
    EXPECT_FALSE(dlg.SelectedPort().name.startsWith(QStringLiteral("/dev/")));
    dlg.OnBnClickedConnect();
    auto runUntil = [&](int state) {
        for (int i = 0; i < 3000 && dlg.State() != state; ++i) {
            dlg.OnTimer(TIMER_ENGINE);
            for (int poll = 0; poll < 3; ++poll) {
                ::usleep(1000);
                device.Poll();
            }
            dlg.OnTimer(TIMER_RECEIVE);
        }
        return dlg.State() == state;
    };
    ASSERT_TRUE(runUntil(STATE_READY));
    EXPECT_TRUE(services.messages.empty());
    auto cell = [&](int slot) { return dlg.SlotList(SlotListId(slot))->item(SlotRow(slot), 1)->text(); };
    EXPECT_FALSE(cell(0).isEmpty());
    EXPECT_FALSE(cell(0).startsWith(QStringLiteral("File Size")));  // a certificate summary
    EXPECT_EQ(cell(1), QStringLiteral("File Size : %1Bytes").arg(device.Slot(1).size()));
    EXPECT_EQ(cell(14), QString());

    dlg.OnBnClickedConnect();
    ASSERT_TRUE(runUntil(STATE_CLOSED));
    EXPECT_EQ(cell(0), QString());
    EXPECT_TRUE(device.FrameErrors().isEmpty()) << device.FrameErrors().join(QLatin1Char('\n')).toStdString();
}
