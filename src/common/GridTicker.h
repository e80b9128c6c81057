#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

#include "common/BeatClock.h"

// Drives a timer on a drift-free grid of beats and wakes a little ahead of each one, handing the
// beat its own time: notes stamped with it sound on the grid even when this thread runs late, as
// long as it is late by less than the lookahead.
class GridTicker : public QObject {
    Q_OBJECT
public:
    using Now = std::function<BeatClock::TimePoint()>;
    using Beat = std::function<void(BeatClock::TimePoint due)>;
    static constexpr BeatClock::Milliseconds kLookahead{50};

    // The ticker keeps the time between beats itself; while stopped, the timer's interval shows it.
    GridTicker(QTimer& timer, BeatClock::Milliseconds interval, Now now, Beat beat,
               QObject* parent);

    // The first beat one interval from now, or at firstBeat (where another ticker left off).
    // Starting a running ticker changes nothing.
    void start(std::optional<BeatClock::TimePoint> firstBeat = std::nullopt);
    void stop();
    // Takes effect from the last beat, so the groove holds.
    void setInterval(BeatClock::Milliseconds interval);
    BeatClock::Milliseconds interval() const { return m_clock.interval(); }
    bool isActive() const { return m_timer.isActive(); }
    BeatClock::TimePoint nextDue() const { return m_clock.nextDue(); }

private:
    void onTimeout();
    void arm(BeatClock::TimePoint now);
    BeatClock::Milliseconds lookahead() const;

    QTimer& m_timer;
    Now m_now;
    Beat m_beat;
    BeatClock m_clock;
};
