#pragma once

#include <cstdint>

// The metronome's sound: this program on the click channel. The built-in synthesizer's own
// click font takes the program over from its General MIDI font.
constexpr int16_t kClickProgram = 127;
// The metronome clicks on this channel (the user's channel 11).
constexpr int16_t kClickChannel = 10;
// The metronome trainer's accent: the key below the beat's, a higher tick in the click font.
constexpr int16_t kAccentNote = 126;
