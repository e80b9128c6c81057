#include "analysis/SpectralPeaks.h"

#include <dsp/transforms/FFT.h>

#include <algorithm>
#include <cmath>

#include "analysis/MonoSource.h"

namespace {

constexpr size_t kFrame = 16384;  // 2.7 Hz between bins: a cent's precision after interpolation
constexpr size_t kHop = kFrame / 2;
constexpr double kLowestHz = 100;
constexpr double kHighestHz = 2000;
constexpr double kPeakBelowLoudest = 0.05;  // peaks weaker than this (−26 dB) are noise or leakage
constexpr double kSilence = 1e-4;           // a frame's loudest bin below this is silence

std::vector<double> hannWindow() {
    std::vector<double> window(kFrame);
    for (size_t i = 0; i < kFrame; ++i) window[i] = 0.5 - 0.5 * std::cos(2 * M_PI * i / kFrame);
    return window;
}

// The peak's true place between bins from the parabola through the log magnitudes around it.
double peakOffset(double before, double at, double after) {
    const double curvature = before - 2 * at + after;
    return curvature < 0 ? 0.5 * (before - after) / curvature : 0;
}

}  // namespace

SpectralPeaks::SpectralPeaks(Use use)
    : m_use(std::move(use)),
      m_fft(std::make_unique<FFTReal>(kFrame)),
      m_window(hannWindow()),
      m_frame(kFrame),
      m_windowed(kFrame),
      m_real(kFrame),
      m_imaginary(kFrame),
      m_logMagnitude(kFrame / 2 + 1) {}

SpectralPeaks::~SpectralPeaks() = default;

void SpectralPeaks::push(const float* samples, size_t count) {
    while (count > 0) {
        const size_t taken = std::min(count, kFrame - m_filled);
        std::copy(samples, samples + taken, m_frame.begin() + static_cast<long>(m_filled));
        m_filled += taken;
        samples += taken;
        count -= taken;
        if (m_filled == kFrame) {
            analyseFrame();
            std::copy(m_frame.begin() + kHop, m_frame.end(), m_frame.begin());
            m_filled = kFrame - kHop;
        }
    }
}

void SpectralPeaks::analyseFrame() {
    for (size_t i = 0; i < kFrame; ++i) m_windowed[i] = m_frame[i] * m_window[i];
    m_fft->forward(m_windowed.data(), m_real.data(), m_imaginary.data());
    const double binHz = double(kAnalysisRate) / kFrame;
    const auto lowest = static_cast<size_t>(kLowestHz / binHz);
    const auto highest = static_cast<size_t>(kHighestHz / binHz);
    double loudest = 0;
    for (size_t bin = lowest - 1; bin <= highest + 1; ++bin) {
        const double magnitude = std::hypot(m_real[bin], m_imaginary[bin]);
        m_logMagnitude[bin] = std::log(magnitude + 1e-12);
        loudest = std::max(loudest, magnitude);
    }
    if (loudest < kSilence * kFrame)
        return;
    const double floor = std::log(loudest * kPeakBelowLoudest);
    for (size_t bin = lowest; bin <= highest; ++bin) {
        const double at = m_logMagnitude[bin];
        if (at < floor || at <= m_logMagnitude[bin - 1] || at < m_logMagnitude[bin + 1])
            continue;
        const double offset = peakOffset(m_logMagnitude[bin - 1], at, m_logMagnitude[bin + 1]);
        m_use((bin + offset) * binHz, std::exp(at) / loudest);
    }
}
