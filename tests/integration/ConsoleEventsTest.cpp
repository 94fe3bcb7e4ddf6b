// quillbank-cli's console handler on Windows, called as Windows calls it (on a thread of its
// own), under wine: Ctrl-C and Ctrl-Break ask the run to stop and return, and a second one is
// left to Windows, which ends the program; closing the console, logging off and shutting
// down ask it to stop too, but return (and so let Windows end the process) only once the run
// has ended, or after 4.5 s, within the 5 s Windows allows.

#include <windows.h>

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <future>

#include "StopSignals.h"

namespace {

using std::chrono::milliseconds;

std::future<bool> Answer(DWORD event) {
    return std::async(std::launch::async, [event] { return AnswerConsoleEvent(event); });
}

TEST(ConsoleEvents, EachAsksToStopAndTheEndingOnesWaitForTheRun) {
    const struct {
        DWORD event;
        int signo;
        bool waitsForTheRun;
    } rows[] = {{CTRL_C_EVENT, SIGINT, false},
                {CTRL_BREAK_EVENT, SIGTERM, false},
                {CTRL_CLOSE_EVENT, SIGTERM, true},
                {CTRL_LOGOFF_EVENT, SIGTERM, true},
                {CTRL_SHUTDOWN_EVENT, SIGTERM, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.event);
        ClearStopRequest();
        std::future<bool> answer = Answer(row.event);
        if (row.waitsForTheRun) {
            for (int i = 0; i < 1000 && StopSignal() == 0; ++i) Sleep(10);
            EXPECT_EQ(StopSignal(), row.signo) << "the stop is asked for before the wait";
            EXPECT_EQ(answer.wait_for(milliseconds(300)), std::future_status::timeout);
            ReportRunEnded();
        }
        // One that does not wait is back long before the 4.5 s a wait lasts.
        ASSERT_EQ(answer.wait_for(milliseconds(4000)), std::future_status::ready);
        EXPECT_TRUE(answer.get());
        EXPECT_EQ(StopSignal(), row.signo);
    }
    ClearStopRequest();
    ASSERT_TRUE(AnswerConsoleEvent(CTRL_C_EVENT));
    EXPECT_FALSE(AnswerConsoleEvent(CTRL_C_EVENT)) << "a second interrupt";
    EXPECT_FALSE(AnswerConsoleEvent(CTRL_BREAK_EVENT)) << "a second interrupt";
    ClearStopRequest();
}

TEST(ConsoleEvents, AClosingConsoleWaitsForARunThatDoesNotEndOnlySoLong) {
    ClearStopRequest();
    const auto start = std::chrono::steady_clock::now();
    std::future<bool> answer = Answer(CTRL_CLOSE_EVENT);
    ASSERT_EQ(answer.wait_for(milliseconds(15000)), std::future_status::ready);
    EXPECT_TRUE(answer.get());
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(std::chrono::duration_cast<milliseconds>(waited).count(), 4400);
    ClearStopRequest();
}

}  // namespace
