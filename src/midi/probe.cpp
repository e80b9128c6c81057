// Lists the MIDI output devices RZ77 can use and plays the six open guitar strings on one, so a
// user can check the sound on their machine:  rz77-midi-probe            (list)
//                                            rz77-midi-probe DEVICE_ID  (play)
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "midi/MIDI_CMD.h"
#include "midi/MIDI_OUT.h"
#include "midi/SystemMidi.h"

namespace {

constexpr int16_t kSteelGuitar = 25;
constexpr int16_t kOpenStrings[] = {40, 45, 50, 55, 59, 64};

class ConsoleReporter : public MessageReporter {
public:
    void show(const std::string& text) override {
        std::cerr << "RZ77: " << text << '\n';
        ++failures;
    }
    int failures = 0;
};

class PrintedList : public MidiDeviceList {
public:
    void Clear() override { m_ids.clear(); }
    void AddItem(const std::string& text) override {
        std::cout << text;
        m_ids.push_back(0);
    }
    int NewIndex() const override { return static_cast<int>(m_ids.size()) - 1; }
    void ItemData(int index, int32_t value) override {
        m_ids[index] = value;
        std::cout << "  (device " << value << ")\n";
    }
    int32_t ItemData(int index) const override { return m_ids[index]; }

private:
    std::vector<int32_t> m_ids;
};

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

int main(int argc, char** argv) {
    setenv("JACK_NO_START_SERVER", "1", 0);
    SystemMidi system;
    ConsoleReporter reporter;
    MidiOutput output(system, reporter);

    if (argc < 2) {
        PrintedList list;
        MIDI_OUT::ListMidiOutDevices(output, list);
        if (list.NewIndex() < 0) {
            std::cout << "No MIDI output devices found.\n";
        }
        return 0;
    }
    const int16_t deviceId = static_cast<int16_t>(std::atoi(argv[1]));
    if (!MIDI_OUT::OpenMidiOut(output, deviceId)) {
        return 1;
    }
    MIDI_CMD::ProgramChange(output, 0, 0, kSteelGuitar);
    for (int16_t note : kOpenStrings) {
        std::cout << "note " << note << '\n';
        MIDI_CMD::NoteOn(output, 0, note, 110);
        sleepMs(900);
    }
    sleepMs(1500);
    MIDI_CMD::AllNotesOff(output);
    MIDI_OUT::CloseMidiOut(output);
    return reporter.failures == 0 ? 0 : 1;
}
