#pragma once

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/StampedQueue.h"
#include "midi/jack/StartupReplay.h"

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

// The MIDI inputs of the running JACK server, by full port name; none without a server.
std::vector<std::string> jackMidiInputs();

// A MIDI output port of our own, connected to one JACK MIDI input. Each message goes out in the
// graph's cycle at the frame of its due time, one period later, so clicks keep their spacing to
// the frame; nothing is sent into a connection the graph does not run yet. The sounds selected in
// the first cycles go out again if the server tells of a cycle it may have lost then.
class JackMidiOutput {
public:
    using Clock = std::chrono::steady_clock;

    // Returns once the connection carries; nullptr with error set if it does not within 3 s.
    static std::unique_ptr<JackMidiOutput> open(const std::string& destination, std::string& error);
    ~JackMidiOutput();
    JackMidiOutput(const JackMidiOutput&) = delete;
    JackMidiOutput& operator=(const JackMidiOutput&) = delete;

    // One sending thread. False with error set once the server or the destination has gone.
    bool send(uint32_t message, Clock::time_point due, std::string& error);

private:
    explicit JackMidiOutput(std::string destination) : m_destination(std::move(destination)) {}
    bool connect(std::string& error);
    static int process(uint32_t frames, void* self);
    bool connectionCarries();
    static int xrunOccurred(void* self);
    static void connectionChanged(uint32_t a, uint32_t b, int connected, void* self);
    static int graphReordered(void* self);

    std::string m_destination;
    jack_client_t* m_client = nullptr;
    jack_port_t* m_port = nullptr;
    StampedQueue m_queue;  // stamped with the microsecond on JACK's clock each message is due at
    int m_cyclesConnected = 0;       // the process thread's
    StartupReplay m_startup;         // the process thread's once the connection carries
    std::atomic<int> m_reorders{0};  // times the server has sorted its graph
    std::atomic<int> m_xruns{0};     // xruns the server has told of
    std::atomic<int> m_reordersBeforeConnect{INT_MAX};
    std::atomic<bool> m_live{false};
    std::atomic<bool> m_serverGone{false};
    std::atomic<bool> m_disconnected{false};
};
