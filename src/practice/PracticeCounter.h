#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "practice/PracticeLog.h"

// Practice on a track's sections, session by session: time counts while the track plays a
// section's loop, and the fastest pass of it played whole. A session ends when its loop is left
// (another section, another track, the loop changed), when the day changes, or after five
// minutes in which the track did not play; the next play starts another.
class PracticeCounter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kIdleEnds = std::chrono::minutes(5);

    // What the track did since the last look.
    struct Look {
        std::optional<PracticeSession> looping;  // the section the track loops (track, id, name)
        bool playing = false;
        double elapsedSeconds = 0;
        int passes = 0;
        double fastestSpeed = 0;  // of those passes
        std::string today;
        Clock::time_point now;
    };

    // The session that ended at this look, for the log, when there was practice in it.
    std::optional<PracticeSession> look(const Look& look);
    std::optional<PracticeSession> end();
    // The session under way, rounded as the log keeps it.
    std::optional<PracticeSession> underWay() const;

private:
    std::optional<PracticeSession> m_session;  // its seconds rounded; the exact ones below
    double m_seconds = 0;
    Clock::time_point m_lastPlayed;
};
