#pragma once

#include "midi/MidiDeviceList.h"

class QComboBox;

// A combo box as the list of MIDI devices: entry texts are device names, item data identifiers.
class ComboDeviceList : public MidiDeviceList {
public:
    explicit ComboDeviceList(QComboBox& box) : m_box(box) {}

    void Clear() override;
    void AddItem(const std::string& text) override;
    int NewIndex() const override;
    void ItemData(int index, int32_t value) override;
    int32_t ItemData(int index) const override;

private:
    QComboBox& m_box;
};
