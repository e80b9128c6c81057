#include "analysis/TrackAnalyzer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "MakeMp3.h"
#include "TempDir.h"
#include "analysis/GridRecord.h"
#include "common/TrackKey.h"

namespace {

std::optional<TrackAnalysis> waitForResult(const TrackAnalyzer& analyzer) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!analyzer.result() && analyzer.error().empty() &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return analyzer.result();
}

std::string readFile(const std::filesystem::path& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

class TrackAnalyzerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A 440 Hz tone 20 cents sharp: a tuning, no beat.
        m_track = m_dir.str() + "/tone.mp3";
        ASSERT_TRUE(makeToneMp3(m_track, {{6, 440 * std::exp2(20 / 1200.0)}}));
        m_record = m_dir.path() / "tracks" / (*trackKey(m_track) + ".grid");
    }

    TempDir m_dir;
    std::string m_track;
    std::filesystem::path m_record;
    std::string m_keptDir = m_dir.str() + "/tracks";
};

}  // namespace

TEST_F(TrackAnalyzerTest, KeepsTheAnalysisAndTheCorrectionsForTheNextOpening) {
    BeatGrid corrected{{1.0, 2.0, 3.0}, 3, 1};
    {
        TrackAnalyzer analyzer(m_keptDir);
        analyzer.analyse(m_track);
        const auto analysis = waitForResult(analyzer);
        ASSERT_TRUE(analysis) << analyzer.error();
        EXPECT_DOUBLE_EQ(analyzer.progress(), 1.0);
        EXPECT_TRUE(analysis->grid.beats.empty());
        ASSERT_TRUE(analysis->tuningCents);
        EXPECT_NEAR(*analysis->tuningCents, 20, 3);
        analyzer.keepCorrected(corrected);
    }
    TrackAnalyzer analyzer(m_keptDir);
    analyzer.analyse(m_track);
    const auto again = analyzer.result();  // at once, without waiting
    ASSERT_TRUE(again);
    EXPECT_EQ(again->grid.beats, corrected.beats);
    EXPECT_EQ(again->grid.beatsPerBar, 3);
    EXPECT_EQ(again->grid.firstDownbeat, 1);
    EXPECT_NEAR(*again->tuningCents, 20, 3);
}

TEST_F(TrackAnalyzerTest, RedoesACorruptRecordAndLeavesALaterVersionsAlone) {
    std::filesystem::create_directories(m_record.parent_path());
    struct Case {
        const char* what;
        std::string record;
        bool replaced;
    };
    const Case cases[] = {{"corrupt", "rz77-grid 1\ntempo 1", true},
                          {"later version", "rz77-grid 9\nwhatever it keeps\n", false}};
    for (const Case& c : cases) {
        std::ofstream(m_record) << c.record;
        TrackAnalyzer analyzer(m_keptDir);
        analyzer.analyse(m_track);
        EXPECT_FALSE(analyzer.result()) << c.what;
        ASSERT_TRUE(waitForResult(analyzer)) << c.what << ": " << analyzer.error();
        const std::string record = readFile(m_record);
        EXPECT_EQ(record != c.record, c.replaced) << c.what;
        if (c.replaced) {
            EXPECT_TRUE(parseGridRecord(record).kept) << c.what;
        }
    }
}

TEST_F(TrackAnalyzerTest, ANewTrackCancelsTheOneBefore) {
    // Long enough that its analysis is still running when the next track comes.
    const std::string first = m_dir.str() + "/long.mp3";
    ASSERT_TRUE(makeToneMp3(first, {{120, 330}}));
    TrackAnalyzer analyzer(m_keptDir);
    analyzer.analyse(first);
    analyzer.analyse(m_track);
    ASSERT_TRUE(waitForResult(analyzer)) << analyzer.error();
    EXPECT_NEAR(*analyzer.result()->tuningCents, 20, 3);
    EXPECT_TRUE(std::filesystem::exists(m_record));
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "tracks" / (*trackKey(first) + ".grid")));

    analyzer.analyse(m_dir.str() + "/missing.mp3");
    EXPECT_FALSE(analyzer.result());
    EXPECT_FALSE(analyzer.error().empty());
}
