#include "audio/ThreeQuarterResampler.h"

#include <array>
#include <cmath>
#include <numbers>

namespace {

// The filter runs at three times the input rate (192 kHz for 64 kHz in); its cut-off sits
// between the audible band's top and the output's Nyquist frequency.
constexpr double kCutoffOfOutputRate = 22.0 / 48.0;
constexpr double kKaiserBeta = 7.0;  // about 70 dB against what would fold back
constexpr int kLanes = 8;
static_assert(ThreeQuarterResampler::kTapsPerPhase % kLanes == 0);

double besselI0(double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 30; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

}  // namespace

ThreeQuarterResampler::ThreeQuarterResampler() {
    constexpr int length = 3 * kTapsPerPhase;
    // Cut-off as a fraction of the filter's own rate, which is four times the output's.
    const double cutoff = kCutoffOfOutputRate / 4;
    const double middle = (length - 1) / 2.0;
    for (int i = 0; i < length; ++i) {
        const double t = i - middle;
        const double sinc =
            t == 0 ? 2 * cutoff
                   : std::sin(2 * std::numbers::pi * cutoff * t) / (std::numbers::pi * t);
        const double ratio = t / middle;
        const double window =
            besselI0(kKaiserBeta * std::sqrt(1 - ratio * ratio)) / besselI0(kKaiserBeta);
        // Stored oldest input first, so that the sum below runs forward over both.
        m_phases[i % 3][kTapsPerPhase - 1 - i / 3] = static_cast<float>(sinc * window);
    }
    // Each phase alone passes a constant unchanged, so no ripple at the output's rate.
    for (auto& phase : m_phases) {
        double sum = 0;
        for (float tap : phase) {
            sum += tap;
        }
        for (float& tap : phase) {
            tap = static_cast<float>(tap / sum);
        }
    }
    m_historyLeft.assign(kTapsPerPhase - 1, 0.0f);
    m_historyRight.assign(kTapsPerPhase - 1, 0.0f);
}

void ThreeQuarterResampler::process(const float* left, const float* right, int frames,
                                    float* outLeft, float* outRight) {
    convertChannel(m_historyLeft, left, frames, outLeft);
    convertChannel(m_historyRight, right, frames, outRight);
}

// Output frame n lies at input position 4n/3: it weighs the input frames at and before that with
// the filter's taps that fall on them, tap p + 3j on frame floor(4n/3) - j.
void ThreeQuarterResampler::convertChannel(std::vector<float>& history, const float* input,
                                           int frames, float* output) const {
    const int kept = kTapsPerPhase - 1;
    history.insert(history.end(), input, input + frames);
    for (int n = 0; n < frames / 4 * 3; ++n) {
        const float* oldest = history.data() + 4 * n / 3;
        const auto& taps = m_phases[(4 * n) % 3];
        // Separate partial sums let the compiler use vector instructions.
        std::array<float, kLanes> sums{};
        for (int j = 0; j < kTapsPerPhase; j += kLanes) {
            for (int lane = 0; lane < kLanes; ++lane) {
                sums[lane] += oldest[j + lane] * taps[j + lane];
            }
        }
        float sum = 0;
        for (float part : sums) {
            sum += part;
        }
        output[n] = sum;
    }
    history.erase(history.begin(), history.end() - kept);
}
