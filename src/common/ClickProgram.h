#pragma once

#include <cstdint>

// The metronome's sound: this program on the click channel. The built-in synthesizer's own
// click font takes the program over from its General MIDI font.
constexpr int16_t kClickProgram = 127;
