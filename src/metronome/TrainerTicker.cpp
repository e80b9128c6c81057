#include "metronome/TrainerTicker.h"

#include <algorithm>

#include "common/GridTicker.h"

TrainerTicker::TrainerTicker(Now now, Play play, QObject* parent)
    : QObject(parent), m_now(std::move(now)), m_play(std::move(play)) {
    m_timer.setParent(this);
    m_timer.setObjectName("trainerTimer");
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TrainerTicker::onTimeout);
}

void TrainerTicker::start() {
    m_running = true;
    arm();
}

void TrainerTicker::stop() {
    m_running = false;
    m_timer.stop();
}

// Sixteenths at a fast tempo come closer than the plain ticker's lookahead: one wake-up then
// still takes a single click.
BeatClock::Milliseconds TrainerTicker::lookahead() const {
    const auto half = std::chrono::duration_cast<BeatClock::Milliseconds>(m_planner.spacing() / 2);
    return std::clamp(half, BeatClock::Milliseconds(1), GridTicker::kLookahead);
}

void TrainerTicker::onTimeout() {
    const auto now = m_now();
    while (m_running && m_planner.peek().due <= now + lookahead()) {
        const MetronomeTrainer::Click click = m_planner.take();
        if (click.end || m_planner.peek().due > now) {
            m_play(click);  // the end stops the ticker
        }
        if (click.end) {
            break;
        }
    }
    if (m_running) {
        arm();
    }
}

void TrainerTicker::arm() {
    const auto wait =
        std::chrono::ceil<BeatClock::Milliseconds>(m_planner.peek().due - (m_now() + lookahead()));
    m_timer.start(std::max(0, static_cast<int>(wait.count())));
}
