#pragma once

#include <string>
#include <vector>

// What a calibration makes of the clicks it played: each click (or the player's tap or pick with
// it, on headphones) heard back some way from when the output says it sounds. The median of those
// offsets is the latency the stream's own figures leave out; their spread says how far to trust
// it. Too few heard, or heard all over the place, and it is no calibration.
namespace Coach {

struct CalibrationResult {
    bool good = false;
    double correctionMs = 0;
    double spreadMs = 0;  // median distance from the correction
    int heard = 0;
    std::string problem;  // why it is no good, for the player
};

// offsetsMs: each sound heard within reach of a click, from the click as the output plays it.
CalibrationResult calibrate(std::vector<double> offsetsMs, int clicksPlayed);

}  // namespace Coach
