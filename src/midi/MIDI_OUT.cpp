#include "midi/MIDI_OUT.h"

namespace MIDI_OUT {

namespace {
void addDeviceIfNamed(MidiSystem& system, MidiDeviceList& list, int32_t deviceId) {
    std::string name;
    if (system.deviceName(deviceId, name) != MidiResultCode::Ok) {
        return;  // a device that cannot be queried is left out
    }
    list.AddItem(name);
    list.ItemData(list.NewIndex(), deviceId);
}

bool isDataByte(int16_t value) {
    return value >= 0 && value <= 127;
}
}  // namespace

void ListMidiOutDevices(MidiOutput& out, MidiDeviceList& list) {
    list.Clear();
    MidiSystem& system = out.system();
    addDeviceIfNamed(system, list, MidiMapperId);
    const int32_t count = system.deviceCount();
    for (int32_t deviceId = 0; deviceId < count; ++deviceId) {
        addDeviceIfNamed(system, list, deviceId);
    }
}

bool OpenMidiOut(MidiOutput& out, int16_t deviceId) {
    return out.open(deviceId);
}

void CloseMidiOut(MidiOutput& out) {
    out.close();
}

void ShowMidiError(MidiOutput& out, MidiResult code) {
    out.showError(code);
}

void SendMidiShort(MidiOutput& out, int16_t status, int16_t data1, int16_t data2) {
    out.sendShort(status, data1, data2);
}

uint32_t PackMidiShort(int16_t status, int16_t data1, int16_t data2) {
    return static_cast<uint32_t>(status + 256 * int32_t{data1} + 65536 * int32_t{data2});
}

bool IsSendable(int16_t status, int16_t data1, int16_t data2) {
    return status >= 0x80 && status <= 0xEF && isDataByte(data1) && isDataByte(data2);
}

}  // namespace MIDI_OUT
