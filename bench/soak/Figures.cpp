#include "Figures.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>

ProcessFigures MeasureProcess() {
    ProcessFigures figures;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.') ++figures.descriptors;
        ::closedir(dir);
        --figures.descriptors;  // the one opendir itself holds
    }
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        unsigned long size = 0;
        unsigned long resident = 0;
        if (std::fscanf(statm, "%lu %lu", &size, &resident) == 2)
            figures.residentKiB =
                resident * static_cast<unsigned long>(::sysconf(_SC_PAGESIZE)) / 1024;
        std::fclose(statm);
    }
    return figures;
}

FigureRows::FigureRows(const char* phase, int cycles)
    : m_phase(phase), m_cycles(cycles), m_since(std::chrono::steady_clock::now()) {}

void FigureRows::Row(int done) {
    m_last = MeasureProcess();
    if (done == 0) m_start = m_last;
    if (done == 1) m_afterFirst = m_last;
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - m_since).count();
    std::printf("%-7s %5d/%-5d  descriptors %3d  resident %8.1f MiB", m_phase, done, m_cycles,
                m_last.descriptors, static_cast<double>(m_last.residentKiB) / 1024.0);
    if (done > m_lastDone) std::printf("  %.3f s per cycle", seconds / (done - m_lastDone));
    std::printf("\n");
    std::fflush(stdout);
    m_since = now;
    m_lastDone = done;
}

void FigureRows::Summary(int failures) const {
    const auto mib = [](const ProcessFigures& f) {
        return static_cast<double>(f.residentKiB) / 1024.0;
    };
    std::printf(
        "%s: %d cycles, %d failed; descriptors %d / %d / %d, resident %.1f / %.1f / %.1f MiB "
        "(start / after the first cycle / end)\n",
        m_phase, m_cycles, failures, m_start.descriptors, m_afterFirst.descriptors,
        m_last.descriptors, mib(m_start), mib(m_afterFirst), mib(m_last));
    std::fflush(stdout);
}
