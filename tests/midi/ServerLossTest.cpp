// A sound server that goes away under the built-in synthesizer: the user is told once, with
// what to check, and further notes only light the failure sign.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "MIDI_CMD.h"
#include "MIDI_OUT.h"
#include "RecordingMidi.h"
#include "Servers.h"
#include "SystemMidi.h"
#include "TempDir.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

// A PulseAudio server of the test's own, in a private runtime folder.
class PrivateSoundServer {
public:
    explicit PrivateSoundServer(const TempDir& runtime) {
        setenv("XDG_RUNTIME_DIR", runtime.str().c_str(), 1);
        unsetenv("PULSE_SERVER");
        const char* argv[] = {"pulseaudio",
                              "--daemonize=no",
                              "--exit-idle-time=-1",
                              "-n",
                              "--use-pid-file=no",
                              "--load=module-native-protocol-unix auth-anonymous=1",
                              "--load=module-null-sink sink_name=lossy",
                              nullptr};
        if (posix_spawnp(&m_pid, "pulseaudio", nullptr, nullptr, const_cast<char**>(argv),
                         environ) != 0) {
            m_pid = 0;
        }
        for (int i = 0; i < 100 && !commandSucceeds("pactl info"); ++i) {
            std::this_thread::sleep_for(50ms);
        }
    }
    ~PrivateSoundServer() { kill(); }
    bool running() const { return m_pid != 0 && commandSucceeds("pactl info"); }
    void kill() {
        if (m_pid != 0) {
            ::kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            m_pid = 0;
        }
    }

private:
    pid_t m_pid = 0;
};

TEST(ServerLoss, TheUserIsToldOnceWhenTheSoundServerGoesAway) {
    TempDir runtime;
    std::filesystem::permissions(runtime.path(), std::filesystem::perms::owner_all);
    PrivateSoundServer server(runtime);
    RZ77_REQUIRE_SERVER(server.running(), "A private PulseAudio");

    SystemMidi system;
    RecordingReporter reporter;
    std::vector<std::string> signs;
    MIDI_OUT::SetPlatform(&system, &reporter);
    MIDI_OUT::SetFailureSign([&](const std::string& text) { signs.push_back(text); });
    ASSERT_TRUE(MIDI_OUT::OpenMidiOut(MidiMapperId)) << testing::PrintToString(reporter.shown);
    MIDI_CMD::NoteOn(0, 45, 100);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(reporter.shown.empty()) << testing::PrintToString(reporter.shown);

    server.kill();
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (std::chrono::steady_clock::now() < until && signs.size() < 3) {
        MIDI_CMD::NoteOn(10, 127, 100);  // a metronome going on
        std::this_thread::sleep_for(50ms);
    }
    MIDI_OUT::CloseMidiOut();
    MIDI_OUT::SetFailureSign({});
    MIDI_OUT::SetPlatform(nullptr, nullptr);

    ASSERT_EQ(reporter.shown.size(), 1u) << testing::PrintToString(reporter.shown);
    EXPECT_NE(reporter.shown[0].find("sound server"), std::string::npos) << reporter.shown[0];
    ASSERT_GE(signs.size(), 3u);
    EXPECT_EQ(signs.back(), reporter.shown[0]);
}

}  // namespace
