#include "metronome/ClickPlanner.h"

#include <algorithm>
#include <cstdlib>

namespace MetronomeTrainer {

namespace {
int clampTempo(int bpm) {
    return std::clamp(bpm, kMinTempo, kMaxTempo);
}

// Clicks laid out 0 ms apart would never leave the beat they are in.
std::chrono::milliseconds atLeastOneMillisecond(std::chrono::milliseconds interval) {
    return std::max(interval, std::chrono::milliseconds(1));
}
}  // namespace

std::chrono::milliseconds intervalFor(int bpm) {
    return std::chrono::milliseconds(60000 / clampTempo(bpm));
}

int TempoTrainer::tempoInBar(long bar) const {
    const int start = clampTempo(from);
    const int target = clampTempo(to);
    const long steps = bar / std::max(everyBars, 1);
    const long change = steps * std::clamp(step, 1, 20);
    return target >= start ? static_cast<int>(std::min<long>(start + change, target))
                           : static_cast<int>(std::max<long>(start - change, target));
}

bool TempoTrainer::endsBefore(long bar) const {
    if (!stopAtTarget) {
        return false;
    }
    const int distance = std::abs(clampTempo(to) - clampTempo(from));
    const int stepSize = std::clamp(step, 1, 20);
    const long stepsToTarget = (distance + stepSize - 1) / stepSize;
    return bar >= (stepsToTarget + 1) * std::max(everyBars, 1);
}

bool GapTrainer::muted(long bar) const {
    const long cycle = std::max(playBars, 1) + std::max(muteBars, 0);
    return bar % cycle >= std::max(playBars, 1);
}

std::string marksText(const std::array<Mark, kMaxBeats>& marks) {
    std::string text;
    for (Mark mark : marks) {
        text += mark == Mark::Accent ? 'A' : mark == Mark::Silent ? 'S' : 'N';
    }
    return text;
}

std::array<Mark, kMaxBeats> marksFromText(const std::string& text) {
    std::array<Mark, kMaxBeats> marks{};
    for (size_t i = 0; i < marks.size() && i < text.size(); ++i) {
        marks[i] = text[i] == 'A' ? Mark::Accent : text[i] == 'S' ? Mark::Silent : Mark::Normal;
    }
    return marks;
}

Mark nextMark(Mark mark) {
    return mark == Mark::Normal ? Mark::Accent : mark == Mark::Accent ? Mark::Silent : Mark::Normal;
}

bool Settings::any() const {
    return bar.accents || bar.subdivision > 1 || tempo || gap || visualBeat;
}

void ClickPlanner::start(Clock::time_point now, std::chrono::milliseconds interval,
                         const Settings& settings, std::optional<Clock::time_point> firstBeat) {
    m_settings = m_pending = settings;
    m_interval = atLeastOneMillisecond(interval);
    m_pendingInterval.reset();
    m_bar = 0;
    m_beat = m_subdivision = 0;
    m_trainerStart = m_gapStart = 0;
    m_tempoChange.reset();
    if (m_settings.tempo) {
        m_tempoChange = m_settings.tempo->tempoInBar(0);
        m_interval = intervalFor(*m_tempoChange);
    }
    m_lastBeat = now;
    m_beatTime = firstBeat.value_or(now + m_interval);
    m_next = plan();
}

void ClickPlanner::setSettings(const Settings& settings) {
    m_pending = settings;
}

// Without subdivisions the beat's remainder holds no click, and the new tempo counts from the
// last beat as on the plain metronome, or from the last click heard where that was a subdivision
// after it; otherwise the beat's clicks already laid out keep their places and the new tempo
// starts with the next beat.
void ClickPlanner::setInterval(std::chrono::milliseconds interval) {
    interval = atLeastOneMillisecond(interval);
    if (m_settings.bar.subdivision == 1) {
        m_interval = interval;
        m_beatTime = m_lastBeat + m_interval;
        if (m_beatTime <= m_lastTaken) {
            m_beatTime = m_lastTaken + m_interval;
        }
        m_next = plan();
    } else {
        m_pendingInterval = interval;
    }
}

Click ClickPlanner::take() {
    const Click taken = m_next;
    if (!taken.end) {
        m_lastTaken = taken.due;
        advance();
        m_next = plan();
    }
    return taken;
}

ClickPlanner::Clock::time_point ClickPlanner::nextBeatAfter() const {
    return m_subdivision == 0 ? m_beatTime : m_beatTime + m_interval;
}

ClickPlanner::Duration ClickPlanner::spacing() const {
    const Bar& bar = m_settings.bar;
    if (bar.subdivision == 2) {
        const int swing = std::clamp(bar.swing, kStraightSwing, kMaxSwing);
        return m_interval * (100 - swing) / 100;
    }
    return m_interval / bar.subdivision;
}

void ClickPlanner::advance() {
    m_tempoChange.reset();
    if (++m_subdivision < m_settings.bar.subdivision) {
        return;
    }
    m_subdivision = 0;
    m_lastBeat = m_beatTime;
    m_beatTime += m_interval;
    if (m_pendingInterval) {
        m_interval = *m_pendingInterval;
        m_pendingInterval.reset();
    }
    if (++m_beat >= m_settings.bar.beats) {
        m_beat = 0;
        ++m_bar;
        applyBarLine();
    }
}

// A trainer turned on counts its bars from this one; the tempo trainer's tempo takes over here.
void ClickPlanner::applyBarLine() {
    if (m_pending.tempo && !m_settings.tempo) {
        m_trainerStart = m_bar;
    }
    if (m_pending.gap && !m_settings.gap) {
        m_gapStart = m_bar;
    }
    m_settings = m_pending;
    if (!m_settings.tempo) {
        return;
    }
    const int tempo = m_settings.tempo->tempoInBar(m_bar - m_trainerStart);
    if (intervalFor(tempo) != m_interval) {
        m_interval = intervalFor(tempo);
        m_tempoChange = tempo;
    }
}

Click ClickPlanner::plan() const {
    const Bar& bar = m_settings.bar;
    Click click;
    click.due = m_beatTime + subdivisionOffset(m_subdivision);
    click.bar = m_bar;
    click.beat = m_beat;
    click.subdivision = m_subdivision;
    const Mark mark = bar.accents ? bar.marks[m_beat] : Mark::Normal;
    click.kind = m_subdivision > 0      ? Kind::Subdivision
                 : mark == Mark::Accent ? Kind::Accent
                                        : Kind::Beat;
    click.sounds =
        mark != Mark::Silent && !(m_settings.gap && m_settings.gap->muted(m_bar - m_gapStart));
    click.newTempo = m_tempoChange;
    click.end = m_subdivision == 0 && m_beat == 0 && m_settings.tempo &&
                m_settings.tempo->endsBefore(m_bar - m_trainerStart);
    return click;
}

// On the whole millisecond: the built-in synthesizer starts a note on its 1 ms block, so a click
// between two would sound at the later one while its stamp, and the visual beat, said otherwise.
// A triplet is then at most half a millisecond from its ideal place, and heard where stamped.
ClickPlanner::Duration ClickPlanner::subdivisionOffset(int index) const {
    const int count = m_settings.bar.subdivision;
    const Duration exact =
        count == 2 && index == 1
            ? m_interval * std::clamp(m_settings.bar.swing, kStraightSwing, kMaxSwing) / 100
            : m_interval * index / count;
    return std::chrono::round<std::chrono::milliseconds>(exact);
}

}  // namespace MetronomeTrainer
