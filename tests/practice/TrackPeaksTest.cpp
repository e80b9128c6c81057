// The backing track's overview and times, from a file encoded at test time.
#include <gtest/gtest.h>

#include <cmath>

#include "MakeMp3.h"
#include "TempDir.h"
#include "practice/TrackPeaks.h"

namespace {

TEST(TrackTime, MinutesSecondsAndTenths) {
    const std::pair<double, const char*> cases[] = {
        {0, "0:00.0"},     {5.34, "0:05.3"}, {65.39, "1:05.3"}, {599.99, "9:59.9"},
        {3600, "60:00.0"}, {-1, "0:00.0"},   {NAN, "0:00.0"},   {1e308, "60000:00.0"}};
    for (const auto& [seconds, shown] : cases) {
        EXPECT_EQ(formatTrackTime(seconds), shown) << seconds;
    }
}

TEST(TrackPeaks, FollowTheTrackOverItsWholeLength) {
    TempDir dir;
    const std::string path = (dir.path() / "tone.mp3").string();
    ASSERT_TRUE(makeToneMp3(path, {{1.0, 440}, {1.0, 0}}));  // a tone, then silence
    std::atomic<bool> cancel{false};
    const TrackPeaks peaks = scanPeaks(path, cancel);
    EXPECT_NEAR(peaks.lengthSeconds(), 2.0, 0.06);
    const auto [low, high] = peaks.between(0.2, 0.8);
    EXPECT_NEAR(high, 12000 / 32768.0, 0.03);
    EXPECT_NEAR(low, -12000 / 32768.0, 0.03);
    const auto [quietLow, quietHigh] = peaks.between(1.3, 1.9);
    EXPECT_LT(std::max(-quietLow, quietHigh), 0.01);

    cancel = true;
    EXPECT_EQ(scanPeaks(path, cancel).lengthSeconds(), 0);
    cancel = false;
    EXPECT_EQ(scanPeaks((dir.path() / "none.mp3").string(), cancel).lengthSeconds(), 0);
}

// Past some minutes the stretches grow, so the peaks keep their room, and still follow the track.
TEST(TrackPeaks, ALongTrackTakesNoMoreRoom) {
    TempDir dir;
    const std::string path = (dir.path() / "long.mp3").string();
    ASSERT_TRUE(makeToneMp3(path, {{200, 440}, {200, 0}}, "-m m --resample 8 -b 8"));
    std::atomic<bool> cancel{false};
    const TrackPeaks peaks = scanPeaks(path, cancel);
    EXPECT_NEAR(peaks.lengthSeconds(), 400, 0.2);
    EXPECT_LE(peaks.low.size(), TrackPeaks::kMostBins);
    EXPECT_LT(peaks.low.size(), 0.6 * 400 / TrackPeaks::kFinestBinSeconds) << "coarser";
    EXPECT_GT(peaks.between(20, 180).second, 0.3f);
    EXPECT_LT(peaks.between(220, 380).second, 0.01f);
    EXPECT_GT(peaks.between(199.9, 200.1).second, 0.3f) << "where the tone ends";
}

}  // namespace
