#pragma once
// What the soak watches in its own process: open descriptors and resident memory, printed
// as one row at the start of a phase, after its first cycle and after every hundred.

#include <chrono>
#include <cstddef>

struct ProcessFigures {
    int descriptors = 0;          // entries of /proc/self/fd
    std::size_t residentKiB = 0;  // resident set from /proc/self/statm
};

ProcessFigures MeasureProcess();

class FigureRows {
public:
    FigureRows(const char* phase, int cycles);
    // Prints the row for `done` cycles (0 at the start) and remembers the first and last.
    void Row(int done);
    // "window: 200 cycles, 0 failed; descriptors 8 / 10 / 10, resident 31.8 / 33.9 / 34.1 MiB
    // (start / after the first cycle / end)"
    void Summary(int failures) const;

private:
    const char* m_phase;
    int m_cycles;
    ProcessFigures m_start;
    ProcessFigures m_afterFirst;
    ProcessFigures m_last;
    std::chrono::steady_clock::time_point m_since;
    int m_lastDone = 0;
};
