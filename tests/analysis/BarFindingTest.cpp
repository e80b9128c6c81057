#include <gtest/gtest.h>

#include <vector>

#include "analysis/BarFinding.h"

namespace {

// A value for each of `beats` beats, repeating the bar's from its one on at beat `one`.
std::vector<double> repeated(const std::vector<double>& bar, int beats, int one) {
    std::vector<double> values;
    const int n = static_cast<int>(bar.size());
    for (int i = 0; i < beats; ++i)
        values.push_back(bar[static_cast<size_t>(((i - one) % n + n) % n)]);
    return values;
}

}  // namespace

// The changes and accents of the songs in four and in two are those the analysis measured on
// track_analysis_bench's songs, as means over each beat of the bar (the song in two's over four
// beats, its cymbal on every other one).
TEST(BarFinding, TellsBarsOfTwoFromBarsOfFourByTheAccentOnTheThirdBeat) {
    const struct {
        std::vector<double> changes, accents;
        int beats, one;
        BarPlacement expected;
    } cases[] = {
        {{0.46, 0.07, 0.36, 0.07}, {574, 474, 398, 458}, 64, 0, {4, 0}},  // 4/4
        {{0.46, 0.07, 0.36, 0.07}, {574, 474, 398, 458}, 64, 3, {4, 3}},  // three beats of upbeat
        {{0.32, 0.17, 0.27, 0.15}, {529, 480, 394, 404}, 64, 1, {4, 1}},  // the tempo change
        {{0.46, 0.40, 0.52, 0.40}, {509, 498, 456, 452}, 64, 0, {2, 0}},  // the song in two
        {{0.46, 0.40, 0.52, 0.40}, {509, 498, 456, 452}, 64, 1, {2, 1}},
        {{0.40, 0.12, 0.12}, {430, 430, 430}, 63, 2, {3, 2}},  // 3/4 struck alike stays in three
        // Too few bars to tell: four.
        {{0.46, 0.40, 0.52, 0.40}, {509, 498, 456, 452}, 20, 0, {4, 2}},
    };
    for (const auto& c : cases) {
        const BarPlacement found =
            placeBars(repeated(c.changes, c.beats, c.one), repeated(c.accents, c.beats, c.one));
        EXPECT_EQ(found.beatsPerBar, c.expected.beatsPerBar) << c.changes.size() << " " << c.one;
        EXPECT_EQ(found.firstDownbeat, c.expected.firstDownbeat)
            << c.changes.size() << " " << c.one;
    }
}
