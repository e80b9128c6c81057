#include "midi/jack/JackMidiOutput.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <cerrno>
#include <mutex>
#include <thread>

#include "common/LibraryLog.h"
#include "midi/ShortMessage.h"
#include "midi/jack/CyclePlacement.h"

namespace {

constexpr const char* kClientName = "RZ77";
constexpr const char* kPortName = "RZ77 out";
// A server starved of processor time can take this long to run a graph with a new connection.
constexpr auto kConnectWait = std::chrono::seconds(3);
// A new connection carries once the server has sorted its graph with it, so that the other end
// runs after us in the cycle. The first notice of a new order after the ask may be for something
// else (a client that has just gone), so the port waits some cycles more for the connection's own
// (16 cycles are 85 ms at 256 frames). A server that never tells of a new order is trusted after
// more cycles still.
constexpr int kCyclesBeforeLive = 16;
constexpr int kCyclesWithoutNewOrder = 48;
constexpr auto kActivationNotice = std::chrono::milliseconds(100);

// The library's own lines ("Cannot connect to server socket" on every machine without JACK)
// go to our log, which prints them only when asked to.
void routeJackMessages() {
    static std::once_flag routed;
    std::call_once(routed, [] {
        jack_set_error_function([](const char* text) { logLibraryMessage("JACK", text); });
        jack_set_info_function([](const char* text) { logLibraryMessage("JACK", text); });
    });
}

jack_client_t* openClient() {
    routeJackMessages();
    return jack_client_open(kClientName, JackNoStartServer, nullptr);
}

bool writeMessage(void* buffer, uint32_t offset, uint32_t message) {
    const jack_midi_data_t bytes[3] = {static_cast<jack_midi_data_t>(message),
                                       static_cast<jack_midi_data_t>(message >> 8),
                                       static_cast<jack_midi_data_t>(message >> 16)};
    return jack_midi_event_write(buffer, offset, bytes, shortMessageLength(bytes[0])) == 0;
}

}  // namespace

std::vector<std::string> jackMidiInputs() {
    std::vector<std::string> names;
    jack_client_t* client = openClient();
    if (client == nullptr) {
        return names;
    }
    const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
    for (size_t i = 0; ports != nullptr && ports[i] != nullptr; ++i) {
        names.emplace_back(ports[i]);
    }
    jack_free(ports);
    jack_client_close(client);
    return names;
}

std::unique_ptr<JackMidiOutput> JackMidiOutput::open(const std::string& destination,
                                                     std::string& error) {
    std::unique_ptr<JackMidiOutput> output(new JackMidiOutput(destination));
    if (!output->connect(error)) {
        return nullptr;
    }
    return output;
}

bool JackMidiOutput::connect(std::string& error) {
    error = "The port " + m_destination + " could not be connected.";
    if ((m_client = openClient()) == nullptr) {
        error = "The JACK server is not running, so " + m_destination + " cannot be used.";
        return false;
    }
    m_startup = StartupReplay(jack_get_sample_rate(m_client));
    m_port = jack_port_register(m_client, kPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_on_shutdown(
        m_client, [](void* self) { static_cast<JackMidiOutput*>(self)->m_serverGone = true; },
        this);
    if (m_port == nullptr || jack_set_process_callback(m_client, process, this) != 0 ||
        jack_set_port_connect_callback(m_client, connectionChanged, this) != 0 ||
        jack_set_graph_order_callback(m_client, graphReordered, this) != 0 ||
        jack_set_xrun_callback(m_client, xrunOccurred, this) != 0 || jack_activate(m_client) != 0) {
        return false;
    }
    // Activating sorts the graph as well, and that notice, late, must not pass for the
    // connection's.
    const auto activated = Clock::now() + kActivationNotice;
    while (m_reorders.load() == 0 && Clock::now() < activated) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_reordersBeforeConnect = m_reorders.load();
    const int connected = jack_connect(m_client, jack_port_name(m_port), m_destination.c_str());
    if (connected != 0 && connected != EEXIST) {
        return false;
    }
    const auto giveUp = Clock::now() + kConnectWait;
    while (!m_live && !m_serverGone && Clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return m_live;
}

JackMidiOutput::~JackMidiOutput() {
    if (m_client != nullptr) {
        jack_client_close(m_client);
    }
}

bool JackMidiOutput::send(uint32_t message, Clock::time_point due, std::string& error) {
    if (m_serverGone) {
        error = "The JACK server has stopped, so " + m_destination + " is gone.";
        return false;
    }
    if (m_disconnected) {
        error = m_destination + " has gone away or was disconnected from RZ77.";
        return false;
    }
    const auto fromNow = std::chrono::duration_cast<std::chrono::microseconds>(due - Clock::now());
    if (!m_queue.post(message, static_cast<int64_t>(jack_get_time()) + fromNow.count())) {
        error = "The JACK server has fallen behind and a message was dropped.";
        return false;
    }
    return true;
}

// The graph's real-time thread: it only reads the queue and writes the port's buffer.
int JackMidiOutput::process(jack_nframes_t frames, void* self) {
    auto& output = *static_cast<JackMidiOutput*>(self);
    void* buffer = jack_port_get_buffer(output.m_port, frames);
    jack_midi_clear_buffer(buffer);
    if (!output.connectionCarries()) {
        return 0;
    }
    const auto troubles = static_cast<uint32_t>(output.m_xruns.load(std::memory_order_relaxed)) +
                          static_cast<uint32_t>(output.m_reorders.load(std::memory_order_relaxed));
    output.m_startup.startCycle(
        frames, troubles, [buffer](uint32_t message) { return writeMessage(buffer, 0, message); });
    jack_client_t* client = output.m_client;
    placeDueMessages(
        output.m_queue, jack_last_frame_time(client), frames,
        [client, frames](int64_t usec) {
            return jack_time_to_frames(client, static_cast<jack_time_t>(usec)) + frames;
        },
        [&output, buffer](uint32_t offset, uint32_t message) {
            if (!writeMessage(buffer, offset, message)) {
                return false;
            }
            output.m_startup.placed(message);
            return true;
        });
    return 0;
}

// The process thread: true from the first cycle in which the graph runs the connection.
bool JackMidiOutput::connectionCarries() {
    if (m_live.load(std::memory_order_relaxed)) {
        return true;
    }
    m_cyclesConnected = jack_port_connected(m_port) > 0 ? m_cyclesConnected + 1 : 0;
    const bool sorted = m_reorders.load(std::memory_order_relaxed) >
                        m_reordersBeforeConnect.load(std::memory_order_relaxed);
    if (m_cyclesConnected < (sorted ? kCyclesBeforeLive : kCyclesWithoutNewOrder)) {
        return false;
    }
    m_live = true;
    return true;
}

// The notification thread.
int JackMidiOutput::xrunOccurred(void* self) {
    ++static_cast<JackMidiOutput*>(self)->m_xruns;
    return 0;
}

// The notification thread.
int JackMidiOutput::graphReordered(void* self) {
    ++static_cast<JackMidiOutput*>(self)->m_reorders;
    return 0;
}

// The notification thread. A connection of our port that ends once it has carried means the
// destination has gone (or was taken away in a patchbay): nothing sent reaches it any more.
void JackMidiOutput::connectionChanged(jack_port_id_t a, jack_port_id_t b, int connected,
                                       void* self) {
    auto& output = *static_cast<JackMidiOutput*>(self);
    if (connected == 0 && output.m_live &&
        (jack_port_by_id(output.m_client, a) == output.m_port ||
         jack_port_by_id(output.m_client, b) == output.m_port)) {
        output.m_disconnected = true;
    }
}
