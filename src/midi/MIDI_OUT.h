#pragma once

#include <cstdint>

#include "MessageReporter.h"
#include "MidiDeviceList.h"
#include "MidiSystem.h"

// The one MIDI output of the process: listing, opening and closing devices and sending short
// messages. Every failure of the MIDI system is shown through the reporter.
namespace MIDI_OUT {

// Handle of the open device; 0 while none is open.
extern uint32_t hMidiOut;

// Connects the module to the machine's MIDI system and the user's message box. Both must
// outlive their use; the module starts with neither.
void SetPlatform(MidiSystem* system, MessageReporter* reporter);

void ListMidiOutDevices(MidiDeviceList& list);
// Number of devices besides the built-in synthesizer (identifiers 0..n-1).
int32_t DeviceCount();
bool OpenMidiOut(int16_t deviceId);
void CloseMidiOut();
void ShowMidiError(MidiResult code);
void SendMidiShort(int16_t status, int16_t data1, int16_t data2);
uint32_t PackMidiShort(int16_t status, int16_t data1, int16_t data2);

// True for a channel voice message whose bytes are all in range. Nothing else is ever sent.
bool IsSendable(int16_t status, int16_t data1, int16_t data2);

}  // namespace MIDI_OUT
