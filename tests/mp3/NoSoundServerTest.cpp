// With no sound server the real player must say so and nothing may crash.
#include <gtest/gtest.h>

#include <QTest>
#include <cstdlib>

#include "MakeMp3.h"
#include "RecordingMidi.h"
#include "TempDir.h"
#include "audio/AudioEngine.h"
#include "audio/PulseAudioStream.h"
#include "mp3/TrackPlaybackControl.h"

namespace {

TEST(NoSoundServer, PlayerReportsAndCarriesOn) {
    TempDir dir;
    setenv("XDG_RUNTIME_DIR", dir.str().c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + (dir.path() / "none").string()).c_str(), 1);
    const std::string path = (dir.path() / "tone.mp3").string();
    ASSERT_TRUE(makeToneMp3(path, {{3, 440}}));

    RecordingReporter reporter;
    {
        AudioEngine engine{PulseAudioStream::opener()};
        TrackPlaybackControl player(engine, reporter);
        player.setFile(path);
        player.play();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !reporter.shown.empty(); }, 5000));
        player.pause();
        player.play();
        player.stop();
        player.setFile("");
        QTest::qWait(200);
    }
    ASSERT_FALSE(reporter.shown.empty());
    EXPECT_NE(reporter.shown[0].find("tone.mp3"), std::string::npos) << reporter.shown[0];
    EXPECT_NE(reporter.shown[0].find("sound server"), std::string::npos) << reporter.shown[0];
}

}  // namespace
