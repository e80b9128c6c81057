#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class DetectionFunction;

// The onset strength of a track, one value every kOnsetStep samples at the analysis rate: the
// complex spectral difference of overlapping frames, which rises at notes and drum hits alike.
class OnsetCurve {
public:
    static constexpr size_t kOnsetStep = 512;

    OnsetCurve();
    ~OnsetCurve();
    // Exactly kOnsetStep samples.
    void push(const float* step);
    const std::vector<double>& values() const { return m_values; }

private:
    std::unique_ptr<DetectionFunction> m_function;
    std::vector<double> m_frame;  // the last two steps
    std::vector<double> m_values;
};

struct TrackedBeats {
    std::vector<double> steps;  // each beat, in onset steps from the track's start
    // How clearly the onsets repeat at the beat's period, 0..1: near 0 when the beats were laid
    // over music without a pulse.
    double clarity = 0;
};

// Every beat of the track, by dynamic programming over the onset curve with a tempo that may
// drift around the fastest pulse that repeats strongly; no beats when the track is too short or
// holds no onsets at all; nothing when cancelled.
std::optional<TrackedBeats> trackBeats(const std::vector<double>& onsets,
                                       const std::function<bool()>& cancelled);

// The clarity below which the beats are taken as laid over music without a pulse.
constexpr double kLeastPulseClarity = 0.2;

// Seconds into the track of a beat found at the given onset step.
double beatSeconds(double step);
