#pragma once

#include <memory>
#include <optional>
#include <vector>

class FFTReal;

// How far the recording's notes sit from the equal-tempered scale on A440, in cents: every
// strong spectral peak between 100 Hz and 2 kHz votes with its offset from the nearest
// semitone, the votes averaged around the circle of a semitone (so +49 and −49 cents agree
// closely), weighted by the peak's strength.
class TuningEstimate {
public:
    TuningEstimate();
    ~TuningEstimate();
    // Any number of samples at the analysis rate.
    void push(const float* samples, size_t count);
    // Nothing when the track holds too few steady pitches to tell (drums, silence).
    std::optional<double> cents() const;

private:
    void analyseFrame();
    void vote(double hz, double weight);

    std::unique_ptr<FFTReal> m_fft;
    std::vector<double> m_window;
    std::vector<double> m_frame;
    std::vector<double> m_windowed;
    std::vector<double> m_real;
    std::vector<double> m_imaginary;
    std::vector<double> m_logMagnitude;
    size_t m_filled = 0;
    double m_sumCos = 0;
    double m_sumSin = 0;
    double m_sumWeight = 0;
};
