// The built-in synthesizer, rendered offline: each open string must sound in tune.
#include <gtest/gtest.h>

#include "GmSynth.h"
#include "Pitch.h"

namespace {

constexpr uint32_t kSteelGuitarOnChannel0 = 0xC0 | (25 << 8);

TEST(GmSynthIntegration, OpenStringsAreInTune) {
    for (int note : {40, 45, 50, 55, 59, 64}) {
        GmSynth synth;
        std::string error;
        ASSERT_TRUE(synth.load(error)) << error;
        ASSERT_TRUE(synth.handleShortMessage(kSteelGuitarOnChannel0, error)) << error;
        ASSERT_TRUE(synth.handleShortMessage(0x90 | (note << 8) | (100 << 16), error)) << error;

        const double rate = synth.sampleRate();
        const int frames = static_cast<int>(rate * 0.6);
        std::vector<float> left(frames), right(frames);
        synth.render(left.data(), right.data(), frames);
        // Skip the pluck's attack; the tone settles after a few periods.
        const std::vector<float> steady(left.begin() + frames / 4, left.end());
        const double pitch = estimatePitch(steady, rate);
        EXPECT_NEAR(centsBetween(pitch, noteFrequency(note)), 0.0, 10.0)
            << "note " << note << " measured " << pitch << " Hz";
    }
}

TEST(GmSynthIntegration, NoteWithoutProgramStillSounds) {
    GmSynth synth;
    std::string error;
    ASSERT_TRUE(synth.load(error)) << error;
    ASSERT_TRUE(synth.handleShortMessage(0x90 | (57 << 8) | (127 << 16), error)) << error;
    std::vector<float> left(4410), right(4410);
    synth.render(left.data(), right.data(), 4410);
    float peak = 0;
    for (float v : left) {
        peak = std::max(peak, std::abs(v));
    }
    EXPECT_GT(peak, 0.01f);
}

}  // namespace
