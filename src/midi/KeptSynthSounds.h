#pragma once

#include "midi/ChannelSounds.h"
#include "midi/MidiSystem.h"

// A hardware synthesizer keeps its channels' sounds while its port is closed and opened again;
// the built-in one is made anew at every open. Over the machine's MIDI system, this gives the
// built-in synthesizer, as it opens, the sounds last chosen on each channel on whichever device,
// so the metronome's click and the reference instrument come through Setup. Ports receive
// exactly what is sent.
class KeptSynthSounds : public MidiSystem {
public:
    explicit KeptSynthSounds(MidiSystem& system) : m_system(system) {}

    int32_t deviceCount() override { return m_system.deviceCount(); }
    bool hasPort(int32_t deviceId) override { return m_system.hasPort(deviceId); }
    MidiResult deviceName(int32_t deviceId, std::string& name) override {
        return m_system.deviceName(deviceId, name);
    }
    MidiResult open(int32_t deviceId, uint32_t& handle) override;
    MidiResult close(uint32_t handle) override { return m_system.close(handle); }
    MidiResult sendShort(uint32_t handle, uint32_t message, Clock::time_point due) override;
    std::string errorText(MidiResult code) override { return m_system.errorText(code); }
    Clock::duration heardAfter(uint32_t handle) override { return m_system.heardAfter(handle); }
    void setReferencePitch(double a4) override { m_system.setReferencePitch(a4); }

private:
    MidiSystem& m_system;
    ChannelSounds m_sounds;
};
