#include "setup/ComboDeviceList.h"

#include <QComboBox>

void ComboDeviceList::Clear() {
    m_box.clear();
}

// Port names come from the MIDI libraries, which speak UTF-8.
void ComboDeviceList::AddItem(const std::string& text) {
    m_box.addItem(QString::fromStdString(text));
}

int ComboDeviceList::NewIndex() const {
    return m_box.count() - 1;
}

void ComboDeviceList::ItemData(int index, int32_t value) {
    m_box.setItemData(index, value);
}

int32_t ComboDeviceList::ItemData(int index) const {
    return m_box.itemData(index).toInt();
}
