#include "MidiPorts.h"

#include <RtMidi.h>
#include <jack/jack.h>

#include <chrono>
#include <thread>

namespace {

constexpr const char* kClientName = "RZ77";
constexpr const char* kPortName = "RZ77 out";
// How many cycles of the server's graph must pass once the connection is in it.
constexpr uint64_t kCyclesAfterConnection = 3;
// A server starved of processor time can take this long to run a graph with a new connection.
constexpr auto kGraphWait = std::chrono::seconds(3);

// Constructing an API that the machine lacks throws (no /dev/snd/seq, for instance).
std::unique_ptr<RtMidiOut> makeOut(RtMidi::Api api, std::string& error) {
    try {
        return std::make_unique<RtMidiOut>(api, kClientName);
    } catch (const RtMidiError& e) {
        error = e.getMessage();
        return nullptr;
    }
}

void appendPorts(RtMidi::Api api, std::vector<MidiPortInfo>& ports) {
    std::string ignored;
    auto out = makeOut(api, ignored);
    if (!out) {
        return;
    }
    const unsigned count = out->getPortCount();
    for (unsigned index = 0; index < count; ++index) {
        ports.push_back({api, index, out->getPortName(index)});
    }
}

// Keeps errors for the caller to report; warnings are only worth RtMidi's own stderr line.
void recordError(RtMidiError::Type type, const std::string& text, void* lastError) {
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING) {
        *static_cast<std::string*>(lastError) = text;
    }
}

size_t shortMessageLength(uint8_t status) {
    const uint8_t type = status & 0xF0;
    return (type == 0xC0 || type == 0xD0) ? 2 : 3;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Reads the graph the server is running now, not the one it will switch to.
bool isConnectedFromOurPort(jack_client_t* client, const std::string& destination) {
    jack_port_t* port = jack_port_by_name(client, destination.c_str());
    const char** sources = port ? jack_port_get_all_connections(client, port) : nullptr;
    bool found = false;
    for (size_t i = 0; sources && sources[i] && !found; ++i) {
        found = endsWith(sources[i], std::string(":") + kPortName);
    }
    jack_free(sources);
    return found;
}

}  // namespace

std::vector<MidiPortInfo> enumerateMidiPorts() {
    std::vector<MidiPortInfo> ports;
    appendPorts(RtMidi::LINUX_ALSA, ports);
    appendPorts(RtMidi::UNIX_JACK, ports);
    return ports;
}

MidiPortConnection::MidiPortConnection(std::unique_ptr<RtMidiOut> out, MidiPortInfo port)
    : m_out(std::move(out)), m_port(std::move(port)) {
    m_out->setErrorCallback(recordError, &m_lastError);
}

MidiPortConnection::~MidiPortConnection() = default;

std::unique_ptr<MidiPortConnection> MidiPortConnection::open(const MidiPortInfo& port,
                                                             std::string& error) {
    auto out = makeOut(static_cast<RtMidi::Api>(port.api), error);
    if (!out) {
        return nullptr;
    }
    std::unique_ptr<MidiPortConnection> connection(new MidiPortConnection(std::move(out), port));
    connection->m_out->openPort(port.index, kPortName);
    if (!connection->m_out->isPortOpen()) {
        error = connection->m_lastError.empty() ? "The port " + port.name + " could not be opened."
                                                : connection->m_lastError;
        return nullptr;
    }
    if (port.api == RtMidi::UNIX_JACK && !connection->watchJackConnection(error)) {
        return nullptr;
    }
    return connection;
}

void MidiPortConnection::JackClientCloser::operator()(jack_client_t* client) const {
    jack_client_close(client);
}

// JACK puts a new connection into the graph only at the start of a later cycle, and under load
// that can take many cycles; what the port sends meanwhile reaches nobody. Activating the watcher
// usually returns once the server runs a graph holding every earlier change, but a server without
// real-time priority may switch later still, so the graph is read until the connection is in it.
// RtMidi also ignores a failed connect: that one never shows up.
bool MidiPortConnection::watchJackConnection(std::string& error) {
    m_jackWatcher.reset(jack_client_open(kClientName, JackNoStartServer, nullptr));
    if (!m_jackWatcher) {
        error = "The JACK server did not complete the connection to " + m_port.name + ".";
        return false;
    }
    jack_on_shutdown(
        m_jackWatcher.get(), [](void* gone) { static_cast<std::atomic<bool>*>(gone)->store(true); },
        &m_jackServerGone);
    jack_set_process_callback(
        m_jackWatcher.get(),
        [](jack_nframes_t, void* cycles) {
            static_cast<std::atomic<uint64_t>*>(cycles)->fetch_add(1);
            return 0;
        },
        &m_watcherCycles);
    if (jack_activate(m_jackWatcher.get()) != 0) {
        error = "The JACK server did not complete the connection to " + m_port.name + ".";
        return false;
    }
    const auto giveUp = std::chrono::steady_clock::now() + kGraphWait;
    while (!isConnectedFromOurPort(m_jackWatcher.get(), m_port.name)) {
        if (std::chrono::steady_clock::now() >= giveUp) {
            error = "The port " + m_port.name + " could not be connected.";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Seen in the graph is not yet run by it: a few whole cycles later, the connection carries.
    const uint64_t seenAt = m_watcherCycles.load();
    while (m_watcherCycles.load() < seenAt + kCyclesAfterConnection &&
           std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool MidiPortConnection::jackServerGone(std::string& error) const {
    if (m_jackServerGone) {
        error = "The JACK server has stopped, so " + m_port.name + " is gone.";
    }
    return m_jackServerGone;
}

bool MidiPortConnection::send(uint32_t message, std::string& error) {
    const uint8_t bytes[3] = {static_cast<uint8_t>(message), static_cast<uint8_t>(message >> 8),
                              static_cast<uint8_t>(message >> 16)};
    if (m_jackWatcher && jackServerGone(error)) {
        return false;
    }
    m_lastError.clear();
    m_out->sendMessage(bytes, shortMessageLength(bytes[0]));
    if (!m_lastError.empty()) {
        error = m_lastError;
        return false;
    }
    return true;
}
