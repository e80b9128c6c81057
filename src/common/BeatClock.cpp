#include "common/BeatClock.h"

#include <algorithm>

void BeatClock::start(TimePoint now) {
    m_lastBeat = now;
}

void BeatClock::setInterval(Milliseconds interval) {
    m_interval = std::max(interval, Milliseconds(1));
}

bool BeatClock::takeBeat(TimePoint now) {
    if (now < nextDue()) {
        return false;
    }
    const auto late = now - nextDue();
    m_lastBeat = nextDue() + (late / m_interval) * m_interval;
    return true;
}
