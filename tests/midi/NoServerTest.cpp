// With no sound server and no JACK server the real MIDI system must fail fast and say why.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "RecordingMidi.h"
#include "midi/MIDI_OUT.h"
#include "midi/SystemMidi.h"

namespace {

TEST(NoServer, BuiltInSynthesizerFailsQuicklyWithAdvice) {
    const auto empty = std::filesystem::temp_directory_path() / "rz77-no-server";
    std::filesystem::create_directories(empty);
    setenv("XDG_RUNTIME_DIR", empty.c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + (empty / "none").string()).c_str(), 1);
    setenv("JACK_DEFAULT_SERVER", "rz77-no-such-server", 1);
    setenv("JACK_NO_START_SERVER", "1", 1);

    SystemMidi system;
    RecordingReporter reporter;
    MidiOutput output(system, reporter);
    const auto start = std::chrono::steady_clock::now();
    RecordingList list;
    MIDI_OUT::ListMidiOutDevices(output, list);
    const bool opened = MIDI_OUT::OpenMidiOut(output, MidiMapperId);
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_FALSE(opened);
    EXPECT_EQ(output.handle(), 0u);
    EXPECT_LT(elapsed, std::chrono::seconds(1));
    ASSERT_EQ(reporter.shown.size(), 1u);
    EXPECT_NE(reporter.shown[0].find("sound server"), std::string::npos) << reporter.shown[0];
    EXPECT_NE(reporter.shown[0].find("pulseaudio"), std::string::npos) << reporter.shown[0];
    EXPECT_EQ(list.data, std::vector<int32_t>{MidiMapperId});
}

}  // namespace
