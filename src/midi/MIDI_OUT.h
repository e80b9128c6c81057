#pragma once

#include <cstdint>

#include "midi/MidiDeviceList.h"
#include "midi/MidiOutput.h"

// Listing, opening and closing devices and sending short messages, on the output given first.
namespace MIDI_OUT {

void ListMidiOutDevices(MidiOutput& out, MidiDeviceList& list);
bool OpenMidiOut(MidiOutput& out, int16_t deviceId);
void CloseMidiOut(MidiOutput& out);
void ShowMidiError(MidiOutput& out, MidiResult code);
void SendMidiShort(MidiOutput& out, int16_t status, int16_t data1, int16_t data2);
uint32_t PackMidiShort(int16_t status, int16_t data1, int16_t data2);

// True for a channel voice message whose bytes are all in range. Nothing else is ever sent.
bool IsSendable(int16_t status, int16_t data1, int16_t data2);

}  // namespace MIDI_OUT
