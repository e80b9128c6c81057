#include "common/BeatClock.h"

void BeatClock::start(TimePoint now) {
    m_lastBeat = now;
}

void BeatClock::setInterval(Milliseconds interval) {
    m_interval = interval;
}

bool BeatClock::takeBeat(TimePoint now) {
    if (now < nextDue()) {
        return false;
    }
    const auto late = now - nextDue();
    m_lastBeat = nextDue() + (late / m_interval) * m_interval;
    return true;
}
