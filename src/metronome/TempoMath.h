#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Tempo arithmetic of the metronome: from the slider knob's position or from typed text to the
// time between clicks.
namespace TempoMath {

constexpr float kKnobLeftMin = 910;   // twips
constexpr float kKnobLeftMax = 2640;  // twips

struct SliderTempo {
    int16_t q;
    int16_t BeatInterval;
    int16_t Bpm;
};

// The tempo for a knob whose left edge is at leftTwips, or nothing when the knob may not go
// there: outside the track, or so far left that one beat a minute would not fit the interval.
std::optional<SliderTempo> tempoForKnob(float leftTwips);

// The tempo of typed text (a decimal number, rounded half to even), or nothing when it is not a
// tempo that gives an interval from 1 to 32767 ms.
std::optional<int> typedTempo(const std::string& text);

// The tempo, to the nearest whole beat per minute, of clicks the given interval apart.
int tempoForInterval(int intervalMs);

// The interval for a typed tempo (a decimal number, rounded half to even), or nothing when the
// text gives no interval from 1 to 32767 ms.
std::optional<int16_t> intervalForTyped(const std::string& text);

}  // namespace TempoMath
