#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "midi/MidiPorts.h"
#include "midi/MidiSystem.h"

class AudioEngine;

// The machine's real MIDI output: identifier -1 is the built-in General MIDI synthesizer,
// 0..n-1 are the system's MIDI ports in enumeration order.
class SystemMidi : public MidiSystem {
public:
    static constexpr const char* kSynthName = "Built-in synthesizer (General MIDI)";

    // The built-in synthesizer plays on the engine's stream, beside whatever else it mixes.
    explicit SystemMidi(AudioEngine& engine);
    SystemMidi();  // with an engine of its own
    ~SystemMidi() override;

    int32_t deviceCount() override;
    bool hasPort(int32_t deviceId) override;
    MidiResult deviceName(int32_t deviceId, std::string& name) override;
    MidiResult open(int32_t deviceId, uint32_t& handle) override;
    MidiResult close(uint32_t handle) override;
    MidiResult sendShort(uint32_t handle, uint32_t message, Clock::time_point due) override;
    std::string errorText(MidiResult code) override;
    Clock::duration heardAfter(uint32_t handle) override;
    void setReferencePitch(double a4) override;

    // Name of the device behind an open handle; empty when the handle is not open.
    std::string openDeviceName(uint32_t handle) const;

private:
    class Output;
    class SynthOutput;
    class PortOutput;
    class JackOutput;

    MidiResult openSynth(std::unique_ptr<Output>& output);
    MidiResult openPort(int32_t deviceId, std::unique_ptr<Output>& output);
    bool isOpen(int32_t deviceId) const;
    MidiResult driverError(const std::string& text, const std::string& advice);

    std::unique_ptr<AudioEngine> m_ownEngine;
    AudioEngine& m_engine;
    std::vector<MidiPortInfo> m_ports;
    std::map<uint32_t, std::unique_ptr<Output>> m_open;
    uint32_t m_nextHandle = 1;
    std::string m_lastDriverError;
    double m_referencePitch = 440.0;
};
