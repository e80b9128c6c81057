#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

#include "audio/SpeedTrainer.h"
#include "common/TapTempo.h"
#include "practice/LoopMarkers.h"
#include "practice/RecordingTuning.h"

namespace {

struct MarkerStep {
    char marker;  // 'A', 'B' or '2' (both, from a drag)
    double at, other;
    bool placed;
    std::optional<double> a, b;
    bool on;
};

}  // namespace

// Marker after marker on a 10 s track: what stays, what swaps and what is refused.
TEST(LoopMarkers, KeepTheLoopOnTheTrackInOrderAndLongEnough) {
    const struct {
        const char* what;
        std::vector<MarkerStep> steps;
    } cases[] = {
        {"A then B", {{'A', 2, 0, true, 2, {}, false}, {'B', 4, 0, true, 2, 4, true}}},
        {"B alone waits for A", {{'B', 4, 0, true, {}, 4, false}, {'A', 2, 0, true, 2, 4, false}}},
        {"B before A swaps", {{'A', 5, 0, true, 5, {}, false}, {'B', 3, 0, true, 3, 5, true}}},
        {"outside the track", {{'A', -1, 0, true, 0, {}, false}, {'B', 12, 0, true, 0, 10, true}}},
        {"too short is refused",
         {{'A', 2, 0, true, 2, {}, false}, {'B', 2.04, 0, false, 2, {}, false}}},
        {"a short drag keeps the loop",
         {{'2', 1, 3, true, 1, 3, true}, {'2', 6, 6.01, false, 1, 3, true}}},
        {"a drag backwards", {{'2', 7, 4, true, 4, 7, true}}},
        {"no time at all is refused",
         {{'2', 1, 3, true, 1, 3, true}, {'A', NAN, 0, false, 1, 3, true}}},
    };
    for (const auto& c : cases) {
        LoopMarkers markers;
        markers.setLength(10);
        for (const MarkerStep& step : c.steps) {
            const bool placed = step.marker == 'A'   ? markers.setA(step.at)
                                : step.marker == 'B' ? markers.setB(step.at)
                                                     : markers.setBoth(step.at, step.other);
            EXPECT_EQ(placed, step.placed) << c.what;
            EXPECT_EQ(markers.a(), step.a) << c.what;
            EXPECT_EQ(markers.b(), step.b) << c.what;
            EXPECT_EQ(markers.on(), step.on) << c.what;
        }
    }
}

TEST(LoopMarkers, ALoopKeptForALongerTrackIsDroppedWhenItDoesNotFit) {
    LoopMarkers markers;
    ASSERT_TRUE(markers.setBoth(20, 30));  // before the track's length is known
    markers.setLength(25);
    EXPECT_EQ(markers.b(), 25.0);
    markers.setLength(20);  // nothing of it left on the track
    EXPECT_FALSE(markers.a() || markers.b() || markers.on());
}

TEST(SpeedTrainer, StepsEachPassUntilItsTarget) {
    const struct {
        SpeedTrainer trainer;
        std::vector<double> passes;
    } cases[] = {
        {{0.6, 0.05, 1.0}, {0.6, 0.65, 0.7, 0.75, 0.8, 0.85, 0.9, 0.95, 1.0, 1.0}},
        {{0.6, 0.15, 1.0}, {0.6, 0.75, 0.9, 1.0, 1.0}},  // the last step stops at the target
        {{1.0, 0.1, 0.8}, {1.0, 0.9, 0.8, 0.8}},         // a target below the start counts down
        {{0.7, 0.2, 0.7}, {0.7, 0.7}},
    };
    for (const auto& c : cases) {
        for (size_t pass = 0; pass < c.passes.size(); ++pass) {
            EXPECT_NEAR(c.trainer.speedForPass(static_cast<int>(pass)), c.passes[pass], 1e-9)
                << c.trainer.start << " to " << c.trainer.target << ", pass " << pass;
        }
    }
}

TEST(TapTempo, FollowsTheTapsOfTheCurrentSeries) {
    using Kind = TapTempo::Kind;
    const struct {
        const char* what;
        std::vector<double> taps;
        std::optional<double> bpm;  // after the last tap
        Kind kind;
    } cases[] = {
        {"one tap", {0}, std::nullopt, Kind::First},
        {"steady 120 with jitter", {0, 0.51, 0.99, 1.50, 2.01, 2.49, 3.0, 3.5}, 120, Kind::Beat},
        {"a pause starts anew", {0, 0.5, 1.0, 3.2}, std::nullopt, Kind::First},
        {"slower than 20 BPM is a word", {0, 0.5, 1.0, 4.5}, std::nullopt, Kind::TooSlow},
        {"a long pause is a new start", {0, 0.5, 1.0, 9.0}, std::nullopt, Kind::First},
        {"a change of tempo starts anew", {0, 0.5, 1.0, 1.5, 1.75, 2.0}, 240, Kind::Beat},
        {"a smaller change is followed in two taps",
         {0, 0.5, 1.0, 1.5, 2.0, 2.4, 2.8},
         150,
         Kind::Beat},
        {"a bounce is no beat", {0, 0.5, 0.52}, std::nullopt, Kind::TooFast},
        {"and the series goes on", {0, 0.5, 0.52, 1.0}, 120, Kind::Beat},
    };
    for (const auto& c : cases) {
        TapTempo taps;
        std::optional<double> bpm;
        for (double at : c.taps) {
            bpm = taps.tap(at);
        }
        ASSERT_EQ(bpm.has_value(), c.bpm.has_value()) << c.what;
        if (bpm) {
            EXPECT_NEAR(*bpm, *c.bpm, 1.0) << c.what;
        }
        EXPECT_EQ(taps.lastKind(), c.kind) << c.what;
    }
}

// What a recording's offset from A440 says, and what plays it at A440 and tunes the tuner to it.
TEST(RecordingTuning, NamesTheOffsetAndWhatCorrectsIt) {
    const struct {
        double offset;
        const char* words;
        int semitones, cents;
        double referenceA4;
        std::optional<std::string> tuning;
    } cases[] = {
        {-28.4, "RECORDED 28 CENTS FLAT OF A440", 0, 28, 432.84, std::nullopt},
        {12.0, "RECORDED 12 CENTS SHARP OF A440", 0, -12, 443.06, std::nullopt},
        {0.3, "RECORDED AT A440", 0, 0, 440.08, std::nullopt},
        {-97.0, "ABOUT EB STANDARD", 1, -3, 440.76, "EB STANDARD"},
        {-212.0, "ABOUT D STANDARD", 2, 12, 436.96, "D STANDARD"},
        {-330.0, "RECORDED 330 CENTS FLAT OF A440", 3, 30, 432.44, std::nullopt},
    };
    for (const auto& c : cases) {
        const RecordingTuning tuning = recordingTuning(c.offset);
        EXPECT_EQ(tuning.words, c.words) << c.offset;
        EXPECT_EQ(tuning.semitones, c.semitones) << c.offset;
        EXPECT_EQ(tuning.cents, c.cents) << c.offset;
        EXPECT_NEAR(tuning.referenceA4, c.referenceA4, 0.01) << c.offset;
        EXPECT_EQ(tuning.tuning, c.tuning) << c.offset;
    }
}
