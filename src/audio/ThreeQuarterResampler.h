#pragma once

#include <array>
#include <vector>

// Converts stereo audio to three quarters of its sample rate (64 kHz to 48 kHz) with a fixed
// polyphase low-pass filter. The ratio is exact, so what comes out keeps the input's clock to the
// sample, and the delay it adds is constant.
class ThreeQuarterResampler {
public:
    static constexpr int kTapsPerPhase = 64;

    ThreeQuarterResampler();

    // Input frames must come in multiples of four; writes three output frames for every four.
    void process(const float* left, const float* right, int frames, float* outLeft,
                 float* outRight);
    // The filter's constant delay, in input frames.
    static constexpr double delayInInputFrames() { return (3.0 * kTapsPerPhase - 1) / 2 / 3; }

private:
    void convertChannel(std::vector<float>& history, const float* input, int frames,
                        float* output) const;

    std::array<std::array<float, kTapsPerPhase>, 3> m_phases{};
    std::vector<float> m_historyLeft, m_historyRight;
};
