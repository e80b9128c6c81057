#include "MIDI_OUT.h"

namespace MIDI_OUT {

uint32_t hMidiOut = 0;

namespace {
MidiSystem* g_system = nullptr;
MessageReporter* g_reporter = nullptr;

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

void SetPlatform(MidiSystem* system, MessageReporter* reporter) {
    g_system = system;
    g_reporter = reporter;
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
    const MidiResult result = g_system->sendShort(hMidiOut, PackMidiShort(status, data1, data2));
    if (result != MidiResultCode::Ok) {
        ShowMidiError(result);
    }
}

uint32_t PackMidiShort(int16_t status, int16_t data1, int16_t data2) {
    return static_cast<uint32_t>(status + 256 * int32_t{data1} + 65536 * int32_t{data2});
}

bool IsSendable(int16_t status, int16_t data1, int16_t data2) {
    return status >= 0x80 && status <= 0xEF && isDataByte(data1) && isDataByte(data2);
}

}  // namespace MIDI_OUT
