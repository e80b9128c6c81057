// The built-in synthesizer, rendered offline: each open string must sound in tune.
#include <gtest/gtest.h>

#include <cmath>

#include "Pitch.h"
#include "synth/GmSynth.h"
#include "synth/ReferencePitch.h"

namespace {

constexpr uint32_t kSteelGuitarOnChannel0 = 0xC0 | (25 << 8);

TEST(GmSynthIntegration, OpenStringsAreInTune) {
    for (int note : {40, 45, 50, 55, 59, 64}) {
        GmSynth synth;
        std::string error;
        ASSERT_TRUE(synth.load(error)) << error;
        synth.apply(kSteelGuitarOnChannel0);
        synth.apply(0x90 | (note << 8) | (100 << 16));
        ASSERT_EQ(synth.takeRefusedCount(), 0u) << "refused by the synthesizer";

        const double rate = GmSynth::kSampleRate;
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

// Another reference pitch moves every note by as much as it moves A4 (the sound font's own A2 is
// a few cents off, whatever the reference), and a program change keeps it.
TEST(GmSynthIntegration, AReferencePitchTunesEveryNote) {
    const auto a2At = [](double a4) {
        GmSynth synth;
        std::string error;
        EXPECT_TRUE(synth.load(error)) << error;
        for (uint32_t message : referencePitchMessages(0, a4)) {
            synth.apply(message);
        }
        synth.apply(kSteelGuitarOnChannel0);
        synth.apply(0x90 | (45 << 8) | (100 << 16));
        const double rate = GmSynth::kSampleRate;
        const int frames = static_cast<int>(rate * 0.6);
        std::vector<float> left(frames), right(frames);
        synth.render(left.data(), right.data(), frames);
        return estimatePitch({left.begin() + frames / 4, left.end()}, rate);
    };
    const double at440 = a2At(440);
    for (double a4 : {432.0, 446.0, 415.0, 466.0}) {
        const double pitch = a2At(a4);
        EXPECT_NEAR(centsBetween(pitch, at440 * a4 / 440), 0.0, 1.5)
            << a4 << " Hz: A2 at " << pitch << " Hz against " << at440 << " Hz at 440";
    }
}

TEST(GmSynthIntegration, NoteWithoutProgramStillSounds) {
    GmSynth synth;
    std::string error;
    ASSERT_TRUE(synth.load(error)) << error;
    synth.apply(0x90 | (57 << 8) | (127 << 16));
    ASSERT_EQ(synth.takeRefusedCount(), 0u) << "refused by the synthesizer";
    std::vector<float> left(4410), right(4410);
    synth.render(left.data(), right.data(), 4410);
    float peak = 0;
    for (float v : left) {
        peak = std::max(peak, std::abs(v));
    }
    EXPECT_GT(peak, 0.01f);
}

}  // namespace

namespace {

constexpr uint32_t kClickProgramOnChannel10 = 0xCA | (127 << 8);

struct ClickShape {
    double peakDb = -200;
    int onsetFrame = -1;
    int lastAudibleFrame = -1;  // above -60 dBFS
};

ClickShape renderClick(int key, int velocity) {
    GmSynth synth;
    std::string error;
    EXPECT_TRUE(synth.load(error)) << error;
    synth.apply(kClickProgramOnChannel10);
    synth.apply(0x9A | (key << 8) | (velocity << 16));
    const int frames = static_cast<int>(GmSynth::kSampleRate * 0.2);
    std::vector<float> left(frames), right(frames);
    synth.render(left.data(), right.data(), frames);
    ClickShape shape;
    float peak = 0;
    for (int i = 0; i < frames; ++i) {
        const float level = std::max(std::abs(left[i]), std::abs(right[i]));
        peak = std::max(peak, level);
        if (level > 1e-6f && shape.onsetFrame < 0) {
            shape.onsetFrame = i;
        }
        if (level > 1e-3f) {
            shape.lastAudibleFrame = i;
        }
    }
    shape.peakDb = 20 * std::log10(std::max(peak, 1e-10f));
    return shape;
}

TEST(GmSynthIntegration, ProgramClickIsAShortLoudClickAtEveryKey) {
    const double rate = GmSynth::kSampleRate;
    for (int key = 0; key <= 127; key += 9) {
        const ClickShape loud = renderClick(key, 127);
        EXPECT_GT(loud.peakDb, -12.0) << "key " << key;
        EXPECT_GE(loud.onsetFrame, 0) << "key " << key;
        EXPECT_LT(loud.onsetFrame, rate * 0.001) << "key " << key;
        EXPECT_LT(loud.lastAudibleFrame - loud.onsetFrame, rate * 0.040) << "key " << key;
        const ClickShape soft = renderClick(key, 22);
        EXPECT_LT(soft.peakDb, loud.peakDb - 6.0) << "key " << key;
    }
}

}  // namespace
