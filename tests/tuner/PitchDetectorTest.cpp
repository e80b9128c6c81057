#include <gtest/gtest.h>

#include <optional>

#include "GuitarSignals.h"
#include "RenderedGuitar.h"
#include "tuner/PitchDetector.h"

namespace {

constexpr double kRate = 48000;
constexpr std::size_t kBlock = 480;

struct Heard {
    std::optional<PitchReading> at150ms, last;
    double firstStableMs = -1;
    double lastReadMs = -1;
    int returns = 0;        // readings again after the display has come to rest
    double worstCents = 0;  // of the readings shown, from the `expected` frequency
};

// The readings of a note that begins after 100 ms of silence, fed in the capture's 10 ms blocks.
Heard listen(PitchDetector& detector, std::vector<float> note, double expected = 0) {
    note.insert(note.begin(), static_cast<std::size_t>(0.1 * kRate), 0.0f);
    Heard heard;
    bool rested = false;
    for (std::size_t at = 0; at + kBlock <= note.size(); at += kBlock) {
        const bool wasHeard = heard.last.has_value();
        heard.last = detector.feed(note.data() + at, kBlock);
        rested |= wasHeard && !heard.last;
        heard.returns += rested && !wasHeard && heard.last;
        const double ms = double(at + kBlock) / kRate * 1000 - 100;
        if (ms == 150) {
            heard.at150ms = heard.last;
        }
        if (heard.last && heard.last->stable && heard.firstStableMs < 0) {
            heard.firstStableMs = ms;
        }
        if (heard.last) {
            heard.lastReadMs = ms;
        }
        if (heard.last && expected > 0) {
            heard.worstCents = std::max(heard.worstCents,
                                        std::abs(guitar::centsBetween(heard.last->hz, expected)));
        }
    }
    return heard;
}

std::vector<float> pluck(double hz, double seconds = 1) {
    return guitar::PluckedString(hz, kRate).render(seconds, 0.3);
}

std::vector<float> mixed(std::vector<float> a, const std::vector<float>& b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] += b[i];
    }
    return a;
}

TEST(PitchDetector, ReadsStringsToAFractionOfACent) {
    struct Case {
        const char* what;
        double hz;
        std::vector<float> (*make)(double hz);
        double centsAt150ms, centsAtEnd;
    };
    const Case cases[] = {
        {"steady sine", 110.0 * 1.000289, [](double hz) { return guitar::tone(hz, 1, kRate); }, 0.1,
         0.1},
        {"low E plucked", 82.407, [](double hz) { return pluck(hz); }, 0.5, 0.5},
        {"drop C plucked", 65.406, [](double hz) { return pluck(hz); }, 0.5, 0.5},
        {"high E plucked, 30 cents flat", 329.63 * 0.982821, [](double hz) { return pluck(hz); },
         0.5, 0.5},
        {"drop D, second harmonic 6 dB up", 73.416,
         [](double hz) { return guitar::tone(hz, 1, kRate, 0.3, 6, 4); }, 0.5, 0.5},
        {"plucked A in noise at 20 dB", 110.0,
         [](double hz) {
             auto note = pluck(hz);
             guitar::addNoise(note, 20, kRate);
             return note;
         },
         0.5, 0.5},
        {"clipped sine", 196.0,
         [](double hz) {
             auto note = guitar::tone(hz, 1, kRate, 3);
             for (auto& s : note) {
                 s = std::clamp(s, -1.0f, 1.0f);
             }
             return note;
         },
         0.5, 0.5},
        {"low E, its fundamental fading to 24 dB under a steady second harmonic", 82.407,
         [](double hz) {
             return mixed(guitar::tone(hz, 1, kRate, 0.3, -200, 2),
                          guitar::tone(2 * hz, 1, kRate, 0.15));
         },
         0.1, 0.1},
        {"a softer fifth above", 110.0,
         [](double hz) { return mixed(pluck(hz, 0.6), guitar::tone(1.5 * hz, 0.6, kRate, 0.04)); },
         0.5, 0.5},
    };
    PitchDetector detector(kRate);
    for (const Case& c : cases) {
        detector.reset();
        const Heard heard = listen(detector, c.make(c.hz));
        ASSERT_TRUE(heard.at150ms && heard.last) << c.what;
        EXPECT_NEAR(guitar::centsBetween(heard.at150ms->hz, c.hz), 0, c.centsAt150ms) << c.what;
        EXPECT_NEAR(guitar::centsBetween(heard.last->hz, c.hz), 0, c.centsAtEnd) << c.what;
        EXPECT_TRUE(heard.last->stable) << c.what;
        EXPECT_GE(heard.firstStableMs, 0) << c.what;
        EXPECT_LE(heard.firstStableMs, 120) << c.what;
    }
}

TEST(PitchDetector, RestsInSilenceAndWhenTheStringStops) {
    PitchDetector detector(kRate);
    EXPECT_FALSE(listen(detector, std::vector<float>(48000, 0.0f)).last);
    auto note = pluck(110, 0.5);
    note.resize(note.size() + 4800, 0.0f);
    EXPECT_FALSE(listen(detector, note).last);
    // Fading through the floor, the string is not taken up again and again.
    for (double hz : {82.41, 110.16, 146.83, 196.0, 246.94, 329.63}) {
        const Heard fading = listen(detector, pluck(hz, 3.5));
        EXPECT_FALSE(fading.last) << hz;
        EXPECT_EQ(fading.returns, 0) << hz;
    }
}

// A string is read while it rings clear of the noise, 40 dB down from its attack; the old fixed
// floor let a softly plucked A go at 1.4 s.
TEST(PitchDetector, ReadsARingingStringUntilItFades) {
    for (double snr : {200.0, 40.0}) {
        auto note = guitar::PluckedString(110, kRate, 3).render(3, 0.1);
        guitar::addNoise(note, snr, kRate);
        PitchDetector detector(kRate);
        const Heard heard = listen(detector, note);
        EXPECT_GT(heard.lastReadMs, 1800) << snr;
        EXPECT_LT(heard.lastReadMs, 2200) << snr;
        EXPECT_EQ(heard.returns, 0) << snr;
    }
}

// Recorded notes that showed another octave: a low E whose fundamental is 25 dB under its second
// partial, as through a microphone, and onsets where yin's period slips for a few hops.
TEST(PitchDetector, RecordedNotesAreNeverShownInAnotherOctave) {
    struct Case {
        const char* font;
        int program;
        std::vector<rendered::Note> notes;
    };
    const Case cases[] = {
        {rendered::kFluidR3, 25, {{40, 2}, {45, 2}, {36, 2}, {76, 2}}},
        {rendered::kTimGM6mb, 25, {{48, 2}, {55, 2}, {50, 2, -20}}},
        {rendered::kFluidR3, 30, {{55, 2}, {74, 2, 20}}},
    };
    PitchDetector detector(kRate);
    for (const Case& c : cases) {
        if (!rendered::available(c.font)) {
            GTEST_SKIP() << "no fluidsynth or " << c.font;
        }
        const auto sounds = rendered::render(c.font, c.program, c.notes, 3);
        ASSERT_EQ(sounds.size(), c.notes.size());
        for (std::size_t i = 0; i < c.notes.size(); ++i) {
            const rendered::Note& note = c.notes[i];
            const double truth = rendered::fundamentalHz(sounds[i], note.key, 0.2, 0.5, note.cents);
            detector.reset();
            const Heard heard = listen(detector, sounds[i], truth);
            EXPECT_GE(heard.firstStableMs, 0) << c.program << " " << note.key;
            EXPECT_LT(heard.worstCents, 600) << c.program << " " << note.key;  // half an octave
        }
    }
}

TEST(PitchDetector, ANewStringIsFollowedAfterItsPluck) {
    PitchDetector detector(kRate);
    auto notes = pluck(82.407, 0.6);
    const auto next = pluck(146.83, 0.6);
    notes.insert(notes.end(), next.begin(), next.end());
    const Heard heard = listen(detector, notes);
    ASSERT_TRUE(heard.last);
    EXPECT_NEAR(guitar::centsBetween(heard.last->hz, 146.83), 0, 0.5);
}

}  // namespace
