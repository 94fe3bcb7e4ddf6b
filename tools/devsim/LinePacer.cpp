#include "LinePacer.h"

#include <algorithm>

LinePacer::Clock::duration LinePacer::ByteTime(std::size_t bytes) const {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(bytes) / m_rate));
}

void LinePacer::Hand(std::size_t count, Clock::time_point when) {
    if (count == 0) return;
    if (Paced()) {
        // Batches that have crossed completely can no longer matter.
        while (!m_batches.empty() && m_batches.size() > 1 &&
               m_batches.front().start + ByteTime(m_batches.front().count) <= when)
            m_batches.pop_front();
        const Clock::time_point start = std::max(when, m_freeAt);
        m_batches.push_back({start, m_handed, count});
        m_freeAt = start + ByteTime(count);
    } else {
        m_freeAt = std::max(m_freeAt, when);
    }
    m_handed += count;
}

std::size_t LinePacer::Crossed(Clock::time_point now) const {
    if (!Paced()) return m_handed;
    std::size_t crossed = m_batches.empty() ? m_handed : m_batches.front().first;
    for (const Batch& batch : m_batches) {
        if (now <= batch.start) break;
        const double seconds = std::chrono::duration<double>(now - batch.start).count();
        crossed = batch.first + std::min(batch.count, static_cast<std::size_t>(seconds * m_rate));
    }
    return crossed;
}

LinePacer::Clock::time_point LinePacer::WhenCrossed(std::size_t total) const {
    for (const Batch& batch : m_batches)
        if (total <= batch.first + batch.count)
            return batch.start + ByteTime(total > batch.first ? total - batch.first : 0);
    return m_freeAt;
}
