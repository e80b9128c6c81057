#include "coach/TimingGrid.h"

#include <algorithm>
#include <cmath>

namespace Coach {

namespace {
constexpr double kTempoTolerance = 0.005;
constexpr double kPauseBeats = 2;
constexpr double kSureShare = 0.4;
}  // namespace

void TimingGrid::clear() {
    m_count = m_next = 0;
    m_lastBeat.reset();
    m_beatSeconds = 0;
    m_tempoPart = 0;
    m_shortest = 0;
}

void TimingGrid::add(const GridPoint& point) {
    if (m_count > 0 && point.at <= entry(m_count - 1).point.at) {
        return;
    }
    if (m_count > 0) {
        const double spacing = point.at - entry(m_count - 1).point.at;
        m_shortest = m_shortest > 0 ? std::min(m_shortest, spacing) : spacing;
    }
    if (point.subdivision == 0) {
        if (m_lastBeat) {
            const double spacing = point.at - *m_lastBeat;
            const double length = point.beatSeconds > 0 ? point.beatSeconds : spacing;
            const bool paused = m_beatSeconds > 0 && spacing > kPauseBeats * m_beatSeconds;
            if (paused) {
                ++m_tempoPart;
                m_beatSeconds = 0;
            } else if (m_beatSeconds > 0 &&
                       std::abs(length - m_beatSeconds) > kTempoTolerance * m_beatSeconds) {
                ++m_tempoPart;
                m_beatSeconds = length;
            } else if (m_beatSeconds == 0) {
                m_beatSeconds = length;
            }
        }
        m_lastBeat = point.at;
    }
    m_ring[m_next] = {point, m_tempoPart, m_beatSeconds};
    m_next = (m_next + 1) % kCapacity;
    m_count = std::min(m_count + 1, kCapacity);
}

const TimingGrid::Entry& TimingGrid::entry(size_t fromOldest) const {
    return m_ring[(m_next + kCapacity - m_count + fromOldest) % kCapacity];
}

NoteTiming TimingGrid::timingAt(double at, const Entry& e) const {
    return {at, (at - e.point.at) * 1000, e.point, e.tempoPart, e.beatSeconds};
}

// The grid's first beat has no spacing yet: the second beat's stands for it.
TimingGrid::Placement TimingGrid::place(double at, double now) const {
    if (m_count == 0) {
        return {Outcome::Outside, {}};
    }
    const Entry& last = entry(m_count - 1);
    const double beat = last.beatSeconds > 0 ? last.beatSeconds : m_beatSeconds;
    // Closer to the last position than half the shortest spacing yet (with a margin for a
    // quicker tempo): no position planned later can be nearer.
    if (at > last.point.at && at - last.point.at < kSureShare * m_shortest) {
        return {Outcome::Placed, timingAt(at, last)};
    }
    if (at > last.point.at) {
        // Past the last position: a later one may still be planned while the metronome runs.
        const double reach = beat > 0 ? beat : 1.0;
        if (now - last.point.at < reach && at - last.point.at < reach) {
            return {Outcome::Wait, {}};
        }
        const bool near = beat > 0 && at - last.point.at <= beat / 2;
        return near ? Placement{Outcome::Placed, timingAt(at, last)}
                    : Placement{Outcome::Outside, {}};
    }
    size_t after = m_count - 1;
    while (after > 0 && entry(after - 1).point.at >= at) {
        --after;
    }
    if (after == 0) {
        const Entry& first = entry(0);
        const double firstBeat = first.beatSeconds > 0 ? first.beatSeconds : beat;
        const bool near = firstBeat > 0 && first.point.at - at <= firstBeat / 2;
        return near ? Placement{Outcome::Placed, timingAt(at, first)}
                    : Placement{Outcome::Outside, {}};
    }
    const Entry& before = entry(after - 1);
    const Entry& next = entry(after);
    const Entry& nearest = at - before.point.at <= next.point.at - at ? before : next;
    const double spacing = next.point.at - before.point.at;
    // Across a pause of the metronome the note belongs to neither side.
    if (nearest.beatSeconds > 0 && spacing > kPauseBeats * nearest.beatSeconds &&
        std::abs(at - nearest.point.at) > nearest.beatSeconds / 2) {
        return {Outcome::Outside, {}};
    }
    return {Outcome::Placed, timingAt(at, nearest)};
}

}  // namespace Coach
