#include "common/GridTicker.h"

#include <algorithm>

GridTicker::GridTicker(QTimer& timer, BeatClock::Milliseconds interval, Now now, Beat beat,
                       QObject* parent)
    : QObject(parent),
      m_timer(timer),
      m_now(std::move(now)),
      m_beat(std::move(beat)),
      m_clock(interval) {
    m_timer.setInterval(static_cast<int>(m_clock.interval().count()));
    connect(&m_timer, &QTimer::timeout, this, &GridTicker::onTimeout);
}

void GridTicker::start(std::optional<BeatClock::TimePoint> firstBeat) {
    if (isActive()) {
        return;
    }
    const auto now = m_now();
    m_clock.start(firstBeat ? *firstBeat - m_clock.interval() : now);
    arm(now);
}

void GridTicker::stop() {
    m_timer.stop();
    m_timer.setInterval(static_cast<int>(m_clock.interval().count()));
}

void GridTicker::setInterval(BeatClock::Milliseconds interval) {
    m_clock.setInterval(interval);
    if (isActive()) {
        arm(m_now());
    } else {
        m_timer.setInterval(static_cast<int>(m_clock.interval().count()));
    }
}

// A very fast beat gets a shorter lookahead, so that one wake-up never takes two beats.
BeatClock::Milliseconds GridTicker::lookahead() const {
    return std::min(kLookahead, m_clock.interval() / 2);
}

void GridTicker::onTimeout() {
    const auto now = m_now();
    if (m_clock.takeBeat(now + lookahead())) {
        m_beat(m_clock.lastBeat());
    }
    // The beat may have changed the interval or stopped the ticker.
    if (isActive()) {
        arm(m_now());
    }
}

// Rounded up to the timer's whole milliseconds: waking a fraction late costs nothing, since the
// beat's notes carry their own time, while waking early would spin until the beat.
void GridTicker::arm(BeatClock::TimePoint now) {
    const auto wait =
        std::chrono::ceil<BeatClock::Milliseconds>(m_clock.nextDue() - (now + lookahead()));
    m_timer.start(std::max(0, static_cast<int>(wait.count())));
}
