#include "MidiPorts.h"

#include <RtMidi.h>

namespace {

constexpr const char* kClientName = "RZ77";

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
    connection->m_out->openPort(port.index, std::string(kClientName) + " out");
    if (!connection->m_out->isPortOpen()) {
        error = connection->m_lastError.empty() ? "The port " + port.name + " could not be opened."
                                                : connection->m_lastError;
        return nullptr;
    }
    return connection;
}

bool MidiPortConnection::send(uint32_t message, std::string& error) {
    const uint8_t bytes[3] = {static_cast<uint8_t>(message), static_cast<uint8_t>(message >> 8),
                              static_cast<uint8_t>(message >> 16)};
    m_lastError.clear();
    m_out->sendMessage(bytes, shortMessageLength(bytes[0]));
    if (!m_lastError.empty()) {
        error = m_lastError;
        return false;
    }
    return true;
}
