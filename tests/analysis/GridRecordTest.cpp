#include "analysis/GridRecord.h"

#include <gtest/gtest.h>

#include <string>

namespace {

KeptAnalysis sample() {
    KeptAnalysis kept;
    kept.analysis.grid = {{0.5213, 1.0207, 1.5199, 2.0203}, 3, 1};
    kept.analysis.beatsPerMinute = 120.125;
    kept.analysis.tuningCents = -12.3;
    kept.analysis.key = "F# minor";
    kept.corrected = BeatGrid{{0.5, 1.0, 1.5}, 4, 2};
    return kept;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

}  // namespace

TEST(GridRecordTest, ReadsBackWhatItWrote) {
    KeptAnalysis withoutExtras;
    withoutExtras.analysis.tuningCents.reset();
    for (const KeptAnalysis& kept : {sample(), withoutExtras}) {
        const ReadGridRecord read = parseGridRecord(gridRecordText(kept));
        ASSERT_TRUE(read.kept);
        EXPECT_FALSE(read.newerVersion);
        const TrackAnalysis& analysis = read.kept->analysis;
        EXPECT_EQ(analysis.grid.beats, kept.analysis.grid.beats);
        EXPECT_EQ(analysis.grid.beatsPerBar, kept.analysis.grid.beatsPerBar);
        EXPECT_EQ(analysis.grid.firstDownbeat, kept.analysis.grid.firstDownbeat);
        EXPECT_DOUBLE_EQ(analysis.beatsPerMinute, kept.analysis.beatsPerMinute);
        EXPECT_EQ(analysis.tuningCents, kept.analysis.tuningCents);
        EXPECT_EQ(analysis.key, kept.analysis.key);
        ASSERT_EQ(read.kept->corrected.has_value(), kept.corrected.has_value());
        if (kept.corrected) {
            EXPECT_EQ(read.kept->corrected->beats, kept.corrected->beats);
            EXPECT_EQ(read.kept->corrected->firstDownbeat, kept.corrected->firstDownbeat);
        }
    }
}

TEST(GridRecordTest, IgnoresWhatIsNotAWholeRecord) {
    const std::string text = gridRecordText(sample());
    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"empty", ""},
        {"another file", "[practice]\nspeed=50\n"},
        {"cut short", text.substr(0, text.size() / 2)},
        {"without its end", replaced(text, "end\n", "")},
        {"an older version", replaced(text, "rz77-grid 1", "rz77-grid 0")},
        {"fewer beats than counted", replaced(text, "grid 3 1 4", "grid 3 1 5")},
        {"beats going back", replaced(text, "1.0207", "0.3000")},
        {"a beat that is not a number", replaced(text, "1.5199", "1.5x99")},
        {"the first downbeat outside the bar", replaced(text, "grid 3 1 4", "grid 3 3 4")},
        {"no beats to a bar", replaced(text, "grid 3 1 4", "grid 0 0 4")},
        {"a tuning that is not a number", replaced(text, "tuning -12.30", "tuning flat")},
        {"a broken correction", replaced(text, "corrected 4 2 3", "corrected 4 2 x")},
    };
    for (const Case& c : cases) {
        const ReadGridRecord read = parseGridRecord(c.text);
        EXPECT_FALSE(read.kept) << c.what;
        EXPECT_FALSE(read.newerVersion) << c.what;
    }
}

TEST(GridRecordTest, TellsALaterVersionApart) {
    const ReadGridRecord read =
        parseGridRecord(replaced(gridRecordText(sample()), "rz77-grid 1", "rz77-grid 2"));
    EXPECT_FALSE(read.kept);
    EXPECT_TRUE(read.newerVersion);
}
