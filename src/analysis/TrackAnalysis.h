#pragma once

#include "audio/BeatGrid.h"

#include <optional>
#include <string>

// What the analysis finds in a recording.
struct TrackAnalysis {
    BeatGrid grid;                      // empty beats: no beat found
    double beatsPerMinute = 0;          // the track's main tempo
    std::optional<double> tuningCents;  // the recording's offset from A440
    std::string key;                    // e.g. "E minor"; empty when not found
};
