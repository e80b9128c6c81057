#include "coach/CaptureClock.h"

#include <algorithm>

void CaptureClock::reset() {
    m_count = m_next = 0;
    m_offset = 0;
}

void CaptureClock::report(int64_t firstSample, TimePoint captured) {
    if (m_count == 0) {
        m_origin = captured;
    }
    const std::chrono::duration<double> sinceOrigin = captured - m_origin;
    m_offsets[m_next] = sinceOrigin.count() - double(firstSample) / m_rate;
    m_next = (m_next + 1) % kReports;
    m_count = std::min(m_count + 1, kReports);
    settle();
}

void CaptureClock::settle() {
    std::copy_n(m_offsets.begin(), m_count, m_sorted.begin());
    const auto middle = m_sorted.begin() + long(m_count / 2);
    std::nth_element(m_sorted.begin(), middle, m_sorted.begin() + long(m_count));
    m_offset = *middle;
}

double CaptureClock::streamSeconds(TimePoint t) const {
    const std::chrono::duration<double> sinceOrigin = t - m_origin;
    return sinceOrigin.count() - m_offset;
}
