#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class RtMidiOut;

// The system's MIDI output ports: those of the ALSA sequencer, then the MIDI inputs of a
// running JACK server. A missing subsystem simply contributes no ports.
struct MidiPortInfo {
    enum class Backend { Alsa, Jack };
    Backend backend = Backend::Alsa;
    unsigned index = 0;  // the ALSA sequencer's numbering
    std::string name;
};

// The ALSA sequencer's ports, then the JACK server's.
std::vector<MidiPortInfo> enumerateMidiPorts();
std::vector<MidiPortInfo> enumerateAlsaPorts();
void addJackPorts(std::vector<MidiPortInfo>& ports);

// One opened port of the ALSA sequencer.
class MidiPortConnection {
public:
    ~MidiPortConnection();
    // Returns nullptr with error set when the port cannot be opened.
    static std::unique_ptr<MidiPortConnection> open(const MidiPortInfo& port, std::string& error);
    // Sends the bytes of a packed short message; false with error set on failure.
    bool send(uint32_t message, std::string& error);

private:
    explicit MidiPortConnection(std::unique_ptr<RtMidiOut> out);

    std::unique_ptr<RtMidiOut> m_out;
    std::string m_lastError;
};
