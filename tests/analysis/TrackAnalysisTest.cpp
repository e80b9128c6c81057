#include <gtest/gtest.h>

#include <cmath>

#include "MakeMp3.h"
#include "SongMaker.h"
#include "TempDir.h"
#include "analysis/AnalysisRun.h"
#include "analysis/KeyEstimate.h"
#include "analysis/TrackDecoding.h"

namespace {

std::optional<TrackAnalysis> analyseSong(const SongRecipe& recipe, const TempDir& dir) {
    const std::string path = dir.str() + "/song.mp3";
    if (!renderSong(recipe, path))
        return std::nullopt;
    return analyseTrack([&path] { return openTrackForAnalysis(path); }, {});
}

std::vector<double> downbeatsOf(const BeatGrid& grid) {
    std::vector<double> downbeats;
    for (size_t i = size_t(grid.firstDownbeat); i < grid.beats.size();
         i += size_t(grid.beatsPerBar))
        downbeats.push_back(grid.beats[i]);
    return downbeats;
}

}  // namespace

// Loose bounds: the bench measures how close the analysis comes.
TEST(TrackAnalysisTest, FindsTheBeatBarsTuningAndKeyOfRenderedSongs) {
    if (!songFontPresent())
        GTEST_SKIP() << "no sound font at " << kSongFont;
    const SongRecipe songs[] = {
        {.name = "4/4, detuned", .bpm = 128, .detuneCents = 30, .tonic = 7, .bars = 14, .seed = 3},
        {.name = "3/4, slow",
         .bpm = 84,
         .beatsPerBar = 3,
         .tonic = 9,
         .minor = true,
         .bars = 12,
         .seed = 4},
    };
    TempDir dir;
    for (const SongRecipe& recipe : songs) {
        const auto analysis = analyseSong(recipe, dir);
        ASSERT_TRUE(analysis) << recipe.name;
        const SongTruth truth = songTruth(recipe);
        EXPECT_NEAR(analysis->beatsPerMinute, truth.bpm, 0.03 * truth.bpm) << recipe.name;
        EXPECT_GE(beatFMeasure(analysis->grid.beats, truth.beats, 0.07), 0.8) << recipe.name;
        EXPECT_EQ(analysis->grid.beatsPerBar, recipe.beatsPerBar) << recipe.name;
        EXPECT_GE(beatFMeasure(downbeatsOf(analysis->grid), truth.downbeats, 0.07), 0.7)
            << recipe.name;
        ASSERT_TRUE(analysis->tuningCents) << recipe.name;
        EXPECT_NEAR(*analysis->tuningCents, recipe.detuneCents, 5) << recipe.name;
        EXPECT_EQ(analysis->key, keyName(recipe.tonic, recipe.minor)) << recipe.name;
    }
}

TEST(TrackAnalysisTest, SaysThereIsNoBeatRatherThanInventingOne) {
    if (!songFontPresent())
        GTEST_SKIP() << "no sound font at " << kSongFont;
    const SongRecipe songs[] = {{.name = "rubato", .bpm = 60, .bars = 8, .rubato = true, .seed = 5},
                                {.name = "silence", .bpm = 60, .bars = 3, .silent = true}};
    TempDir dir;
    for (const SongRecipe& recipe : songs) {
        const auto analysis = analyseSong(recipe, dir);
        ASSERT_TRUE(analysis) << recipe.name;
        EXPECT_TRUE(analysis->grid.beats.empty()) << recipe.name;
        EXPECT_EQ(analysis->beatsPerMinute, 0) << recipe.name;
    }
    const std::string blip = dir.str() + "/blip.mp3";
    ASSERT_TRUE(makeToneMp3(blip, {{0.2, 440}, {0.3, 0}, {0.2, 440}}));
    const auto tooShort = analyseTrack([&blip] { return openTrackForAnalysis(blip); }, {});
    ASSERT_TRUE(tooShort);
    EXPECT_TRUE(tooShort->grid.beats.empty());
}

TEST(TrackAnalysisTest, StopsWhenCancelled) {
    if (!songFontPresent())
        GTEST_SKIP() << "no sound font at " << kSongFont;
    TempDir dir;
    const std::string path = dir.str() + "/song.mp3";
    ASSERT_TRUE(renderSong({.name = "short", .bars = 4}, path));
    int asked = 0;
    const AnalysisControl control{[&asked] { return ++asked > 10; }, {}};
    EXPECT_FALSE(analyseTrack([&path] { return openTrackForAnalysis(path); }, control));
    EXPECT_EQ(asked, 11);
}
