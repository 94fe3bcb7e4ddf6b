// What quillbank-cli's console handler does on Windows, run under wine: Ctrl-C and
// Ctrl-Break ask the run to stop and return; closing the console, logging off and shutting
// down also ask it to stop, but hold the handler (and so the end of the process, which
// Windows brings about when the handler returns) until the run says it has ended.

#include <windows.h>

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <future>

#include "StopSignals.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct ClearedStop {
    ClearedStop() { ClearStopRequest(); }
    ~ClearedStop() { ClearStopRequest(); }
};

TEST(ConsoleEvents, EachAsksToStopAndTheEndingOnesWaitForTheRun) {
    const struct {
        const char* name;
        DWORD event;
        int signo;
        bool waitsForTheRun;
    } rows[] = {
        {"Ctrl-C", CTRL_C_EVENT, SIGINT, false},
        {"Ctrl-Break", CTRL_BREAK_EVENT, SIGTERM, false},
        {"close", CTRL_CLOSE_EVENT, SIGTERM, true},
        {"logoff", CTRL_LOGOFF_EVENT, SIGTERM, true},
        {"shutdown", CTRL_SHUTDOWN_EVENT, SIGTERM, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const ClearedStop cleared;
        std::future<bool> answer =
            std::async(std::launch::async, [&] { return AnswerConsoleEvent(row.event); });
        if (row.waitsForTheRun) {
            // The stop is asked for at once; the answer waits for the run.
            const Clock::time_point asked = Clock::now() + milliseconds(10000);
            while (StopSignal() == 0 && Clock::now() < asked) Sleep(5);
            EXPECT_EQ(StopSignal(), row.signo);
            EXPECT_EQ(answer.wait_for(milliseconds(300)), std::future_status::timeout);
            ReportRunEnded();
        }
        // One that does not wait returns long before the 4.5 s a wait would last.
        ASSERT_EQ(answer.wait_for(milliseconds(row.waitsForTheRun ? 10000 : 4000)),
                  std::future_status::ready);
        EXPECT_TRUE(answer.get());
        EXPECT_EQ(StopSignal(), row.signo);
    }
}

// A second Ctrl-C while the first is still being handled is left to Windows, which ends the
// program; an ending event still waits for the run that is stopping.
TEST(ConsoleEvents, ASecondInterruptEndsTheProgramAClosingConsoleStillWaits) {
    const ClearedStop cleared;
    ASSERT_TRUE(AnswerConsoleEvent(CTRL_C_EVENT));
    EXPECT_FALSE(AnswerConsoleEvent(CTRL_C_EVENT));
    EXPECT_FALSE(AnswerConsoleEvent(CTRL_BREAK_EVENT));

    std::future<bool> answer =
        std::async(std::launch::async, [] { return AnswerConsoleEvent(CTRL_CLOSE_EVENT); });
    EXPECT_EQ(answer.wait_for(milliseconds(300)), std::future_status::timeout);
    ReportRunEnded();
    ASSERT_EQ(answer.wait_for(milliseconds(10000)), std::future_status::ready);
    EXPECT_TRUE(answer.get());
    EXPECT_EQ(StopSignal(), SIGINT) << "the first request is the one kept";
}

// A run that does not end: the handler waits its 4.5 s (Windows allows about 5) and no
// longer.
TEST(ConsoleEvents, AClosingConsoleWaitsForARunThatDoesNotEndOnlySoLong) {
    const ClearedStop cleared;
    const Clock::time_point start = Clock::now();
    std::future<bool> answer =
        std::async(std::launch::async, [] { return AnswerConsoleEvent(CTRL_CLOSE_EVENT); });
    ASSERT_EQ(answer.wait_for(milliseconds(15000)), std::future_status::ready);
    EXPECT_TRUE(answer.get());
    EXPECT_GE(std::chrono::duration_cast<milliseconds>(Clock::now() - start).count(), 4400);
}

}  // namespace
