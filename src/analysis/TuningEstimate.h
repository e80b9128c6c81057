#pragma once

#include <optional>

#include "analysis/SpectralPeaks.h"

// How far the recording's notes sit from the equal-tempered scale on A440, in cents: every
// strong spectral peak votes with its offset from the nearest semitone, the votes averaged
// around the circle of a semitone (so +49 and −49 cents agree closely), weighted by the peak's
// strength.
class TuningEstimate {
public:
    TuningEstimate();
    // Any number of samples at the analysis rate.
    void push(const float* samples, size_t count) { m_peaks.push(samples, count); }
    // Nothing when the track holds too few steady pitches to tell (drums, silence).
    std::optional<double> cents() const;

private:
    void vote(double hz, double weight);

    SpectralPeaks m_peaks;
    double m_sumCos = 0;
    double m_sumSin = 0;
    double m_sumWeight = 0;
};
