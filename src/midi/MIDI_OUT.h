#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/MessageReporter.h"
#include "midi/MidiDeviceList.h"
#include "midi/MidiSystem.h"

// The one MIDI output of the process: listing, opening and closing devices and sending short
// messages. Every failure of the MIDI system is shown through the reporter, except that a send
// failure already shown on the open device is not boxed again until a send succeeds or a device
// is opened: it goes to the failure sign instead, so a timer on a dead device never buries the
// user in boxes.
namespace MIDI_OUT {

// Handle of the open device; 0 while none is open.
extern uint32_t hMidiOut;

// Connects the module to the machine's MIDI system and the user's message box. Both must
// outlive their use; the module starts with neither.
void SetPlatform(MidiSystem* system, MessageReporter* reporter);

// Told the text of a send failure that was not boxed again, and "" once sending works.
using FailureSign = std::function<void(const std::string& text)>;
void SetFailureSign(FailureSign sign);

// Messages sent while one lives are due at the given time rather than at once: a timer that
// wakes ahead of a beat stamps the beat's note with the beat's own time.
class DueAt {
public:
    explicit DueAt(MidiSystem::Clock::time_point due);
    ~DueAt();
    DueAt(const DueAt&) = delete;
    DueAt& operator=(const DueAt&) = delete;

private:
    std::optional<MidiSystem::Clock::time_point> m_outer;
};

// While one lives, every send failure is boxed, repeated or not (the start-up's own reports).
class ReportEveryFailure {
public:
    ReportEveryFailure();
    ~ReportEveryFailure();
    ReportEveryFailure(const ReportEveryFailure&) = delete;
    ReportEveryFailure& operator=(const ReportEveryFailure&) = delete;

private:
    bool m_outer;
};

void ListMidiOutDevices(MidiDeviceList& list);
// Number of devices besides the built-in synthesizer (identifiers 0..n-1).
int32_t DeviceCount();
bool OpenMidiOut(int16_t deviceId);
void CloseMidiOut();
void ShowMidiError(MidiResult code);
void SendMidiShort(int16_t status, int16_t data1, int16_t data2);
// From a message's due time to when it is heard on the open device (0 where not known).
MidiSystem::Clock::duration HeardAfter();
// A4 for the built-in synthesizer, now and whenever it is opened; ports are not told.
void SetReferencePitch(double a4);
uint32_t PackMidiShort(int16_t status, int16_t data1, int16_t data2);

// True for a channel voice message whose bytes are all in range. Nothing else is ever sent.
bool IsSendable(int16_t status, int16_t data1, int16_t data2);

}  // namespace MIDI_OUT
