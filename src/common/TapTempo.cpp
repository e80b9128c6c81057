#include "common/TapTempo.h"

#include <cmath>
#include <numeric>

namespace {
double meanOf(std::vector<double>::const_iterator from, std::vector<double>::const_iterator to) {
    return std::accumulate(from, to, 0.0) / static_cast<double>(to - from);
}
}  // namespace

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
    const double running =
        m_intervals.empty() ? interval : meanOf(m_intervals.begin(), m_intervals.end());
    if (std::abs(interval - running) > kMostOff * running) {
        m_intervals.clear();
    } else if (m_intervals.size() >= 2 && changedTempo(interval)) {
        m_intervals.erase(m_intervals.begin(), m_intervals.end() - 1);
    }
    m_intervals.push_back(interval);
    return 60.0 / meanOf(m_intervals.begin(), m_intervals.end());
}

// Two intervals in a row off the series before them, the same way, by more than a finger's
// jitter: the music has changed its tempo by less than a new series takes, and the series
// follows from the first of them.
bool TapTempo::changedTempo(double interval) const {
    const double before = meanOf(m_intervals.begin(), m_intervals.end() - 1);
    const double previous = m_intervals.back();
    const auto off = [before](double x) { return std::abs(x - before) > kChange * before; };
    return off(previous) && off(interval) && (previous > before) == (interval > before);
}
