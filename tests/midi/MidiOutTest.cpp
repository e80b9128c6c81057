#include <gtest/gtest.h>

#include "RecordingMidi.h"
#include "midi/MIDI_CMD.h"
#include "midi/MIDI_OUT.h"

namespace {

using Bytes = std::vector<int>;

class MidiOutTest : public ::testing::Test {
protected:
    std::vector<Bytes> sentBytes() const {
        std::vector<Bytes> all;
        for (uint32_t message : midi.sent) {
            all.push_back(messageBytes(message));
        }
        return all;
    }

    RecordingMidi midi;
    RecordingReporter reporter;
    MidiOutput output{midi, reporter};
};

TEST(PackMidiShort, SumsStatusAndDataBytes) {
    struct Case {
        int16_t status, data1, data2;
        uint32_t packed;
    };
    const Case cases[] = {
        {0x90, 60, 100, 0x00643C90}, {0xCA, 127, 0, 0x00007FCA},   {0xBF, 123, 0, 0x00007BBF},
        {0x80, 0, 0, 0x00000080},    {0xEF, 127, 127, 0x007F7FEF},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MIDI_OUT::PackMidiShort(c.status, c.data1, c.data2), c.packed) << c.status;
    }
}

TEST_F(MidiOutTest, CommandsSendExactBytes) {
    ASSERT_TRUE(MIDI_OUT::OpenMidiOut(output, -1));
    MIDI_CMD::NoteOn(output, 0, 60, 100);
    MIDI_CMD::ProgramChange(output, 10, 0, 127);
    MIDI_CMD::ControlChange(output, 3, 7, 90);
    const std::vector<Bytes> expected = {
        {0x90, 0x3C, 0x64, 0}, {0xBA, 0x00, 0x00, 0}, {0xCA, 0x7F, 0x00, 0}, {0xB3, 7, 90, 0}};
    EXPECT_EQ(sentBytes(), expected);
    EXPECT_TRUE(reporter.shown.empty());
}

// The coach is told, so that the clicks it takes out of what it hears end where they were cut.
TEST_F(MidiOutTest, AllNotesOffSilencesEveryChannelInOrderThenSaysSo) {
    MIDI_OUT::OpenMidiOut(output, 0);
    std::vector<size_t> sentWhenTold;
    output.setSilencedSign(
        [&](NoteOutput::Clock::time_point) { sentWhenTold.push_back(midi.sent.size()); });
    output.allNotesOff();
    std::vector<Bytes> expected;
    for (int channel = 0; channel < 16; ++channel) {
        expected.push_back({0xB0 + channel, 120, 0, 0});
        expected.push_back({0xB0 + channel, 123, 0, 0});
    }
    EXPECT_EQ(sentBytes(), expected);
    EXPECT_EQ(sentWhenTold, std::vector<size_t>{expected.size()});
}

TEST_F(MidiOutTest, OutOfRangeRequestsSendNothing) {
    MIDI_OUT::OpenMidiOut(output, 0);
    MIDI_CMD::NoteOn(output, 0, 128, 100);
    MIDI_CMD::NoteOn(output, 0, -1, 100);
    MIDI_CMD::NoteOn(output, 0, 60, 128);
    MIDI_CMD::NoteOn(output, 16, 60, 100);  // would read as polyphonic pressure
    MIDI_CMD::NoteOn(output, -1, 60, 100);
    MIDI_CMD::ControlChange(output, 0, 200, 0);
    MIDI_CMD::ProgramChange(output, 0, 0, -1);  // no lone bank select either
    MIDI_CMD::ProgramChange(output, 0, 128, 5);
    MIDI_OUT::SendMidiShort(output, 0x40, 1, 1);
    MIDI_OUT::SendMidiShort(output, 0xF0, 1, 1);
    EXPECT_TRUE(midi.sent.empty());
    EXPECT_TRUE(reporter.shown.empty());
}

TEST_F(MidiOutTest, SendWithNoDeviceOpenReportsInvalidHandleOnceThenSigns) {
    std::vector<std::string> signs;
    output.setFailureSign([&](const std::string& text) { signs.push_back(text); });
    MIDI_CMD::NoteOn(output, 0, 60, 100);
    EXPECT_EQ(reporter.shown, std::vector<std::string>{"error 5"});
    EXPECT_EQ(output.handle(), 0u);
    MIDI_CMD::AllNotesOff(output);
    EXPECT_EQ(reporter.shown.size(), 1u);
    EXPECT_EQ(signs, std::vector<std::string>(32, "error 5"));

    // A new failure is boxed at once; a working send clears the sign.
    midi.failingSend = MidiResultCode::DriverError;
    MIDI_CMD::NoteOn(output, 0, 60, 100);
    EXPECT_EQ(reporter.shown, (std::vector<std::string>{"error 5", "error 6"}));
    ASSERT_TRUE(MIDI_OUT::OpenMidiOut(output, 0));
    EXPECT_EQ(signs.back(), "");
    output.setFailureSign({});
}

TEST_F(MidiOutTest, RepeatsAreBoxedAgainAfterASuccessOrAReopen) {
    MIDI_OUT::OpenMidiOut(output, 0);
    const auto failTwice = [&] {
        midi.openHandle = 0;  // the device went away under the open handle
        MIDI_CMD::NoteOn(output, 0, 60, 100);
        MIDI_CMD::NoteOn(output, 0, 60, 100);
    };
    failTwice();
    EXPECT_EQ(reporter.shown.size(), 1u);
    MIDI_OUT::OpenMidiOut(output, 0);
    failTwice();
    EXPECT_EQ(reporter.shown.size(), 2u);
    midi.openHandle = output.handle();
    MIDI_CMD::NoteOn(output, 0, 60, 100);
    failTwice();
    EXPECT_EQ(reporter.shown.size(), 3u);
}

TEST_F(MidiOutTest, OpenClosesTheOpenDeviceFirst) {
    MIDI_OUT::OpenMidiOut(output, 0);
    const uint32_t first = output.handle();
    EXPECT_TRUE(MIDI_OUT::OpenMidiOut(output, 1));
    EXPECT_EQ(midi.calls,
              (std::vector<std::string>{"open 0", "close " + std::to_string(first), "open 1"}));
    EXPECT_NE(output.handle(), 0u);
}

TEST_F(MidiOutTest, CloseErrorIsShownBeforeTheOpenIsTried) {
    MIDI_OUT::OpenMidiOut(output, 0);
    midi.closeResult = MidiResultCode::DriverError;
    midi.failingOpen = {1};
    midi.calls.clear();
    reporter.sharedLog = &midi.calls;
    EXPECT_FALSE(MIDI_OUT::OpenMidiOut(output, 1));
    EXPECT_EQ(midi.calls,
              (std::vector<std::string>{"close 1", "show error 6", "open 1", "show error 6"}));
    EXPECT_EQ(output.handle(), 0u);
}

TEST_F(MidiOutTest, FailedCloseStillForgetsTheHandle) {
    MIDI_OUT::OpenMidiOut(output, 0);
    midi.closeResult = MidiResultCode::DriverError;
    MIDI_OUT::CloseMidiOut(output);
    EXPECT_EQ(output.handle(), 0u);
    EXPECT_EQ(reporter.shown.size(), 1u);
    MIDI_OUT::CloseMidiOut(output);  // nothing open: no call, no message
    EXPECT_EQ(midi.calls.size(), 2u);
    EXPECT_EQ(reporter.shown.size(), 1u);
}

TEST_F(MidiOutTest, FailedOpenLeavesNoHandleAndLaterSendsReport) {
    const MidiOutput::ReportEveryFailure startUp(output);
    midi.failingOpen = {-1};
    EXPECT_FALSE(MIDI_OUT::OpenMidiOut(output, -1));
    MIDI_CMD::ProgramChange(output, 0, 0, 0);
    MIDI_CMD::ProgramChange(output, 10, 0, 127);
    EXPECT_EQ(reporter.shown,
              (std::vector<std::string>{"error 6", "error 5", "error 5", "error 5", "error 5"}));
}

struct ListCase {
    const char* name;
    int32_t devices;
    bool hasMapper;
    std::set<int32_t> unqueryable;
    std::vector<int32_t> expectedIds;
    friend void PrintTo(const ListCase& c, std::ostream* os) { *os << c.name; }
};

class ListDevices : public MidiOutTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(ListDevices, KeepsIdentifiersAndSkipsFailures) {
    const ListCase& c = GetParam();
    midi.devices = c.devices;
    midi.hasMapper = c.hasMapper;
    midi.unqueryable = c.unqueryable;
    RecordingList list;
    list.AddItem("stale entry");
    MIDI_OUT::ListMidiOutDevices(output, list);
    EXPECT_EQ(list.clears, 1);
    EXPECT_EQ(list.data, c.expectedIds);
    for (size_t i = 0; i < list.texts.size(); ++i) {
        EXPECT_EQ(list.texts[i], "Device " + std::to_string(list.data[i]));
    }
    EXPECT_TRUE(reporter.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, ListDevices,
                         ::testing::Values(ListCase{"NothingAvailable", 0, false, {}, {}},
                                           ListCase{"MapperFirst", 2, true, {}, {-1, 0, 1}},
                                           ListCase{"NoMapper", 2, false, {}, {0, 1}},
                                           ListCase{"FailingMapperQuery", 2, true, {-1}, {0, 1}},
                                           ListCase{
                                               "MiddleDeviceSkipped", 3, true, {1}, {-1, 0, 2}}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
