#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class RtMidiOut;
typedef struct _jack_client jack_client_t;

// The system's MIDI output ports: those of the ALSA sequencer, then those of a running JACK
// server. A missing subsystem simply contributes no ports.
struct MidiPortInfo {
    int api = 0;  // RtMidi::Api
    unsigned index = 0;
    std::string name;
};

std::vector<MidiPortInfo> enumerateMidiPorts();

// One opened port.
class MidiPortConnection {
public:
    ~MidiPortConnection();
    // Returns nullptr with error set when the port cannot be opened.
    static std::unique_ptr<MidiPortConnection> open(const MidiPortInfo& port, std::string& error);
    // Sends the bytes of a packed short message; false with error set on failure.
    bool send(uint32_t message, std::string& error);
    const MidiPortInfo& port() const { return m_port; }

private:
    struct JackClientCloser {
        void operator()(jack_client_t* client) const;
    };

    MidiPortConnection(std::unique_ptr<RtMidiOut> out, MidiPortInfo port);
    bool watchJackConnection(std::string& error);
    bool jackServerGone(std::string& error) const;

    std::unique_ptr<RtMidiOut> m_out;
    MidiPortInfo m_port;
    std::string m_lastError;
    // A JACK port is watched by a client of our own: RtMidi goes on writing into a port whose
    // server has stopped, and never says so.
    std::unique_ptr<jack_client_t, JackClientCloser> m_jackWatcher;
    std::atomic<bool> m_jackServerGone{false};
    std::atomic<uint64_t> m_watcherCycles{0};
};
