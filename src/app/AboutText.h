#pragma once

#include <string>

// What "About RZ77" tells: the version, the sound font the built-in synthesizer plays with and
// its licence, and the MIDI device open now.
struct AboutDetails {
    std::string version;
    std::string soundFontPath;  // empty: no sound font installed
    std::string midiDevice;     // empty: no device open
};

std::string aboutText(const AboutDetails& details);
