#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "common/BeatClock.h"
#include "metronome/ClickPlanner.h"

// Plays the trainer's clicks: wakes a little ahead of each and hands it on with its own due
// time, as the plain metronome's ticker does with its beats. After a stall, clicks already
// overtaken by the next one are skipped rather than played in a burst.
class TrainerTicker : public QObject {
    Q_OBJECT
public:
    using Now = std::function<BeatClock::TimePoint()>;
    using Play = std::function<void(const MetronomeTrainer::Click&)>;

    TrainerTicker(Now now, Play play, QObject* parent);

    MetronomeTrainer::ClickPlanner& planner() { return m_planner; }
    // After the planner's start; arm() again after a change of its tempo.
    void start();
    void arm();
    void stop();
    bool isActive() const { return m_running; }

private:
    void onTimeout();
    BeatClock::Milliseconds lookahead() const;

    bool m_running = false;
    QTimer m_timer;
    Now m_now;
    Play m_play;
    MetronomeTrainer::ClickPlanner m_planner;
};
