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

BeatClock::Milliseconds BeatClock::untilNextBeat(TimePoint now) const {
    if (now >= nextDue()) {
        return Milliseconds(0);
    }
    // Rounded down: the timer may fire a fraction early and is then armed again for the rest.
    return std::chrono::duration_cast<Milliseconds>(nextDue() - now);
}
