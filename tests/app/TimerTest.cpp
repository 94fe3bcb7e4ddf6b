// The four timers the dialog runs on: their periods, the receive timer's offset from the
// engine timer, and the restart reminder holding back the first tick's work.

#include <QAbstractEventDispatcher>
#include <QTimerEvent>
#include <functional>
#include <map>

#include "DialogFixture.h"

namespace {
// Records which timer each tick belongs to instead of doing the tick's work.
class TickRecorder : public CQuillbankDlg {
public:
    using CQuillbankDlg::CQuillbankDlg;
    std::vector<int> ticks;
    void OnTimer(int nIDEvent) override { ticks.push_back(nIDEvent); }
};

// The dialog's running timers: for each TIMER_* id, its period and kind. A timer that
// dispatches to no TIMER_* id is listed under 0. Each gets one tick, sent, not waited for.
struct RunningTimer {
    int periodMs;
    Qt::TimerType type;
    bool operator==(const RunningTimer&) const = default;
};
std::map<int, RunningTimer> RunningTimers(TickRecorder& dlg) {
    std::map<int, RunningTimer> timers;
    for (const auto& timer : QAbstractEventDispatcher::instance()->registeredTimers(&dlg)) {
        dlg.ticks.clear();
        QTimerEvent tick(timer.timerId);
        QCoreApplication::sendEvent(&dlg, &tick);
        // The tick is handled from the event queue; deliver only that, no further timer.
        QCoreApplication::sendPostedEvents(&dlg, QEvent::MetaCall);
        const int id = dlg.ticks.empty() ? 0 : dlg.ticks.front();
        timers[id] = {timer.interval, timer.timerType};
    }
    return timers;
}

void PrintTo(const RunningTimer& timer, std::ostream* os) {
    *os << timer.periodMs << " ms" << (timer.type == Qt::PreciseTimer ? "" : " (not precise)");
}
}  // namespace

// The device scan runs once a second; the refresh, the engine and the receive pump every
// 100 ms, the receive pump half a period behind the engine so that an answer the engine
// waits for is stored before its next tick. All are precise: a coarse timer drifts towards
// whole multiples of its period. The offset is read from what the timers were started with,
// not from when their ticks came, which is the event loop's and the machine's load's.
TEST(DialogTimers, RunAtTheirPeriodsWithTheReceivePumpHalfAPeriodBehindTheEngine) {
    FakePortProvider ports;
    FakeDialogServices services;
    FakeDeviceLister lister;
    TickRecorder dlg(ports, services, lister);
    dlg.OnInitDialog();

    // Started together, with no event handled in between: the receive pump's starter runs
    // out half an engine period after the engine timer was started.
    const std::map<int, RunningTimer> atStart = {{TIMER_DEVICE_SCAN, {1000, Qt::PreciseTimer}},
                                                 {TIMER_UI_REFRESH, {100, Qt::PreciseTimer}},
                                                 {TIMER_ENGINE, {100, Qt::PreciseTimer}},
                                                 {0, {50, Qt::PreciseTimer}}};
    EXPECT_EQ(RunningTimers(dlg), atStart);

    // The starter's tick (sent above) started the receive pump, and the starter is gone.
    const std::map<int, RunningTimer> all = {{TIMER_DEVICE_SCAN, {1000, Qt::PreciseTimer}},
                                             {TIMER_UI_REFRESH, {100, Qt::PreciseTimer}},
                                             {TIMER_ENGINE, {100, Qt::PreciseTimer}},
                                             {TIMER_RECEIVE, {100, Qt::PreciseTimer}}};
    EXPECT_EQ(RunningTimers(dlg), all);
}

// The first tick of whichever timer shows the restart reminder, and its own work waits
// until the box is closed.
TEST_F(DialogTest, FirstTickDoesItsWorkOnlyAfterTheReminderIsClosed) {
    const struct {
        const char* timer;
        int id;
        std::function<int()> work;  // grows by the tick's work
    } rows[] = {
        {"device scan", TIMER_DEVICE_SCAN, [this] { return lister.scans; }},
        {"control refresh", TIMER_UI_REFRESH,
         [this] { return dlg->m_btnConnect->text() == QStringLiteral("Disconnect") ? 1 : 0; }},
        {"engine", TIMER_ENGINE, [this] { return static_cast<int>(ports.line->writes.size()); }},
        {"receive", TIMER_RECEIVE, [this] { return ports.line->reads; }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.timer);
        CQuillbankDlg::s_bShowRestartReminder = true;
        services.messages.clear();
        OpenFakePort();
        Enter(STATE_SEND_CLOSE);  // an engine step writes one command
        dlg->m_btnConnect->setText(QString());
        const int before = row.work();
        int duringBox = -1;
        services.onMessage = [&] { duringBox = row.work(); };

        dlg->OnTimer(row.id);
        ASSERT_EQ(services.messages.size(), 1u);
        EXPECT_EQ(services.messages[0].caption, QStringLiteral("Message"));
        EXPECT_EQ(duringBox, before) << "no work while the reminder is open";
        EXPECT_EQ(row.work(), before + 1) << "the work follows the box";
    }
}
