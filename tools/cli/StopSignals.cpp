#include "StopSignals.h"

#include <signal.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <ctime>

#ifdef _WIN32
#include <windows.h>

#include <chrono>
#include <thread>
// Windows has no hang-up signal; the number keeps its POSIX meaning in messages.
#ifndef SIGHUP
#define SIGHUP 1
#endif
#else
#include <poll.h>
#endif

#include "session/CliExit.h"

namespace {

// Atomic rather than a plain sig_atomic_t: tests request a stop from another thread. Being
// lock-free it is as safe in a signal handler.
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

// How often a wait on the terminal looks at the flag, should the signal have gone to
// another thread.
constexpr int kStopCheckMs = 100;

#ifdef _WIN32
// Windows ends the process as soon as the handler returns from a close, logoff or shutdown,
// and at the latest about 5 s after the event: the handler waits, for less than that, until
// the main thread says the run has ended.
constexpr DWORD kRunEndWaitMs = 4500;

// Set once the run has ended; a manual-reset event, so that every later wait returns at once.
HANDLE RunEnded() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    return AnswerConsoleEvent(event) ? TRUE : FALSE;
}
}  // namespace

// Ctrl-C is SIGINT; Ctrl-Break, closing the console, logging off and shutting down are
// SIGTERM. Ctrl-C and Ctrl-Break ask to stop, and a second one ends the program at once;
// the others end the program whatever it answers, so it stops and waits for the run's end.
bool AnswerConsoleEvent(unsigned long event) {
    const int signo = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        if (StopSignal() != 0) return false;
        RequestStop(signo);
        return true;
    }
    RequestStop(signo);
    WaitForSingleObject(RunEnded(), kRunEndWaitMs);
    return true;
}

void InstallStopSignals() {
    // Made here, not first in the handler, where it could fail for lack of memory.
    static_cast<void>(RunEnded());
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void ReportRunEnded() {
    SetEvent(RunEnded());
}

bool AwaitInputUnlessStopped(int) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
        if (StopSignal() != 0) return false;
        const DWORD ready = WaitForSingleObject(input, kStopCheckMs);
        if (ready != WAIT_TIMEOUT) return StopSignal() == 0;
    }
}

void SleepUnlessStopped(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (StopSignal() == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(10), until - std::chrono::steady_clock::now()));
}

#else
constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};
// The signals whose handler we installed; written before any of them can arrive.
std::array<bool, kStopSignals.size()> g_installed{};

void OnStopSignal(int signo) {
    RequestStop(signo);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    for (size_t i = 0; i < kStopSignals.size(); ++i)
        if (g_installed[i]) (void)::sigaction(kStopSignals[i], &fallback, nullptr);
}

}  // namespace

void ReportRunEnded() {}

void InstallStopSignals() {
    // A closed standard output or error (a pager quit early, `| head`, a dropped ssh link)
    // must not end a device's work half-way: the failed write is left to fail on its own.
    struct sigaction ignored {};
    ignored.sa_handler = SIG_IGN;
    sigemptyset(&ignored.sa_mask);
    (void)::sigaction(SIGPIPE, &ignored, nullptr);

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = 0;  // no SA_RESTART: poll and sleeps return at once with EINTR
    sigemptyset(&action.sa_mask);
    // While one is handled the others wait, and then meet the default action.
    for (const int signo : kStopSignals) sigaddset(&action.sa_mask, signo);
    for (size_t i = 0; i < kStopSignals.size(); ++i) {
        struct sigaction previous {};
        if (::sigaction(kStopSignals[i], nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN)
            continue;
        g_installed[i] = ::sigaction(kStopSignals[i], &action, nullptr) == 0;
    }
}

bool AwaitInputUnlessStopped(int fd) {
    for (;;) {
        if (StopSignal() != 0) return false;
        pollfd input{fd, POLLIN, 0};
        const int ready = ::poll(&input, 1, kStopCheckMs);
        if (ready > 0 || (ready < 0 && errno != EINTR)) return StopSignal() == 0;
    }
}

void SleepUnlessStopped(int ms) {
    timespec left{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (StopSignal() == 0 && ::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
#endif

int StopSignal() {
    return g_stopSignal.load();
}

void RequestStop(int signo) {
    int none = 0;
    g_stopSignal.compare_exchange_strong(none, signo);
}

void ClearStopRequest() {
    g_stopSignal.store(0);
#ifdef _WIN32
    ResetEvent(RunEnded());
#endif
}

int StopExitCode(int signo) {
    return CLI_STOPPED + signo;
}

QString StopMessage(int signo) {
    switch (signo) {
        case SIGINT:
            return QStringLiteral("stopped by SIGINT");
        case SIGTERM:
            return QStringLiteral("stopped by SIGTERM");
        case SIGHUP:
            return QStringLiteral("stopped by SIGHUP");
        default:
            return QStringLiteral("stopped by signal %1").arg(signo);
    }
}

SessionStops SignalStops() {
    SessionStops stops;
    stops.asked = [] {
        const int signo = StopSignal();
        return signo == 0 ? SessionResult{}
                          : SessionResult{StopExitCode(signo), StopMessage(signo)};
    };
    stops.sleep = SleepUnlessStopped;
    return stops;
}
