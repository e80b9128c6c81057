#include <gtest/gtest.h>

#include "common/BeatClock.h"

namespace {

using namespace std::chrono_literals;
using TimePoint = BeatClock::TimePoint;

// Drives a clock with timer firings at the given offsets (ms after start) and returns the
// offsets of the clicks it took.
std::vector<double> clicksFor(BeatClock clock, const std::vector<double>& firings) {
    const TimePoint start{};
    clock.start(start);
    std::vector<double> clicks;
    for (double at : firings) {
        const TimePoint now = start + std::chrono::duration_cast<TimePoint::duration>(
                                          std::chrono::duration<double, std::milli>(at));
        if (clock.takeBeat(now)) {
            const auto due = clock.nextDue() - clock.interval() - start;
            clicks.push_back(std::chrono::duration<double, std::milli>(due).count());
        }
    }
    return clicks;
}

TEST(BeatClock, GridIsTheSameWhetherTheTimerFiresLateEarlyOrOnTime) {
    const BeatClock clock(500ms);
    const std::vector<double> grid = {500, 1000, 1500, 2000};
    EXPECT_EQ(clicksFor(clock, {500, 1000, 1500, 2000}), grid);
    EXPECT_EQ(clicksFor(clock, {503, 1009, 1501.5, 2040}), grid);            // late
    EXPECT_EQ(clicksFor(clock, {499.6, 500, 999, 1000, 1500, 2000}), grid);  // early, then due
}

TEST(BeatClock, StallSkipsMissedBeatsAndStaysOnTheGrid) {
    const BeatClock clock(500ms);
    EXPECT_EQ(clicksFor(clock, {500, 1700, 2000}), (std::vector<double>{500, 1500, 2000}));
}

TEST(BeatClock, TheNextBeatStaysOnTheGridWhateverTheLateness) {
    BeatClock clock(500ms);
    const TimePoint start{};
    clock.start(start);
    EXPECT_EQ(clock.nextDue(), start + 500ms);
    EXPECT_FALSE(clock.takeBeat(start + 499500us));
    ASSERT_TRUE(clock.takeBeat(start + 507ms));
    EXPECT_EQ(clock.nextDue(), start + 1000ms);  // lateness is not carried on
}

TEST(BeatClock, TempoChangeCountsFromTheLastClick) {
    BeatClock clock(500ms);
    const TimePoint start{};
    clock.start(start);
    ASSERT_TRUE(clock.takeBeat(start + 500ms));
    for (auto interval : {300ms, 250ms, 200ms}) {  // many slider moves between two clicks
        clock.setInterval(interval);
    }
    EXPECT_EQ(clock.nextDue(), start + 700ms);
    // A shorter interval than the time already gone: the click is due at once.
    clock.setInterval(100ms);
    EXPECT_LE(clock.nextDue(), start + 650ms);
    EXPECT_TRUE(clock.takeBeat(start + 650ms));
    EXPECT_EQ(clock.nextDue(), start + 700ms);
}

TEST(BeatClock, FirstClickOneFullIntervalAfterStartEvenAfterATempoChange) {
    BeatClock clock(60000ms);
    const TimePoint start{};
    clock.start(start);
    clock.setInterval(500ms);
    EXPECT_FALSE(clock.takeBeat(start + 499ms));
    EXPECT_TRUE(clock.takeBeat(start + 500ms));
}

}  // namespace
