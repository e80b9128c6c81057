#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "audio/ThreeQuarterResampler.h"

namespace {

constexpr double kInputRate = 64000, kOutputRate = 48000;

std::vector<float> sine(double frequency, int frames, double delaySeconds, double rate) {
    std::vector<float> wave(frames);
    for (int i = 0; i < frames; ++i) {
        wave[i] = static_cast<float>(
            0.5 * std::sin(2 * std::numbers::pi * frequency * (i / rate - delaySeconds)));
    }
    return wave;
}

// Converts in the blocks the playback thread uses, the right channel silent.
std::vector<float> convert(const std::vector<float>& input, int block) {
    ThreeQuarterResampler resampler;
    const std::vector<float> silence(block);
    std::vector<float> output(input.size() / 4 * 3), ignored(block);
    for (size_t at = 0; at < input.size(); at += block) {
        resampler.process(&input[at], silence.data(), block, &output[at / 4 * 3], ignored.data());
    }
    return output;
}

// Audible tones come out at their pitch and loudness, late by exactly the filter's delay,
// whatever the block size; tones the output rate cannot hold are not folded back into the band.
TEST(ThreeQuarterResampler, KeepsAudibleTonesAndRejectsWhatWouldFoldBack) {
    const double delay = ThreeQuarterResampler::delayInInputFrames() / kInputRate;
    const struct {
        double frequency;
        int block;
        double expectedAmplitude;
    } cases[] = {{110, 256, 0.5}, {1000, 4, 0.5}, {15000, 256, 0.5}, {30000, 256, 0}};
    for (const auto& c : cases) {
        const auto output = convert(sine(c.frequency, 64000, 0, kInputRate), c.block);
        const auto expected = sine(c.frequency, 48000, delay, kOutputRate);
        double worst = 0;
        for (size_t i = 1000; i < output.size(); ++i) {
            worst = std::max(worst, std::abs(output[i] - c.expectedAmplitude * 2 * expected[i]));
        }
        EXPECT_LT(worst, 0.002) << c.frequency << " Hz in blocks of " << c.block;
    }
}

}  // namespace
