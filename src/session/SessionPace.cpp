// The session's pace: one engine step at a time, as soon as the awaited answer is complete
// (waiting on the port for it) or on a fixed tick, until the engine is idle again, the flow
// has made no progress for the time-out, or the owner asked to stop.

#include <chrono>
#include <thread>

#include "session/CliSession.h"

namespace {
using Clock = std::chrono::steady_clock;

// The longest single wait on the port, so that the time-out is looked at regularly (and a
// stop asked for just before the wait began, or by a signal that went to another thread).
constexpr int kLongestWaitMs = 100;

bool AwaitsAnswer(int state) {
    switch (state) {
        case STATE_AWAIT_CONNECT:
        case STATE_LOAD_AWAIT_OPEN:
        case STATE_LOAD_AWAIT_DATA:
        case STATE_LOAD_AWAIT_CLOSE:
        case STATE_REMOVE_AWAIT:
        case STATE_READ_AWAIT_OPEN:
        case STATE_READ_AWAIT_DATA:
        case STATE_WRITE_AWAIT_OPEN:
        case STATE_WRITE_AWAIT_DATA:
        case STATE_AWAIT_CLOSE:
            return true;
        default:
            return false;
    }
}

// How far the running flow has come. The send and await states of a data loop count as
// one step, so a device that keeps answering without moving any bytes (empty pieces short
// of the announced total) is not taken for progress.
struct Headway {
    int phase = 0;
    int slot = -1;
    int status = -1;
    int size = -1;
    double done = -1.0;  // of the engine's progress, while it measures one
    bool operator==(const Headway&) const = default;
};

Headway HeadwayOf(const CSlotEngine& engine) {
    Headway h;
    switch (engine.State()) {
        case STATE_LOAD_AWAIT_DATA:
            h.phase = STATE_LOAD_SEND_DATA;
            break;
        case STATE_READ_AWAIT_DATA:
            h.phase = STATE_READ_SEND_DATA;
            break;
        case STATE_WRITE_AWAIT_DATA:
            h.phase = STATE_WRITE_SEND_DATA;
            break;
        default:
            h.phase = engine.State();
            break;
    }
    h.slot = engine.CurrentSlot();
    if (h.slot >= 0 && h.slot < SLOT_COUNT) {
        h.status = engine.SlotStatus(h.slot);
        h.size = engine.SlotSize(h.slot);
    }
    const TransferProgressView progress = engine.TransferProgress();
    if (progress.measured) h.done = progress.done;
    return h;
}
}  // namespace

SessionResult CliSession::StopAsked() const {
    return m_stops.asked ? m_stops.asked() : SessionResult{};
}

void CliSession::Sleep(int ms) const {
    if (m_stops.sleep)
        m_stops.sleep(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void CliSession::AwaitAnswer(int waitMs) {
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(waitMs);
    const int state = State();
    for (;;) {
        ReceiveFromPort();
        if (HoldsCompleteAnswer() || !IsPortOpen() || State() != state || !StopAsked().ok())
            return;
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) return;
        WaitForPortInput(static_cast<int>(left));
    }
}

void CliSession::Step() {
    if (m_pace.tickMs > 0) {
        ReceiveFromPort();
        StepEngine();
        Sleep(m_pace.tickMs);
        return;
    }
    if (AwaitsAnswer(State()))
        AwaitAnswer(kLongestWaitMs);
    else
        ReceiveFromPort();
    StepEngine();
}

SessionResult CliSession::WaitUntilIdle(const QString& what) {
    const auto limit = std::chrono::seconds(m_pace.timeoutSeconds);
    auto lastProgress = Clock::now();
    Headway last = HeadwayOf(*this);
    for (;;) {
        if (SessionResult stop = StopAsked(); !stop.ok()) {
            Disconnect();
            return stop;
        }
        Step();
        if (IsIdle()) return {};
        if (State() == STATE_CLOSED && !IsPortOpen()) return Closed(what);
        if (const Headway now = HeadwayOf(*this); !(now == last)) {
            last = now;
            lastProgress = Clock::now();
        } else if (Clock::now() - lastProgress >= limit) {
            return {CLI_TIMEOUT,
                    QStringLiteral("no progress from the device for %1 s while %2 (%3)")
                        .arg(m_pace.timeoutSeconds)
                        .arg(what, QString::fromLatin1(EngineStateName(State())))};
        }
    }
}
