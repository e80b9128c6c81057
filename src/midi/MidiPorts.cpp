#include "midi/MidiPorts.h"

#include <RtMidi.h>
#include <alsa/asoundlib.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "common/LibraryLog.h"
#include "midi/ShortMessage.h"
#include "midi/jack/JackMidiOutput.h"

namespace {

constexpr const char* kClientName = "RZ77";
constexpr const char* kPortName = "RZ77 out";

void logAlsaMessage(const char* file, int line, const char* function, int code, const char* format,
                    ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    char where[768];
    std::snprintf(where, sizeof where, "%s:%d (%s) %s%s%s", file, line, function, text,
                  code != 0 ? ": " : "", code != 0 ? snd_strerror(code) : "");
    logLibraryMessage("ALSA", where);
}

// RtMidi writes to stderr before it throws when the sequencer cannot be opened (no
// /dev/snd/seq): asking the sequencer first keeps that line, and ALSA's own, out of every start.
bool alsaSequencerOpens() {
    static std::once_flag routed;
    std::call_once(routed, [] { snd_lib_error_set_handler(logAlsaMessage); });
    snd_seq_t* sequencer = nullptr;
    if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0) {
        return false;
    }
    snd_seq_close(sequencer);
    return true;
}

std::unique_ptr<RtMidiOut> makeAlsaOut(std::string& error) {
    if (!alsaSequencerOpens()) {
        error = "The ALSA sequencer cannot be opened.";
        return nullptr;
    }
    try {
        return std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, kClientName);
    } catch (const RtMidiError& e) {
        error = e.getMessage();
        return nullptr;
    }
}

// Keeps errors for the caller to report; warnings go to the library log.
void recordError(RtMidiError::Type type, const std::string& text, void* lastError) {
    if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING) {
        logLibraryMessage("RtMidi", text.c_str());
    } else {
        *static_cast<std::string*>(lastError) = text;
    }
}

}  // namespace

std::vector<MidiPortInfo> enumerateAlsaPorts() {
    std::vector<MidiPortInfo> ports;
    std::string ignored;
    if (auto out = makeAlsaOut(ignored)) {
        const unsigned count = out->getPortCount();
        for (unsigned index = 0; index < count; ++index) {
            ports.push_back({MidiPortInfo::Backend::Alsa, index, out->getPortName(index)});
        }
    }
    return ports;
}

void addJackPorts(std::vector<MidiPortInfo>& ports) {
    for (std::string& name : jackMidiInputs()) {
        ports.push_back({MidiPortInfo::Backend::Jack, 0, std::move(name)});
    }
}

std::vector<MidiPortInfo> enumerateMidiPorts() {
    std::vector<MidiPortInfo> ports = enumerateAlsaPorts();
    addJackPorts(ports);
    return ports;
}

MidiPortConnection::MidiPortConnection(std::unique_ptr<RtMidiOut> out) : m_out(std::move(out)) {
    m_out->setErrorCallback(recordError, &m_lastError);
}

MidiPortConnection::~MidiPortConnection() = default;

std::unique_ptr<MidiPortConnection> MidiPortConnection::open(const MidiPortInfo& port,
                                                             std::string& error) {
    auto out = makeAlsaOut(error);
    if (!out) {
        return nullptr;
    }
    std::unique_ptr<MidiPortConnection> connection(new MidiPortConnection(std::move(out)));
    connection->m_out->openPort(port.index, kPortName);
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
