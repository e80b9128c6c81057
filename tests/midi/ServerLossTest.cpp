// A sound server or JACK server that goes away under a playing device: the user is told once,
// with what to check, and further notes only light the failure sign.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include <RtMidi.h>

#include "RecordingMidi.h"
#include "Servers.h"
#include "TempDir.h"
#include "midi/MIDI_CMD.h"
#include "midi/MIDI_OUT.h"
#include "midi/SystemMidi.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

// A server of the test's own (PulseAudio or JACK), so that killing it disturbs no other test.
class PrivateServer {
public:
    // stopSignal: how the test takes it away.
    PrivateServer(std::vector<const char*> argv, std::string readyCommand, int stopSignal)
        : m_ready(std::move(readyCommand)), m_stopSignal(stopSignal) {
        argv.push_back(nullptr);
        if (posix_spawnp(&m_pid, argv[0], nullptr, nullptr, const_cast<char**>(argv.data()),
                         environ) != 0) {
            m_pid = 0;
        }
        for (int i = 0; i < 100 && !running(); ++i) {
            std::this_thread::sleep_for(50ms);
        }
    }
    ~PrivateServer() { kill(); }
    bool running() const { return m_pid != 0 && commandSucceeds(m_ready); }
    void kill() {
        if (m_pid != 0) {
            ::kill(m_pid, m_stopSignal);
            waitpid(m_pid, nullptr, 0);
            m_pid = 0;
        }
    }

private:
    std::string m_ready;
    int m_stopSignal;
    pid_t m_pid = 0;
};

struct Reports {
    RecordingReporter reporter;
    std::vector<std::string> signs;
};

// Sends a note every 50 ms, as a metronome does, until the sign has been lit three times.
void keepSending(MidiOutput& output, Reports& reports) {
    const auto until = std::chrono::steady_clock::now() + 3s;
    while (std::chrono::steady_clock::now() < until && reports.signs.size() < 3) {
        MIDI_CMD::NoteOn(output, 10, 127, 100);
        std::this_thread::sleep_for(50ms);
    }
}

class ServerLoss : public ::testing::Test {
protected:
    void SetUp() override {
        output.setFailureSign([this](const std::string& text) { reports.signs.push_back(text); });
    }
    void TearDown() override { MIDI_OUT::CloseMidiOut(output); }
    // One box saying what to check, then only the sign.
    void expectToldOnce(const std::string& advice) {
        const auto& shown = reports.reporter.shown;
        ASSERT_EQ(shown.size(), 1u) << testing::PrintToString(shown);
        EXPECT_NE(shown[0].find(advice), std::string::npos) << shown[0];
        ASSERT_GE(reports.signs.size(), 3u);
        EXPECT_EQ(reports.signs.back(), shown[0]);
    }

    SystemMidi system;
    Reports reports;
    MidiOutput output{system, reports.reporter};
};

TEST_F(ServerLoss, TheUserIsToldOnceWhenTheSoundServerGoesAway) {
    TempDir runtime;
    std::filesystem::permissions(runtime.path(), std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", runtime.str().c_str(), 1);
    unsetenv("PULSE_SERVER");
    PrivateServer server(
        {"pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--use-pid-file=no",
         "--load=module-native-protocol-unix auth-anonymous=1",
         "--load=module-null-sink sink_name=lossy"},
        "pactl info", SIGKILL);
    RZ77_REQUIRE_SERVER(server.running(), "A private PulseAudio");

    ASSERT_TRUE(MIDI_OUT::OpenMidiOut(output, MidiMapperId))
        << testing::PrintToString(reports.reporter.shown);
    MIDI_CMD::NoteOn(output, 0, 45, 100);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(reports.reporter.shown.empty());
    server.kill();
    keepSending(output, reports);
    expectToldOnce("sound server");
}

TEST_F(ServerLoss, TheUserIsToldOnceWhenTheJackServerGoesAway) {
    const std::string name = "rz77-loss-" + std::to_string(getpid());
    setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    PrivateServer server(
        {"jackd", "--no-realtime", "-n", name.c_str(), "-d", "dummy", "-r", "48000", "-p", "256"},
        // A killed JACK server would stay in the machine's registry of servers, which holds
        // only a few: it is stopped instead, as a desktop session stops it.
        "jack_lsp", SIGTERM);
    RZ77_REQUIRE_SERVER(server.running(), "A private JACK server");
    RtMidiIn receiver(RtMidi::UNIX_JACK, "rz77-loss");
    receiver.openVirtualPort("receiver");

    const int32_t count = system.deviceCount();
    int16_t device = -1;
    for (int32_t id = 0; id < count; ++id) {
        std::string port;
        if (system.deviceName(id, port) == MidiResultCode::Ok &&
            port.find("receiver") != std::string::npos) {
            device = static_cast<int16_t>(id);
        }
    }
    ASSERT_GE(device, 0);
    ASSERT_TRUE(MIDI_OUT::OpenMidiOut(output, device))
        << testing::PrintToString(reports.reporter.shown);
    MIDI_CMD::NoteOn(output, 0, 45, 100);
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(reports.reporter.shown.empty());
    server.kill();
    keepSending(output, reports);
    expectToldOnce("JACK server");
    // A client of a dead server must not hold up the exit.
    const auto closing = std::chrono::steady_clock::now();
    MIDI_OUT::CloseMidiOut(output);
    const auto took = std::chrono::duration<double>(std::chrono::steady_clock::now() - closing);
    std::printf("closing the port of a dead JACK server took %.3f s\n", took.count());
    EXPECT_LT(took.count(), 0.3);
}

}  // namespace
