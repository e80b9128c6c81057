#include "midi/MIDI_OUT.h"

namespace MIDI_OUT {

uint32_t hMidiOut = 0;

namespace {
MidiSystem* g_system = nullptr;
MessageReporter* g_reporter = nullptr;
FailureSign g_sign;
std::optional<MidiSystem::Clock::time_point> g_due;
bool g_reportEveryFailure = false;
// The send failure shown in a box since the last open or successful send.
std::optional<std::string> g_shownSendFailure;

void showSign(const std::string& text) {
    if (g_sign) {
        g_sign(text);
    }
}

// A successful send or a new open ends the damping, and with it the sign.
void forgetSendFailure() {
    if (g_shownSendFailure) {
        g_shownSendFailure.reset();
        showSign({});
    }
}

void reportSendFailure(MidiResult code) {
    const std::string text = g_system->errorText(code);
    if (g_shownSendFailure == text && !g_reportEveryFailure) {
        showSign(text);
        return;
    }
    g_shownSendFailure = text;
    g_reporter->show(text);
}

void addDeviceIfNamed(MidiDeviceList& list, int32_t deviceId) {
    std::string name;
    if (g_system->deviceName(deviceId, name) != MidiResultCode::Ok) {
        return;  // a device that cannot be queried is left out
    }
    list.AddItem(name);
    list.ItemData(list.NewIndex(), deviceId);
}

bool isDataByte(int16_t value) {
    return value >= 0 && value <= 127;
}
}  // namespace

MidiSystem::Clock::duration HeardAfter() {
    return g_system != nullptr && hMidiOut != 0 ? g_system->heardAfter(hMidiOut)
                                                : MidiSystem::Clock::duration{};
}

void SetReferencePitch(double a4) {
    if (g_system != nullptr) {
        g_system->setReferencePitch(a4);
    }
}

void SetPlatform(MidiSystem* system, MessageReporter* reporter) {
    g_system = system;
    g_reporter = reporter;
    g_shownSendFailure.reset();
}

void SetFailureSign(FailureSign sign) {
    g_sign = std::move(sign);
}

DueAt::DueAt(MidiSystem::Clock::time_point due) : m_outer(g_due) {
    g_due = due;
}

DueAt::~DueAt() {
    g_due = m_outer;
}

ReportEveryFailure::ReportEveryFailure() : m_outer(g_reportEveryFailure) {
    g_reportEveryFailure = true;
}

ReportEveryFailure::~ReportEveryFailure() {
    g_reportEveryFailure = m_outer;
}

void ListMidiOutDevices(MidiDeviceList& list) {
    list.Clear();
    addDeviceIfNamed(list, MidiMapperId);
    const int32_t count = g_system->deviceCount();
    for (int32_t deviceId = 0; deviceId < count; ++deviceId) {
        addDeviceIfNamed(list, deviceId);
    }
}

int32_t DeviceCount() {
    return g_system->deviceCount();
}

bool OpenMidiOut(int16_t deviceId) {
    CloseMidiOut();
    forgetSendFailure();
    const MidiResult result = g_system->open(deviceId, hMidiOut);
    if (result != MidiResultCode::Ok) {
        ShowMidiError(result);
    }
    return hMidiOut != 0;
}

void CloseMidiOut() {
    if (hMidiOut == 0) {
        return;
    }
    const MidiResult result = g_system->close(hMidiOut);
    if (result != MidiResultCode::Ok) {
        ShowMidiError(result);
    }
    hMidiOut = 0;
}

void ShowMidiError(MidiResult code) {
    g_reporter->show(g_system->errorText(code));
}

void SendMidiShort(int16_t status, int16_t data1, int16_t data2) {
    if (!IsSendable(status, data1, data2)) {
        return;
    }
    const auto due = g_due.value_or(MidiSystem::Clock::now());
    const MidiResult result =
        g_system->sendShort(hMidiOut, PackMidiShort(status, data1, data2), due);
    if (result == MidiResultCode::Ok) {
        forgetSendFailure();
    } else {
        reportSendFailure(result);
    }
}

uint32_t PackMidiShort(int16_t status, int16_t data1, int16_t data2) {
    return static_cast<uint32_t>(status + 256 * int32_t{data1} + 65536 * int32_t{data2});
}

bool IsSendable(int16_t status, int16_t data1, int16_t data2) {
    return status >= 0x80 && status <= 0xEF && isDataByte(data1) && isDataByte(data2);
}

}  // namespace MIDI_OUT
