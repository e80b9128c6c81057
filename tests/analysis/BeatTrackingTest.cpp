#include "analysis/BeatTracking.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/MonoSource.h"

namespace {

constexpr double kStepsPerSecond = double(kAnalysisRate) / OnsetCurve::kOnsetStep;

// A hit every beat and a softer one between, at the given tempo, for the given minutes.
std::vector<double> pulses(double bpm, double minutes) {
    std::vector<double> onsets(static_cast<size_t>(minutes * 60 * kStepsPerSecond), 0.0);
    const double period = 60 / bpm * kStepsPerSecond;
    for (size_t half = 0;; ++half) {
        const auto at = static_cast<size_t>(std::lround(100 + double(half) * period / 2));
        if (at >= onsets.size())
            break;
        onsets[at] = half % 2 == 0 ? 10 : 4;
    }
    return onsets;
}

}  // namespace

// Long tracks are tracked ten minutes at a time: no beat may be doubled or dropped where the
// stretches meet.
TEST(BeatTrackingTest, KeepsEveryBeatThroughALongTrack) {
    struct Case {
        double bpm;
        double minutes;
    };
    for (const Case c : {Case{120, 25}, Case{97, 21}, Case{174, 12}}) {
        const auto tracked = trackBeats(pulses(c.bpm, c.minutes), {});
        ASSERT_TRUE(tracked);
        const double period = 60 / c.bpm * kStepsPerSecond;
        ASSERT_GT(tracked->steps.size(), 2u) << c.bpm;
        double worst = 0;
        for (size_t i = 1; i < tracked->steps.size(); ++i)
            worst = std::max(worst, std::fabs(tracked->steps[i] - tracked->steps[i - 1] - period));
        EXPECT_LT(worst, 2.0) << c.bpm << " BPM: an interval off by " << worst << " steps";
        EXPECT_NEAR(double(tracked->steps.size()), c.minutes * c.bpm, 3) << c.bpm;
        EXPECT_GT(tracked->clarity, kLeastPulseClarity) << c.bpm;
    }
}

TEST(BeatTrackingTest, StopsWhenCancelled) {
    EXPECT_FALSE(trackBeats(pulses(120, 25), [] { return true; }));
}
