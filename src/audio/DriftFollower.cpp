#include "audio/DriftFollower.h"

#include <algorithm>
#include <cmath>

namespace {
// How much of the last second's change, and of the distance from the settled latency, each
// update corrects: enough to catch a drift of a thousand parts per million within half a minute,
// small enough that the queue's own jitter from second to second does not move the beat.
constexpr double kChangeGain = 0.15;
constexpr double kDistanceGain = 0.03;
// No clock drifts faster; a larger change in one second is the server reconfiguring itself.
constexpr double kMaxRate = 2000e-6;
constexpr double kMaxDriftPerSecond = 0.0025;
}  // namespace

double DriftFollower::update(double meanLatencySeconds) {
    const bool step = m_last && std::abs(meanLatencySeconds - *m_last) > kMaxDriftPerSecond;
    if (!m_settled || step) {
        m_settled = meanLatencySeconds;
    } else {
        const double change = meanLatencySeconds - *m_last;
        const double distance = meanLatencySeconds - *m_settled;
        m_rate = std::clamp(m_rate + kChangeGain * change + kDistanceGain * distance, -kMaxRate,
                            kMaxRate);
    }
    m_last = meanLatencySeconds;
    return m_rate;
}
