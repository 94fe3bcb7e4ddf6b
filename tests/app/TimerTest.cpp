// The four timers the dialog runs on: their periods, the receive timer's offset from the
// engine timer, and the restart reminder holding back the first tick's work.

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QTest>
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

// The dialog's running timers: for each TIMER_* id, its Qt timer id and period. A timer
// that dispatches to no TIMER_* id is listed under 0.
struct RunningTimer {
    int qtId;
    int periodMs;
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
        timers[id] = {timer.timerId, timer.interval};
    }
    return timers;
}

std::map<int, int> Periods(const std::map<int, RunningTimer>& timers) {
    std::map<int, int> periods;
    for (const auto& [id, timer] : timers) periods[id] = timer.periodMs;
    return periods;
}
}  // namespace

// The device scan runs once a second; the refresh, the engine and the receive pump every
// 100 ms, the receive pump half a period behind the engine so that an answer the engine
// waits for is stored before its next tick.
TEST(DialogTimers, RunAtTheirPeriodsWithTheReceivePumpHalfAPeriodBehindTheEngine) {
    FakePortProvider ports;
    FakeDialogServices services;
    FakeDeviceLister lister;
    TickRecorder dlg(ports, services, lister);
    dlg.OnInitDialog();

    const std::map<int, int> atStart = {
        {TIMER_DEVICE_SCAN, 1000}, {TIMER_UI_REFRESH, 100}, {TIMER_ENGINE, 100}};
    EXPECT_EQ(Periods(RunningTimers(dlg)), atStart) << "the receive pump starts later";

    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    QElapsedTimer waited;
    waited.start();
    while (dispatcher->registeredTimers(&dlg).size() < 4 && waited.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const std::map<int, RunningTimer> running = RunningTimers(dlg);
    const std::map<int, int> all = {{TIMER_DEVICE_SCAN, 1000},
                                    {TIMER_UI_REFRESH, 100},
                                    {TIMER_ENGINE, 100},
                                    {TIMER_RECEIVE, 100}};
    ASSERT_EQ(Periods(running), all);

    // Both keep their phase from tick to tick, so the gap between their next ticks is the
    // delay the receive timer started with (give or take how late that start ran). A timer
    // already due reads as 0 however late it is, so read them while neither is due.
    int engineDue = 0;
    int receiveDue = 0;
    for (int attempt = 0; attempt < 20 && (engineDue < 5 || receiveDue < 5); ++attempt) {
        if (attempt > 0) QTest::qWait(7);
        engineDue = dispatcher->remainingTime(running.at(TIMER_ENGINE).qtId);
        receiveDue = dispatcher->remainingTime(running.at(TIMER_RECEIVE).qtId);
    }
    const int gap = ((receiveDue - engineDue) % 100 + 100) % 100;
#ifdef _WIN32
    // Windows starts and runs these timers on its system tick (about 16 ms).
    constexpr int kEarliest = 48 - 16;
#else
    constexpr int kEarliest = 48;
#endif
    EXPECT_GE(gap, kEarliest);
    EXPECT_LE(gap, 80);
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
