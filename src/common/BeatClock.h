#pragma once

#include <chrono>

// Schedules metronome clicks on a fixed grid of a monotonic clock: click n is due at
// anchor + n * interval, so a late timer never pushes later clicks back. A tempo change re-anchors
// the grid at the last click, which keeps the groove.
class BeatClock {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;
    using Milliseconds = std::chrono::milliseconds;

    explicit BeatClock(Milliseconds interval) { setInterval(interval); }

    // The first click comes one full interval after now.
    void start(TimePoint now);
    // An interval under a millisecond is taken as one: the grid must always move on.
    void setInterval(Milliseconds interval);
    Milliseconds interval() const { return m_interval; }

    // Called when the timer fires: true when a click is due now. Clicks missed altogether (the
    // program was stalled for more than an interval) are skipped, not played in a burst.
    bool takeBeat(TimePoint now);
    TimePoint nextDue() const { return m_lastBeat + m_interval; }
    // The beat takeBeat took last.
    TimePoint lastBeat() const { return m_lastBeat; }

private:
    Milliseconds m_interval{1};
    TimePoint m_lastBeat{};  // the last click, or the start before the first one
};
