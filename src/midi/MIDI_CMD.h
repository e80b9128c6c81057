#pragma once

#include <cstdint>

#include "midi/NoteOutput.h"

class MidiOutput;

// Channel commands sent as short messages on the output given first. Requests with a channel
// outside 0..15 or a data byte outside 0..127 are dropped whole, so no malformed or misdirected
// message is ever sent.
namespace MIDI_CMD {

// Due now unless a time is given: a timer that wakes ahead of a beat stamps the beat's own time.
void NoteOn(MidiOutput& out, int16_t channel, int16_t note, int16_t velocity,
            NoteOutput::Due due = std::nullopt);
void ControlChange(MidiOutput& out, int16_t channel, int16_t controller, int16_t value);
// Bank select (controller 0) first, then the program change.
void ProgramChange(MidiOutput& out, int16_t channel, int16_t bank, int16_t program);
// All sound off and all notes off on every channel.
void AllNotesOff(MidiOutput& out);

}  // namespace MIDI_CMD
