// The MP3 player on a silent stream: what happens to a file while it is in the player.
#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>

#include "MakeMp3.h"
#include "RecordingMidi.h"
#include "SilentSink.h"
#include "TempDir.h"
#include "mp3/TrackPlaybackControl.h"

namespace {

// Emptied or deleted while it plays: the next PLAY says what became of it.
TEST(TrackPlayback, PlayTellsOfAFileThatChangedUnderIt) {
    const struct {
        const char* what;
        void (*change)(const std::string& path);
        const char* told;
    } cases[] = {
        {"emptied", [](const std::string& p) { std::filesystem::resize_file(p, 0); }, "empty"},
        {"deleted", [](const std::string& p) { std::filesystem::remove(p); }, "no longer there"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string path = (dir.path() / "tone.mp3").string();
        ASSERT_TRUE(makeToneMp3(path, {{1.0, 440}}));
        AudioEngine engine{SilentSink::opener()};
        RecordingReporter reporter;
        TrackPlaybackControl track(engine, reporter);
        track.setFile(path);
        track.play();
        QTest::qWait(100);
        c.change(path);
        QTest::qWait(1200);  // past the end of what was read ahead
        track.play();
        ASSERT_EQ(reporter.shown.size(), 1u) << c.what;
        EXPECT_NE(reporter.shown[0].find(c.told), std::string::npos) << reporter.shown[0];
    }
}

}  // namespace
