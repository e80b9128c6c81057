#include "practice/PracticeCounter.h"

#include <algorithm>
#include <cmath>

std::optional<PracticeSession> PracticeCounter::look(const Look& look) {
    const bool same = m_session && look.looping && m_session->track == look.looping->track &&
                      m_session->section == look.looping->section;
    std::optional<PracticeSession> ended;
    if (m_session &&
        (!same || m_session->day != look.today || look.now - m_lastPlayed > kIdleEnds)) {
        ended = end();
    }
    if (!look.looping || (!m_session && !look.playing && look.passes == 0)) {
        return ended;
    }
    if (!m_session) {
        m_session = PracticeSession{look.today, look.looping->track, look.looping->section,
                                    0,          std::nullopt,        {}};
        m_seconds = 0;
        m_lastPlayed = look.now;
    }
    m_session->name = look.looping->name;  // renamed while it was practised, the new name
    if (look.playing) {
        m_seconds += look.elapsedSeconds;
        m_lastPlayed = look.now;
    }
    if (look.passes > 0) {
        const int fastest = static_cast<int>(std::lround(look.fastestSpeed * 100));
        m_session->fastest = std::max(m_session->fastest.value_or(0), fastest);
    }
    return ended;
}

std::optional<PracticeSession> PracticeCounter::end() {
    std::optional<PracticeSession> ended = underWay();
    m_session.reset();
    if (ended && ended->seconds < 1 && !ended->fastest) {
        return std::nullopt;  // nothing was practised
    }
    return ended;
}

std::optional<PracticeSession> PracticeCounter::underWay() const {
    std::optional<PracticeSession> session = m_session;
    if (session) {
        session->seconds = static_cast<int>(std::lround(m_seconds));
    }
    return session;
}
