#include "coach/CaptureClock.h"

#include <algorithm>
#include <cmath>

namespace {
// The reports wander by up to 4 ms; a step beyond this is the stream's.
constexpr double kStepSeconds = 0.006;
// A slope needs this long a line to be told from the reports' wander, and no crystal is further
// off than this.
constexpr double kSlopeSpanSeconds = 10;
constexpr double kMaxSlope = 300e-6;
}  // namespace

void CaptureClock::reset() {
    m_halfSecond = 0;
    m_reportCount = m_medianCount = m_nextMedian = 0;
    m_level = m_slope = m_centre = 0;
}

void CaptureClock::report(int64_t firstSample, TimePoint captured) {
    if (!known()) {
        m_origin = captured;
    }
    const int64_t halfSecond = firstSample * 2 / m_rate;
    if (halfSecond != m_halfSecond && m_reportCount > 0) {
        closeHalfSecond();
    }
    m_halfSecond = halfSecond;
    const std::chrono::duration<double> sinceOrigin = captured - m_origin;
    if (m_reportCount < kReports) {
        m_reports[m_reportCount++] = sinceOrigin.count() - double(firstSample) / m_rate;
    }
    // Until a half second is in, the reports so far are all there is.
    if (m_medianCount == 0) {
        m_level = reportsMedian();
    }
}

double CaptureClock::reportsMedian() {
    std::copy_n(m_reports.begin(), m_reportCount, m_sorted.begin());
    const auto middle = m_sorted.begin() + long(m_reportCount / 2);
    std::nth_element(m_sorted.begin(), middle, m_sorted.begin() + long(m_reportCount));
    return *middle;
}

void CaptureClock::closeHalfSecond() {
    const Median median{(double(m_halfSecond) + 0.5) / 2, reportsMedian()};
    m_reportCount = 0;
    if (m_medianCount > 0 &&
        std::abs(median.offset - offsetAt(median.streamSeconds)) > kStepSeconds) {
        m_medianCount = m_nextMedian = 0;
    }
    m_medians[m_nextMedian] = median;
    m_nextMedian = (m_nextMedian + 1) % kMedians;
    m_medianCount = std::min(m_medianCount + 1, kMedians);
    fit();
}

// Least squares through the half seconds' medians.
void CaptureClock::fit() {
    double sumX = 0, sumY = 0, first = m_medians[0].streamSeconds, last = first;
    for (size_t i = 0; i < m_medianCount; ++i) {
        sumX += m_medians[i].streamSeconds;
        sumY += m_medians[i].offset;
        first = std::min(first, m_medians[i].streamSeconds);
        last = std::max(last, m_medians[i].streamSeconds);
    }
    const auto n = double(m_medianCount);
    m_centre = sumX / n;
    m_level = sumY / n;
    m_slope = 0;
    if (last - first < kSlopeSpanSeconds) {
        return;
    }
    double along = 0, spread = 0;
    for (size_t i = 0; i < m_medianCount; ++i) {
        const double dx = m_medians[i].streamSeconds - m_centre;
        along += dx * (m_medians[i].offset - m_level);
        spread += dx * dx;
    }
    m_slope = std::clamp(along / spread, -kMaxSlope, kMaxSlope);
}

double CaptureClock::offsetAt(double streamSeconds) const {
    return m_level + m_slope * (streamSeconds - m_centre);
}

// The offset depends on the stream time sought, by a slope of a few parts in ten thousand: two
// steps from the moment itself come within nanoseconds.
double CaptureClock::streamSeconds(TimePoint t) const {
    const std::chrono::duration<double> sinceOrigin = t - m_origin;
    double at = sinceOrigin.count() - offsetAt(sinceOrigin.count());
    at = sinceOrigin.count() - offsetAt(at);
    return at;
}
