#pragma once

#include <cstdint>

// Channel commands sent through MIDI_OUT. Requests with a channel outside 0..15 or a data byte
// outside 0..127 are dropped whole, so no malformed or misdirected message is ever sent.
namespace MIDI_CMD {

void NoteOn(int16_t channel, int16_t note, int16_t velocity);
void ControlChange(int16_t channel, int16_t controller, int16_t value);
// Bank select (controller 0) first, then the program change.
void ProgramChange(int16_t channel, int16_t bank, int16_t program);
// All sound off and all notes off on every channel.
void AllNotesOff();

}  // namespace MIDI_CMD
