#pragma once

#include <cmath>

// How a backing track is played: its speed, and its pitch in semitones and cents, independent of
// each other.
struct TrackTuning {
    static constexpr double kMinSpeed = 0.25;
    static constexpr double kMaxSpeed = 1.5;

    double speed = 1.0;
    int semitones = 0;  // -12 .. 12
    int cents = 0;      // -50 .. 50

    // As decoded: nothing stretches or shifts it.
    bool plain() const { return speed == 1.0 && semitones == 0 && cents == 0; }
    double pitchScale() const { return std::exp2((semitones + cents / 100.0) / 12.0); }
    bool operator==(const TrackTuning&) const = default;
};

// Rubber Band's two engines: the finer one sounds better and costs several times more.
enum class StretchEngine { Finer, Faster };
