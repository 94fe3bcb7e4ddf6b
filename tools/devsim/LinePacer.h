#pragma once
// One direction of a serial line at a fixed byte rate. Bytes handed to the line cross it one
// after another, each taking 1/rate seconds, and never before the bytes handed earlier: a
// burst handed at once still arrives at the pace of the line. A rate of 0 is no line at all:
// everything crosses the moment it is handed.

#include <chrono>
#include <cstddef>
#include <deque>

class LinePacer {
public:
    using Clock = std::chrono::steady_clock;

    explicit LinePacer(double bytesPerSecond = 0) : m_rate(bytesPerSecond) {}

    bool Paced() const { return m_rate > 0; }
    // `count` more bytes are handed to the line at `when`.
    void Hand(std::size_t count, Clock::time_point when);
    // How many of all the bytes handed so far have crossed by `now`.
    std::size_t Crossed(Clock::time_point now) const;
    // When the first `total` bytes handed will all have crossed.
    Clock::time_point WhenCrossed(std::size_t total) const;

private:
    // Bytes handed together that cross back to back from `start`.
    struct Batch {
        Clock::time_point start;
        std::size_t first;  // bytes handed before this batch
        std::size_t count;
    };
    Clock::duration ByteTime(std::size_t bytes) const;

    double m_rate;
    std::deque<Batch> m_batches;  // the batches that may still be crossing
    std::size_t m_handed = 0;
    Clock::time_point m_freeAt{};  // when the last handed byte has crossed
};
