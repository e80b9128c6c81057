#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

// The built-in synthesizer's own tuning for a reference pitch other than A4 = 440 Hz: the
// channel's coarse and fine tuning (registered parameters 2 and 1), which a program change keeps.
// A port never receives them, so its bytes stay the plain ones.
inline std::vector<uint32_t> referencePitchMessages(int channel, double a4) {
    const double cents = 1200 * std::log2(a4 / 440.0);
    // The fine tuning reaches ±100 cents; 415 Hz lies a little beyond, a semitone down.
    const int semitones = cents < -99.9 ? -1 : 0;
    const int fine = std::clamp(
        static_cast<int>(std::lround(8192 + (cents - 100 * semitones) * 8192 / 100)), 0, 16383);
    const auto cc = [channel](int controller, int value) {
        return static_cast<uint32_t>(0xB0 | channel) | (controller << 8) | (value << 16);
    };
    // The low byte of a value goes before its high byte, which applies it.
    return {cc(101, 0), cc(100, 1), cc(38, fine & 0x7F),   cc(6, fine >> 7), cc(101, 0),
            cc(100, 2), cc(38, 0),  cc(6, 64 + semitones), cc(101, 127),     cc(100, 127)};
}
