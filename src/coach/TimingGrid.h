#pragma once

#include <array>
#include <cstddef>
#include <optional>

// The positions a note may be measured against, as they come from the running metronome (its
// beats and their subdivisions, swing and silent bars included), all on one timeline in
// seconds, and each note placed at the nearest of them. Holds the last few seconds of grid in
// a fixed ring, so placing a note never allocates.
namespace Coach {

struct GridPoint {
    double at = 0;  // when it is heard, s
    long bar = 0;
    int beat = 0;         // in the bar, from 0
    int subdivision = 0;  // within the beat, from 0
    bool heard = true;    // false in a muted bar or on a silent beat
    bool accent = false;
    // The beat's length when the grid's source knows it (a track's tempo at the speed it plays,
    // whose beats wander a little from one to the next); 0 takes it from the beats' spacing.
    double beatSeconds = 0;
    // Whether a click sounds there for the microphone to hear: none on a track's beats while its
    // click is off, though they are not muted.
    bool clicked = true;
};

struct NoteTiming {
    double at = 0;        // the note's onset, s
    double offsetMs = 0;  // early below zero, late above
    GridPoint nearest;
    int tempoPart = 0;       // counts the tempo changes before the note
    double beatSeconds = 0;  // the beat's length where the note fell
};

class TimingGrid {
public:
    // Points come in time order; a point not after the last is ignored. A beat (subdivision 0)
    // whose spacing from the last (or the length told with it) differs from the one before by
    // more than half a percent, or that comes after a pause of over two beats, begins a new tempo
    // part.
    void add(const GridPoint& point);
    void clear();

    enum class Outcome { Placed, Wait, Outside };
    struct Placement {
        Outcome outcome;
        NoteTiming timing;
    };
    // The nearest position to a note heard at `at`. Wait while no position after it is known
    // yet (an early note's beat is planned later); Outside when no grid runs near it, or when
    // `now` shows that none is coming.
    Placement place(double at, double now) const;

private:
    struct Entry {
        GridPoint point;
        int tempoPart;
        double beatSeconds;
    };
    static constexpr size_t kCapacity = 256;
    const Entry& entry(size_t fromOldest) const;
    NoteTiming timingAt(double at, const Entry& e) const;

    std::array<Entry, kCapacity> m_ring{};
    size_t m_count = 0, m_next = 0;
    std::optional<double> m_lastBeat;
    double m_beatSeconds = 0;
    int m_tempoPart = 0;
    double m_shortest = 0;  // the shortest spacing of two positions so far
};

}  // namespace Coach
