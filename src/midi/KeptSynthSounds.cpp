#include "midi/KeptSynthSounds.h"

MidiResult KeptSynthSounds::open(int32_t deviceId, uint32_t& handle) {
    const MidiResult result = m_system.open(deviceId, handle);
    if (result == MidiResultCode::Ok && deviceId == MidiMapperId) {
        // A failure here shows with the next message sent, as any other failing send.
        for (uint32_t message : m_sounds.restoringMessages()) {
            m_system.sendShort(handle, message, Clock::now());
        }
    }
    return result;
}

// Taken as chosen even when the device fails it: the choice is given to the next synthesizer.
MidiResult KeptSynthSounds::sendShort(uint32_t handle, uint32_t message, Clock::time_point due) {
    m_sounds.note(message);
    return m_system.sendShort(handle, message, due);
}
