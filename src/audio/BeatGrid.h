#pragma once

#include <vector>

// A track's beats as the analysis found them in the recording, and as the user corrected them:
// the time of every beat, in seconds into the track, and where the bars begin.
struct BeatGrid {
    std::vector<double> beats;  // rising
    int beatsPerBar = 4;
    int firstDownbeat = 0;  // the first beat that is a bar's one: 0 .. beatsPerBar - 1
};
