#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "TakeRun.h"
#include "coach/TakeReport.h"

namespace {

using takes::Kind;

auto plucks(Kind kind) {
    return [kind](int i) { return std::pair{takes::pluck(kind, i, 3u + unsigned(i)), 0.0}; };
}

int nearTruth(const takes::Take& take, const std::vector<double>& onsets, double withinMs) {
    int found = 0;
    for (double truth : take.onsets) {
        found += std::any_of(onsets.begin(), onsets.end(), [&](double onset) {
            return std::abs(onset - truth) * 1000 <= withinMs;
        });
    }
    return found;
}

}  // namespace

// Loose bounds: the bench measures how close; these catch a detector that has lost its way.
TEST(TakeAnalysis, FindsThePlayersNotesAndNeverTheClick) {
    struct Case {
        const char* name;
        Kind kind;
        double rt60, snr;
    };
    const Case cases[] = {
        {"single notes in a room, in noise", Kind::Single, 0.3, 20},
        {"palm mutes", Kind::PalmMute, 0.3, 20},
        {"strums", Kind::Strum, 0.3, 0},
    };
    Coach::TakeAnalyser analyser(48000);
    takes::Grid grid;
    grid.muteBars = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto take = takes::make({grid, 24, 0, 15, c.rt60, c.snr, 0.4, 2}, plucks(c.kind));
        const auto heard = takes::run(analyser, take, grid);
        EXPECT_GE(nearTruth(take, heard.onsets, 3), 22);
        EXPECT_LE(heard.onsets.size(), take.onsets.size() + 1);
    }
}

TEST(TakeAnalysis, AClickAloneIsNoNoteOnceItsSoundIsLearnt) {
    Coach::TakeAnalyser analyser(48000);
    takes::Grid grid;
    auto take = takes::make({grid, 24, 0, 0, 0.3, 30, 0.4, 4}, [](int) {
        return std::pair{std::vector<float>{}, 0.0};
    });
    take.onsets.clear();
    const auto heard = takes::run(analyser, take, grid);
    EXPECT_TRUE(heard.onsets.empty()) << heard.onsets.size() << " onsets, first at "
                                      << (heard.onsets.empty() ? 0 : heard.onsets[0]);
}

TEST(TakeAnalysis, ATakePlayedLateIsReportedLateByAsMuch) {
    Coach::TakeAnalyser analyser(48000);
    takes::Grid grid;
    grid.bpm = 100;
    grid.subdivision = 1;
    for (double shift : {-10.0, 10.0}) {
        const auto take = takes::make({grid, 24, shift, 0, 0.3, 20, 0.4, 6}, plucks(Kind::Single));
        const auto parts = Coach::reportTake(takes::run(analyser, take, grid).notes);
        ASSERT_EQ(parts.size(), 1u);
        EXPECT_GE(parts[0].all.notes, 22);
        EXPECT_NEAR(parts[0].all.meanMs, shift, 2);
        EXPECT_NEAR(parts[0].bpm, 100, 0.1);
    }
}

// The metronome as the running program hears it at full level: accented, with softer eighths,
// each click between samples and wandering from where the grid has it, a note ringing under each.
TEST(TakeAnalysis, TheMetronomesOwnClicksAreNeverNotes) {
    Coach::TakeAnalyser analyser(48000);
    takes::Grid grid;
    grid.accents = true;
    takes::Recipe recipe{grid, 48, 0, 15, 0, 0, 1, 1};
    recipe.metronomeClicks = true;
    recipe.wanderMs = 2.5;
    const auto take = takes::make(recipe, plucks(Kind::Single));
    const auto heard = takes::run(analyser, take, grid);
    const auto played = static_cast<int>(take.onsets.size());
    EXPECT_GE(nearTruth(take, heard.onsets, 3), played - 3);
    int madeUp = 0;
    for (double onset : heard.onsets) {
        madeUp += std::none_of(take.onsets.begin(), take.onsets.end(),
                               [onset](double truth) { return std::abs(onset - truth) < 0.02; });
    }
    EXPECT_EQ(madeUp, 0);
}
