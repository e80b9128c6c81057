#pragma once

#include <cstdint>
#include <string>

// A list control that can hold MIDI devices: an entry's text is the device name and its item
// data the device identifier.
class MidiDeviceList {
public:
    virtual ~MidiDeviceList() = default;
    virtual void Clear() = 0;
    virtual void AddItem(const std::string& text) = 0;
    // Index of the entry added last.
    virtual int NewIndex() const = 0;
    virtual void ItemData(int index, int32_t value) = 0;
    virtual int32_t ItemData(int index) const = 0;
};
