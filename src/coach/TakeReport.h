#pragma once

#include <vector>

#include "coach/TimingGrid.h"

// What a take says of the player's time: for each stretch at one tempo, the mean offset from the
// grid, the spread around it, the drift from its start to its end, the mean on each beat of the
// bar and the share of notes close to the grid; the same for the notes of the muted bars (and
// silent beats) alone, where the pulse is the player's own.
namespace Coach {

struct Figures {
    int notes = 0;
    double meanMs = 0;
    double spreadMs = 0;  // standard deviation
    double driftMs = 0;   // the fitted line's change from the first note to the last
    double within10 = 0;  // share of notes within ±10 ms, 0..1
    double within20 = 0;
};

struct TempoPartReport {
    int tempoPart = 0;
    double bpm = 0;           // 0 when no two beats were heard to tell it
    double from = 0, to = 0;  // the first and last note, s
    Figures all;
    Figures muted;
    // The mean offset on each position of the bar that had notes, in the bar's order: the
    // off-beats apart from the beats.
    struct Position {
        int beat = 0, subdivision = 0, notes = 0;
        double meanMs = 0;
    };
    std::vector<Position> perPosition;
};

Figures figuresOf(const std::vector<NoteTiming>& notes);
// One part per tempo, in order; notes of one part need not be adjacent in the list.
std::vector<TempoPartReport> reportTake(const std::vector<NoteTiming>& notes);

}  // namespace Coach
