#pragma once

#include <functional>
#include <memory>
#include <vector>

class FFTReal;

// The strong spectral peaks between 100 Hz and 2 kHz of half-overlapping 0.37 s frames of a
// track: where its notes sound, each placed between bins to a fraction of a cent.
class SpectralPeaks {
public:
    // Called for each peak with its frequency and its strength against the frame's loudest.
    using Use = std::function<void(double hz, double weight)>;
    explicit SpectralPeaks(Use use);
    ~SpectralPeaks();
    // Any number of samples at the analysis rate.
    void push(const float* samples, size_t count);

private:
    void analyseFrame();

    Use m_use;
    std::unique_ptr<FFTReal> m_fft;
    std::vector<double> m_window;
    std::vector<double> m_frame;
    std::vector<double> m_windowed;
    std::vector<double> m_real;
    std::vector<double> m_imaginary;
    std::vector<double> m_logMagnitude;
    size_t m_filled = 0;
};
