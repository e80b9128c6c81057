#include "midi/MIDI_CMD.h"

#include "midi/MIDI_OUT.h"
#include "midi/MidiOutput.h"

namespace MIDI_CMD {
namespace {
constexpr int16_t kNoteOn = 0x90;
constexpr int16_t kControlChange = 0xB0;
constexpr int16_t kProgramChange = 0xC0;
constexpr int16_t kBankSelect = 0;
constexpr int16_t kAllSoundOff = 120;
constexpr int16_t kAllNotesOff = 123;

// A channel beyond 15 would turn the status byte into another kind of message.
bool isChannel(int16_t channel) {
    return channel >= 0 && channel <= 15;
}
}  // namespace

void NoteOn(MidiOutput& out, int16_t channel, int16_t note, int16_t velocity, NoteOutput::Due due) {
    if (isChannel(channel)) {
        out.sendShort(kNoteOn + channel, note, velocity, due);
    }
}

void ControlChange(MidiOutput& out, int16_t channel, int16_t controller, int16_t value) {
    if (isChannel(channel)) {
        MIDI_OUT::SendMidiShort(out, kControlChange + channel, controller, value);
    }
}

void ProgramChange(MidiOutput& out, int16_t channel, int16_t bank, int16_t program) {
    // Checked as a whole so that a bad program never leaves a lone bank select behind.
    if (!isChannel(channel) || !MIDI_OUT::IsSendable(kControlChange + channel, kBankSelect, bank) ||
        !MIDI_OUT::IsSendable(kProgramChange + channel, program, 0)) {
        return;
    }
    ControlChange(out, channel, kBankSelect, bank);
    MIDI_OUT::SendMidiShort(out, kProgramChange + channel, program, 0);
}

void AllNotesOff(MidiOutput& out) {
    for (int16_t channel = 0; channel < 16; ++channel) {
        ControlChange(out, channel, kAllSoundOff, 0);
        ControlChange(out, channel, kAllNotesOff, 0);
    }
}

}  // namespace MIDI_CMD
