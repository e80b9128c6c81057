#pragma once

#include <cstdint>
#include <string>

#include "coach/TakeRecorder.h"

// A take played back as it was measured: the recorded guitar with a click on every position of
// the grid that sounded, in a stereo 16-bit WAV that any player opens. The guitar is taken back
// by the calibrated correction, so that a note the report placed 10 ms late sounds 10 ms after
// its click; a click the microphone heard lands on the click put in. The mix runs from a second
// before the take's first click to two seconds after its last (the whole file without a grid).
namespace Coach {

struct TakeMix {
    int64_t firstFrame = 0;  // where the mix begins on the take's timeline, frames
    int64_t frames = 0;
};

// False, with `error` set, when the take cannot be read or the mix not written.
bool renderTakeMix(const RecordedTake& take, double correctionSeconds, const std::string& mixPath,
                   TakeMix& mix, std::string& error);

}  // namespace Coach
