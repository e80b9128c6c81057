// MIDI_OUT over the machine's real MIDI system: the built-in synthesizer through PulseAudio and
// a JACK MIDI port.
#include <gtest/gtest.h>

#include <RtMidi.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "Pitch.h"
#include "RecordingMidi.h"
#include "Servers.h"
#include "SinkRecorder.h"
#include "midi/MIDI_CMD.h"
#include "midi/MIDI_OUT.h"
#include "midi/SystemMidi.h"

namespace {

using namespace std::chrono_literals;

class SystemMidiTest : public ::testing::Test {
protected:
    void TearDown() override { MIDI_OUT::CloseMidiOut(output); }
    SystemMidi system;
    RecordingReporter reporter;
    MidiOutput output{system, reporter};
};

// The half second with the most energy.
std::vector<float> loudestHalfSecond(const std::vector<float>& s, int rate) {
    const size_t window = rate / 2;
    size_t bestStart = 0;
    double bestEnergy = -1;
    for (size_t start = 0; start + window <= s.size(); start += window / 4) {
        double energy = 0;
        for (size_t i = start; i < start + window; ++i) {
            energy += double(s[i]) * s[i];
        }
        if (energy > bestEnergy) {
            bestEnergy = energy;
            bestStart = start;
        }
    }
    return {s.begin() + bestStart, s.begin() + std::min(s.size(), bestStart + window)};
}

// Runs of at least a millisecond of digital silence: a plucked note never has one.
int dropouts(const std::vector<float>& s, int rate) {
    int count = 0, run = 0;
    for (float v : s) {
        run = std::abs(v) < 1e-6f ? run + 1 : 0;
        count += run == rate / 1000;
    }
    return count;
}

// The sound server's own account of the synthesizer's stream: its rate and latency.
std::string streamAsTheServerSeesIt() {
    std::string seen;
    FILE* pipe = popen("pactl list sink-inputs", "r");
    char line[512];
    while (fgets(line, sizeof line, pipe) != nullptr) {
        const std::string text(line);
        if (text.find("Sample Specif") != std::string::npos ||
            text.find("Latency") != std::string::npos) {
            seen += text;
        }
    }
    pclose(pipe);
    return seen;
}

TEST_F(SystemMidiTest, BuiltInSynthesizerSoundsInTheSoundServer) {
    RZ77_REQUIRE_SERVER(commandSucceeds("pactl info"), "PulseAudio");
    SinkRecorder recorder(5);
    std::this_thread::sleep_for(1800ms);  // an idle null sink drops its first monitor data

    ASSERT_TRUE(MIDI_OUT::OpenMidiOut(output, MidiMapperId))
        << testing::PrintToString(reporter.shown);
    MIDI_CMD::ProgramChange(output, 0, 0, 25);
    MIDI_CMD::NoteOn(output, 0, 45, 120);
    std::this_thread::sleep_for(500ms);
    const std::string stream = streamAsTheServerSeesIt();
    recorder.wait();
    EXPECT_TRUE(reporter.shown.empty()) << testing::PrintToString(reporter.shown);

    ASSERT_GT(recorder.samples.size(), size_t(SinkRecorder::kRate));
    const auto tone = loudestHalfSecond(recorder.samples, SinkRecorder::kRate);
    float peak = 0;
    for (float v : tone) {
        peak = std::max(peak, std::abs(v));
    }
    ASSERT_GT(peak, 0.01f) << "nothing reached the sink";
    const double pitch = estimatePitch(tone, SinkRecorder::kRate);
    const int gaps = dropouts(tone, SinkRecorder::kRate);
    EXPECT_NEAR(centsBetween(pitch, noteFrequency(45)), 0.0, 10.0)
        << pitch << " Hz with " << gaps << " dropouts; the stream:\n"
        << stream;
}

TEST_F(SystemMidiTest, SecondOpenOfTheSynthesizerIsRefused) {
    RZ77_REQUIRE_SERVER(commandSucceeds("pactl info"), "PulseAudio");
    uint32_t first = 0, second = 0;
    ASSERT_EQ(system.open(MidiMapperId, first), MidiResultCode::Ok);
    EXPECT_EQ(system.open(MidiMapperId, second), MidiResultCode::Allocated);
    EXPECT_EQ(second, 0u);
    EXPECT_EQ(system.close(first), MidiResultCode::Ok);
    EXPECT_EQ(system.sendShort(first, 0x90, MidiSystem::Clock::now()),
              MidiResultCode::InvalidHandle);
}

std::unique_ptr<RtMidiIn> jackReceiver(const std::string& portName) {
    try {
        auto in = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "rz77-test");
        in->openVirtualPort(portName);
        return in;
    } catch (const RtMidiError&) {
        return nullptr;
    }
}

std::vector<unsigned char> receive(RtMidiIn& in) {
    std::vector<unsigned char> message;
    for (int i = 0; i < 200 && message.empty(); ++i) {
        in.getMessage(&message);
        if (message.empty()) {
            std::this_thread::sleep_for(5ms);
        }
    }
    return message;
}

// The next message but the start-up's sound selections (bank select, program change) sent again:
// the port replays them by design when the server tells of an xrun or of a new graph order, as
// another client joining the server brings about.
std::vector<unsigned char> receiveBesideReplays(RtMidiIn& in) {
    auto message = receive(in);
    while (message.size() > 1 &&
           ((message[0] & 0xF0) == 0xC0 || ((message[0] & 0xF0) == 0xB0 && message[1] == 0))) {
        message = receive(in);
    }
    return message;
}

TEST_F(SystemMidiTest, JackPortDeliversEveryByteByDueTimeAndTellsWhenItsDestinationGoes) {
    auto receiver = jackReceiver("receiver");
    RZ77_REQUIRE_SERVER(receiver != nullptr, "JACK");

    RecordingList list;
    MIDI_OUT::ListMidiOutDevices(output, list);
    ASSERT_EQ(list.texts.front(), SystemMidi::kSynthName);
    int receiverIndex = -1;
    for (size_t i = 0; i < list.texts.size(); ++i) {
        if (list.texts[i].find("receiver") != std::string::npos) {
            receiverIndex = static_cast<int>(i);
        }
    }
    ASSERT_GE(receiverIndex, 0) << testing::PrintToString(list.texts);

    ASSERT_TRUE(MIDI_OUT::OpenMidiOut(output, static_cast<int16_t>(list.ItemData(receiverIndex))));
    MIDI_CMD::NoteOn(output, 2, 50, 127);
    EXPECT_EQ(receive(*receiver), (std::vector<unsigned char>{0x92, 50, 127}));
    MIDI_CMD::ProgramChange(output, 2, 0, 25);
    EXPECT_EQ(receive(*receiver), (std::vector<unsigned char>{0xB2, 0, 0}));
    EXPECT_EQ(receive(*receiver), (std::vector<unsigned char>{0xC2, 25}));

    // Each message goes at its due time; a channel's messages stay in the order posted.
    const auto now = MidiSystem::Clock::now();
    const struct {
        uint32_t message;
        std::chrono::milliseconds dueIn;
    } burst[] = {{0x403C90, 30ms}, {0x403D91, 0ms}, {0x403E90, 0ms}, {0x403F92, -20ms}};
    for (const auto& b : burst) {
        ASSERT_EQ(system.sendShort(output.handle(), b.message, now + b.dueIn), 0u);
    }
    const std::vector<unsigned char> arrivalOrder[] = {
        {0x92, 63, 64}, {0x91, 61, 64}, {0x90, 60, 64}, {0x90, 62, 64}};
    for (const auto& expected : arrivalOrder) {
        EXPECT_EQ(receiveBesideReplays(*receiver), expected);
    }
    EXPECT_TRUE(reporter.shown.empty()) << testing::PrintToString(reporter.shown);

    receiver.reset();
    for (int i = 0; i < 40 && reporter.shown.empty(); ++i) {
        MIDI_CMD::NoteOn(output, 2, 50, 127);
        std::this_thread::sleep_for(25ms);
    }
    ASSERT_EQ(reporter.shown.size(), 1u);
    EXPECT_NE(reporter.shown[0].find("has gone away"), std::string::npos) << reporter.shown[0];
}

TEST_F(SystemMidiTest, UnknownPortIsOutOfRange) {
    const int32_t count = system.deviceCount();
    uint32_t handle = 7;
    EXPECT_EQ(system.open(count, handle), MidiResultCode::BadDeviceId);
    EXPECT_EQ(handle, 0u);
    EXPECT_NE(system.errorText(MidiResultCode::BadDeviceId), system.errorText(5));
}

}  // namespace
