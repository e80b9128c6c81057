// The MP3 panel with the real player: a tone encoded at test time plays through the audio engine
// into the sound server's null sink (PulseAudio, or PipeWire's), which is recorded the whole time.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <mutex>
#include <thread>

#include "MainWindowFixture.h"
#include "MakeMp3.h"
#include "PanelFakes.h"
#include "Pitch.h"
#include "Servers.h"
#include "audio/AudioEngine.h"
#include "audio/PulseAudioStream.h"
#include "mp3/Mp3Panel.h"
#include "mp3/TrackPlaybackControl.h"
#include "mp3/cMp3.h"

namespace {

constexpr int kRate = 48000;

// Records the null sink's monitor from construction to destruction; mark() tells how far the
// recording has got.
class SinkRecorder {
public:
    SinkRecorder() {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const char* argv[] = {"pacat",
                              "--record",
                              "-d",
                              "nullsink.monitor",
                              "--format=float32le",
                              "--rate=48000",
                              "--channels=1",
                              "--latency-msec=20",
                              nullptr};
        if (posix_spawnp(&m_pid, "pacat", &actions, nullptr, const_cast<char**>(argv), environ) !=
            0) {
            m_pid = 0;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        m_reader = std::thread([this, in = fds[0]] {
            std::string bytes;
            char buffer[4096];
            ssize_t got;
            while ((got = read(in, buffer, sizeof buffer)) > 0) {
                bytes.append(buffer, static_cast<size_t>(got));
                const size_t whole = bytes.size() / sizeof(float);
                std::lock_guard lock(m_mutex);
                const size_t at = m_samples.size();
                m_samples.resize(at + whole);
                std::memcpy(m_samples.data() + at, bytes.data(), whole * sizeof(float));
                bytes.erase(0, whole * sizeof(float));
            }
            close(in);
        });
    }
    ~SinkRecorder() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_reader.joinable()) {
            m_reader.join();
        }
    }
    size_t mark() {
        std::lock_guard lock(m_mutex);
        return m_samples.size();
    }
    // Root mean square level between two marks, leaving out the first settle seconds.
    double level(size_t from, size_t to, double settle = 0.3) {
        std::lock_guard lock(m_mutex);
        from = std::min(to, from + static_cast<size_t>(settle * kRate));
        double sum = 0;
        for (size_t i = from; i < to; ++i) {
            sum += double(m_samples[i]) * m_samples[i];
        }
        return to > from ? std::sqrt(sum / double(to - from)) : -1;
    }
    std::vector<float> samples(size_t from, size_t to) {
        std::lock_guard lock(m_mutex);
        return {m_samples.begin() + from, m_samples.begin() + to};
    }

private:
    pid_t m_pid = 0;
    std::thread m_reader;
    std::mutex m_mutex;
    std::vector<float> m_samples;
};

class PlaybackTest : public MainWindowFixture {
protected:
    AudioEngine engine{PulseAudioStream::opener()};
    void click(const char* name) {
        QTest::mouseClick(window->findChild<QWidget*>(name), Qt::LeftButton);
    }
};

TEST_F(PlaybackTest, PlaysPausesResumesAndStopsIntoTheSoundServer) {
    RZ77_REQUIRE_SERVER(commandSucceeds("pactl info"), "PulseAudio");
    // Two tones tell a resume from a restart: after the pause the second one must come.
    const std::string path = (dir.path() / "tone.mp3").string();
    ASSERT_TRUE(makeToneMp3(path, {{2.6, 440}, {10, 660}}));
    cMp3 tag;
    tag.LoadMp3File(path);
    tag.Album("Takes");
    tag.Artist("RZ77");
    tag.Title("Tone");
    tag.CloseMp3File();

    SinkRecorder sink;
    QTest::qWait(1800);  // an idle null sink drops its first monitor data
    writeSettings(0, -1, 0);
    frmMain& w = load();
    auto dialog = std::make_unique<ScriptedDialog>();
    dialog->answers.push_back(path);
    auto* panel = new Mp3Panel(w, std::move(dialog),
                               std::make_unique<TrackPlaybackControl>(engine, reporter));
    w.show();
    click("imgMP3open");
    EXPECT_EQ(panel->InfoText.substr(0, 25), "Takes  -  RZ77  -  Tone  ");

    const size_t played = sink.mark();
    click("imgMP3play");
    QTest::qWait(2000);
    const size_t paused = sink.mark();
    click("imgMP3pause");
    QTest::qWait(1500);
    const size_t resumed = sink.mark();
    click("imgMP3play");
    QTest::qWait(2000);
    const size_t stopped = sink.mark();
    click("imgMP3stop");
    QTest::qWait(1500);
    const size_t end = sink.mark();
    click("imgMP3play");
    QTest::qWait(1500);
    const size_t again = sink.mark();
    click("imgMP3stop");
    QTest::qWait(300);
    EXPECT_TRUE(reporter.shown.empty()) << testing::PrintToString(reporter.shown);

    EXPECT_GT(sink.level(played, paused, 0.8), 0.05) << "playing";
    EXPECT_LT(sink.level(paused, resumed), 0.001) << "paused";
    EXPECT_GT(sink.level(resumed, stopped, 0.8), 0.05) << "playing again";
    EXPECT_LT(sink.level(stopped, end), 0.001) << "stopped";
    EXPECT_GT(sink.level(end, again, 0.8), 0.05) << "playing after a stop";
    const size_t tail = kRate / 2;
    EXPECT_NEAR(estimatePitch(sink.samples(paused - tail, paused), kRate), 440, 5);
    EXPECT_NEAR(estimatePitch(sink.samples(stopped - tail, stopped), kRate), 660, 5)
        << "play after pause goes on where it paused";
    EXPECT_NEAR(estimatePitch(sink.samples(again - tail, again), kRate), 440, 5)
        << "play after stop starts from the beginning";

    // The player goes with the window, still playing.
    click("imgMP3play");
    QTest::qWait(300);
    window.reset();
}

TEST_F(PlaybackTest, AFileThatCannotBeDecodedIsReportedOnce) {
    RZ77_REQUIRE_SERVER(commandSucceeds("pactl info"), "PulseAudio");
    const std::string path = dir.write("noise.mp3", std::string(40000, '\x5A'));
    TrackPlaybackControl player(engine, reporter);
    player.setFile(path);
    player.play();
    QTest::qWait(1500);
    ASSERT_EQ(reporter.shown.size(), 1u) << testing::PrintToString(reporter.shown);
    EXPECT_NE(reporter.shown[0].find("noise.mp3"), std::string::npos) << reporter.shown[0];
    player.setFile("");
    player.play();
    QTest::qWait(300);
    EXPECT_EQ(reporter.shown.size(), 1u) << "an empty file name is no error";
}

}  // namespace
