#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "audio/BeatGrid.h"

using namespace BeatGrids;

namespace {

// 120 BPM from 0.5 s to 20 s, two beats of upbeat: bar n begins at 1.5 + 2 (n - 1) s.
BeatGrid song() {
    BeatGrid grid{{}, 4, 2};
    for (int i = 0; i < 40; ++i) {
        grid.beats.push_back(0.5 + 0.5 * i);
    }
    return grid;
}

constexpr double kNoEnd = std::numeric_limits<double>::infinity();

}  // namespace

TEST(BeatGrid, PlacesATimeOnItsBeatAndBar) {
    const struct {
        double at;
        double snapped;
        int bar;
        int beatInBar;
    } cases[] = {
        {1.74, 1.5, 1, 0},  {1.76, 2.0, 1, 0},    // the nearer beat, the beat before's bar
        {1.0, 1.0, 0, 3},   {0.2, 0.0, 0, 1},     // the upbeat, and before the first beat
        {1.497, 1.5, 1, 0}, {3.49, 3.5, 1, 3},    // just before a bar line is on it
        {3.5, 3.5, 2, 0},   {25.1, 25.0, 12, 3},  // past the last beat the grid goes on
    };
    const BeatGrid grid = song();
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(snapToBeat(grid, c.at), c.snapped) << c.at;
        EXPECT_EQ(barAt(grid, c.at), c.bar) << c.at;
        EXPECT_EQ(beatInBar(grid, beatAt(grid, c.at)), c.beatInBar) << c.at;
    }
    EXPECT_DOUBLE_EQ(beatsPerMinute(grid), 120);
}

TEST(BeatGrid, LoopsOnBarsAndMovesThemByTheirLength) {
    const BeatGrid grid = song();
    const struct {
        double at;
        int bars;
        Span loop;
    } fromBar[] = {{4.0, 4, {3.5, 11.5}}, {0.7, 1, {1.5, 3.5}}, {19.9, 2, {19.5, 23.5}}};
    for (const auto& c : fromBar) {
        const Span loop = barsFrom(grid, c.at, c.bars);
        EXPECT_DOUBLE_EQ(loop.from, c.loop.from) << c.at;
        EXPECT_DOUBLE_EQ(loop.to, c.loop.to) << c.at;
    }

    const struct {
        Span loop;
        std::optional<Bars> bars;
    } onBars[] = {{{3.5, 11.5}, Bars{2, 5}},
                  {{3.502, 5.498}, Bars{2, 2}},
                  {{3.5, 11.0}, std::nullopt},
                  {{1.0, 3.5}, std::nullopt}};  // from the upbeat
    for (const auto& c : onBars) {
        const auto bars = barsOf(grid, c.loop);
        ASSERT_EQ(bars.has_value(), c.bars.has_value()) << c.loop.from;
        if (bars) {
            EXPECT_EQ(bars->first, c.bars->first);
            EXPECT_EQ(bars->last, c.bars->last);
        }
    }

    const struct {
        Span loop;
        int direction;
        std::optional<Span> moved;
    } moves[] = {
        {{3.5, 11.5}, 1, Span{11.5, 19.5}}, {{3.5, 11.5}, -1, std::nullopt},  // before the start
        {{11.5, 19.5}, 1, std::nullopt},                                      // past the end
        {{2.0, 3.0}, 1, Span{3.0, 4.0}},    {{2.1, 2.9}, -1, Span{1.3, 2.1}},
        {{5.5, 7.5}, -1, Span{3.5, 5.5}},
    };
    for (const auto& c : moves) {
        const auto to = moved(grid, c.loop, c.direction, 20.0);
        ASSERT_EQ(to.has_value(), c.moved.has_value()) << c.loop.from << " by " << c.direction;
        if (to) {
            EXPECT_NEAR(to->from, c.moved->from, 1e-9) << c.loop.from;
            EXPECT_NEAR(to->to, c.moved->to, 1e-9) << c.loop.from;
        }
    }
}

TEST(BeatGrid, CountsInToTheNextDownbeatAtItsBarsTempo) {
    BeatGrid grid = song();
    // From bar 5 on, 150 BPM.
    for (size_t i = 19; i < grid.beats.size(); ++i) {
        grid.beats[i] = grid.beats[18] + 0.4 * static_cast<double>(i - 18);
    }
    const struct {
        double from, until;
        double downbeat, beatSeconds;
    } cases[] = {
        {0, kNoEnd, 1.5, 0.5},         {3.5, 11.5, 3.5, 0.5}, {3.497, 11.5, 3.5, 0.5},
        {4.0, 11.5, 5.5, 0.5},         {4.0, 5.0, 4.0, 0.5},  // no downbeat before the loop's end
        {9.6, kNoEnd, 9.5 + 1.6, 0.4},
    };
    for (const auto& c : cases) {
        const CountIn countIn = countInFor(grid, c.from, c.until);
        EXPECT_NEAR(countIn.downbeat, c.downbeat, 1e-9) << c.from;
        EXPECT_NEAR(countIn.beatSeconds, c.beatSeconds, 1e-9) << c.from;
        EXPECT_EQ(countIn.beats, 4);
    }
}

TEST(BeatGrid, CorrectionsKeepTheBarLinesWhereTheyBelong) {
    const BeatGrid grid{{0, 1, 2, 3, 4, 5, 6, 7}, 4, 1};
    const struct {
        const char* what;
        BeatGrid corrected;
        std::vector<double> beats;
        int firstDownbeat;
    } cases[] = {
        {"x2", doubled(grid), {0, 0.5, 1, 1.5, 2, 2.5, 3, 3.5, 4, 4.5, 5, 5.5, 6, 6.5, 7}, 2},
        {"/2", halved(grid), {1, 3, 5, 7}, 0},
        {"/2 of x2", halved(doubled(grid)), {0, 1, 2, 3, 4, 5, 6, 7}, 1},
        {"this beat is the one", withDownbeat(grid, 6), {0, 1, 2, 3, 4, 5, 6, 7}, 2},
        {"nudged earlier", nudged(grid, -0.5), {0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5}, 0},
        {"nudged later", nudged(grid, 0.25), {0.25, 1.25, 2.25, 3.25, 4.25, 5.25, 6.25, 7.25}, 1},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(c.corrected.beats.size(), c.beats.size()) << c.what;
        for (size_t i = 0; i < c.beats.size(); ++i) {
            EXPECT_DOUBLE_EQ(c.corrected.beats[i], c.beats[i]) << c.what << ", beat " << i;
        }
        EXPECT_EQ(c.corrected.firstDownbeat, c.firstDownbeat) << c.what;
        EXPECT_EQ(c.corrected.beatsPerBar, 4) << c.what;
    }
}
