#include "common/TapTempo.h"

#include <cmath>
#include <numeric>

std::optional<double> TapTempo::tap(double seconds) {
    const std::optional<double> last = m_last;
    m_last = seconds;
    if (!last || seconds - *last > kSeriesEndsSeconds) {
        // A gap of a few beats at under 20 BPM was meant as a beat; a longer one is a new start.
        const double gap = last ? seconds - *last : 0;
        m_kind =
            gap > 60.0 / kSlowestBpm && gap <= 2 * 60.0 / kSlowestBpm ? Kind::TooSlow : Kind::First;
        m_intervals.clear();
        return std::nullopt;
    }
    const double interval = seconds - *last;
    if (interval < 60.0 / kFastestBpm) {
        m_last = last;  // a bounce of the finger, not a beat
        m_kind = Kind::TooFast;
        return std::nullopt;
    }
    m_kind = Kind::Beat;
    if (!m_intervals.empty()) {
        const double running =
            std::accumulate(m_intervals.begin(), m_intervals.end(), 0.0) / m_intervals.size();
        if (std::abs(interval - running) > kMostOff * running) {
            m_intervals.clear();
        }
    }
    m_intervals.push_back(interval);
    const double mean =
        std::accumulate(m_intervals.begin(), m_intervals.end(), 0.0) / m_intervals.size();
    return 60.0 / mean;
}
