#pragma once

#include <aubio/aubio.h>

#include <string>

// aubio, opened the first time a tuner listens rather than when the program starts: through its
// decoders it brings some ninety other libraries with it, about 20 MB of a user's memory that a
// session without the listening tuner never needs.
struct AubioLibrary {
    decltype(&new_aubio_pitch) newPitch;
    decltype(&del_aubio_pitch) deletePitch;
    decltype(&aubio_pitch_set_unit) setUnit;
    decltype(&aubio_pitch_set_silence) setSilence;
    decltype(&aubio_pitch_do) detect;
    decltype(&aubio_pitch_get_confidence) confidence;
    decltype(&new_fvec) newVector;
    decltype(&del_fvec) deleteVector;

    // The library's functions, found once for the whole process; nullptr when it cannot be
    // opened, with the reason in error.
    static const AubioLibrary* open(std::string& error);
};
