#pragma once

#include <aubio/aubio.h>

#include <string>

// aubio's onset detector, opened the first time the coach listens rather than at start-up: the
// library brings some ninety others with it (about 20 MB) that a session without the coach never
// needs.
struct AubioOnsets {
    decltype(&new_aubio_onset) newOnset;
    decltype(&del_aubio_onset) deleteOnset;
    decltype(&aubio_onset_do) detect;
    decltype(&aubio_onset_get_last) last;
    decltype(&aubio_onset_set_threshold) setThreshold;
    decltype(&aubio_onset_set_silence) setSilence;
    decltype(&aubio_onset_set_minioi_ms) setMinimumGap;
    decltype(&new_fvec) newVector;
    decltype(&del_fvec) deleteVector;

    // The library's functions, found once for the whole process; nullptr when it cannot be
    // opened, with the reason in error.
    static const AubioOnsets* open(std::string& error);
};
