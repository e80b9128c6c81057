#include "midi/SystemMidi.h"

#include <iostream>

#include "audio/AudioEngine.h"
#include "audio/PulseAudioStream.h"
#include "midi/TimedSender.h"
#include "midi/jack/JackMidiOutput.h"
#include "synth/GmSynth.h"
#include "synth/ReferencePitch.h"
#include "synth/StampedRenderer.h"

namespace {
constexpr const char* kSoundAdvice =
    "Check that a sound server (PulseAudio or PipeWire) is running and that the sound output is "
    "not muted, or choose another MIDI device in Setup.";
constexpr const char* kPortAdvice =
    "Check that the device is connected and its driver or JACK server is running, or choose "
    "another MIDI device in Setup.";
}  // namespace

class SystemMidi::Output {
public:
    Output(int32_t deviceId, std::string name) : m_deviceId(deviceId), m_name(std::move(name)) {}
    virtual ~Output() = default;
    virtual bool send(uint32_t message, Clock::time_point due, std::string& error) = 0;
    int32_t deviceId() const { return m_deviceId; }
    const std::string& name() const { return m_name; }

private:
    int32_t m_deviceId;
    std::string m_name;
};

static_assert(GmSynth::kSampleRate == AudioEngine::kSampleRate);

// The synthesizer's messages are rendered on the engine's clock, each at its due time plus the
// engine's latency.
class SystemMidi::SynthOutput : public Output {
public:
    explicit SynthOutput(AudioEngine& engine)
        : Output(MidiMapperId, kSynthName),
          m_engine(engine),
          m_renderer(m_synth, AudioEngine::kSampleRate, AudioEngine::kLatency) {}
    ~SynthOutput() override { m_engine.setTimedSource(nullptr); }
    bool start(std::string& error) {
        if (!m_synth.load(error)) {
            return false;
        }
        if (!m_engine.start(error)) {
            error = "The built-in synthesizer found no sound output.\n" + error;
            return false;
        }
        m_renderer.setOrigin(m_engine.origin());
        m_engine.setTimedSource(&m_renderer);
        return true;
    }
    void tune(double a4) {
        for (int channel = 0; channel < 16; ++channel) {
            for (uint32_t message : referencePitchMessages(channel, a4)) {
                m_renderer.post(message, Clock::now());
            }
        }
        m_engine.wake();
    }
    bool send(uint32_t message, Clock::time_point due, std::string& error) override {
        if (!m_engine.healthy(error)) {
            return false;
        }
        // The audio thread only counts what FluidSynth refused; the sender tells of it.
        if (const uint32_t refused = m_synth.takeRefusedCount(); refused > 0) {
            std::cerr << "RZ77: the built-in synthesizer refused " << refused
                      << " MIDI message(s).\n";
        }
        m_synth.prepare(message);
        if (!m_renderer.post(message, due)) {
            error = "The built-in synthesizer has fallen behind and dropped a message.";
            return false;
        }
        m_engine.wake();
        return true;
    }

private:
    AudioEngine& m_engine;
    GmSynth m_synth;
    StampedRenderer m_renderer;
};

// A port has no clock of its own: a message due later waits for its time here.
class SystemMidi::PortOutput : public Output {
public:
    PortOutput(int32_t deviceId, std::string name, std::unique_ptr<MidiPortConnection> connection)
        : Output(deviceId, std::move(name)),
          m_connection(std::move(connection)),
          m_sender([this](uint32_t message, std::string& error) {
              return m_connection->send(message, error);
          }) {}
    bool send(uint32_t message, Clock::time_point due, std::string& error) override {
        return m_sender.post(message, due, error);
    }

private:
    std::unique_ptr<MidiPortConnection> m_connection;
    TimedSender m_sender;
};

// A JACK port places each message at its due time itself.
class SystemMidi::JackOutput : public Output {
public:
    JackOutput(int32_t deviceId, std::string name, std::unique_ptr<JackMidiOutput> port)
        : Output(deviceId, std::move(name)), m_port(std::move(port)) {}
    bool send(uint32_t message, Clock::time_point due, std::string& error) override {
        return m_port->send(message, due, error);
    }

private:
    std::unique_ptr<JackMidiOutput> m_port;
};

SystemMidi::SystemMidi(AudioEngine& engine) : m_engine(engine) {}
SystemMidi::SystemMidi()
    : m_ownEngine(std::make_unique<AudioEngine>(PulseAudioStream::opener())),
      m_engine(*m_ownEngine) {}
SystemMidi::~SystemMidi() = default;

int32_t SystemMidi::deviceCount() {
    m_ports = enumerateMidiPorts();
    return static_cast<int32_t>(m_ports.size());
}

// The ALSA ports come first. Asking the JACK server costs the program a megabyte and a half for
// the rest of the session (its client library sets up a database), so only a port beyond the
// ALSA ones asks it.
bool SystemMidi::hasPort(int32_t deviceId) {
    m_ports = enumerateAlsaPorts();
    if (deviceId >= static_cast<int32_t>(m_ports.size())) {
        addJackPorts(m_ports);
    }
    return deviceId >= 0 && deviceId < static_cast<int32_t>(m_ports.size());
}

MidiResult SystemMidi::deviceName(int32_t deviceId, std::string& name) {
    if (deviceId == MidiMapperId) {
        if (GmSynth::soundFontPath().empty()) {
            return MidiResultCode::BadDeviceId;  // no sound font: no synthesizer to offer
        }
        name = kSynthName;
        return MidiResultCode::Ok;
    }
    if (deviceId < 0 || deviceId >= static_cast<int32_t>(m_ports.size())) {
        return MidiResultCode::BadDeviceId;
    }
    name = m_ports[deviceId].name;
    return MidiResultCode::Ok;
}

MidiResult SystemMidi::open(int32_t deviceId, uint32_t& handle) {
    handle = 0;
    if (isOpen(deviceId)) {
        return MidiResultCode::Allocated;
    }
    std::unique_ptr<Output> output;
    const MidiResult result =
        deviceId == MidiMapperId ? openSynth(output) : openPort(deviceId, output);
    if (result != MidiResultCode::Ok) {
        return result;
    }
    handle = m_nextHandle++;
    m_open[handle] = std::move(output);
    return MidiResultCode::Ok;
}

MidiResult SystemMidi::close(uint32_t handle) {
    return m_open.erase(handle) == 1 ? MidiResultCode::Ok : MidiResultCode::InvalidHandle;
}

MidiResult SystemMidi::sendShort(uint32_t handle, uint32_t message, Clock::time_point due) {
    const auto found = m_open.find(handle);
    if (found == m_open.end()) {
        return MidiResultCode::InvalidHandle;
    }
    std::string error;
    if (!found->second->send(message, due, error)) {
        const bool synth = found->second->deviceId() == MidiMapperId;
        return driverError(error, synth ? kSoundAdvice : kPortAdvice);
    }
    return MidiResultCode::Ok;
}

// The built-in synthesizer plays each message its engine's latency after it is due; a port's
// instrument is out of our sight.
void SystemMidi::setReferencePitch(double a4) {
    m_referencePitch = a4;
    for (auto& [handle, output] : m_open) {
        if (output->deviceId() == MidiMapperId) {
            static_cast<SynthOutput&>(*output).tune(a4);
        }
    }
}

MidiSystem::Clock::duration SystemMidi::heardAfter(uint32_t handle) {
    const auto found = m_open.find(handle);
    const bool synth = found != m_open.end() && found->second->deviceId() == MidiMapperId;
    return synth ? AudioEngine::kLatency : Clock::duration{};
}

std::string SystemMidi::openDeviceName(uint32_t handle) const {
    const auto found = m_open.find(handle);
    return found == m_open.end() ? std::string() : found->second->name();
}

std::string SystemMidi::errorText(MidiResult code) {
    switch (code) {
        case MidiResultCode::Ok:
            return "The MIDI operation succeeded.";
        case MidiResultCode::BadDeviceId:
            return "The MIDI output device does not exist. Choose another device in Setup.";
        case MidiResultCode::Allocated:
            return "The MIDI output device is already in use.";
        case MidiResultCode::InvalidHandle:
            return "No MIDI output device is open (invalid device handle). Choose a working "
                   "device in Setup.";
        case MidiResultCode::DriverError:
            return "The MIDI output failed: " + m_lastDriverError;
        default:
            return "Unknown MIDI error " + std::to_string(code) + ".";
    }
}

MidiResult SystemMidi::openSynth(std::unique_ptr<Output>& output) {
    auto synth = std::make_unique<SynthOutput>(m_engine);
    std::string error;
    if (!synth->start(error)) {
        return driverError(error, kSoundAdvice);
    }
    if (m_referencePitch != 440.0) {
        synth->tune(m_referencePitch);
    }
    output = std::move(synth);
    return MidiResultCode::Ok;
}

MidiResult SystemMidi::openPort(int32_t deviceId, std::unique_ptr<Output>& output) {
    m_ports = enumerateMidiPorts();
    if (deviceId < 0 || deviceId >= static_cast<int32_t>(m_ports.size())) {
        return MidiResultCode::BadDeviceId;
    }
    const MidiPortInfo& port = m_ports[deviceId];
    std::string error;
    if (port.backend == MidiPortInfo::Backend::Jack) {
        auto jackPort = JackMidiOutput::open(port.name, error);
        if (!jackPort) {
            return driverError(error, kPortAdvice);
        }
        output = std::make_unique<JackOutput>(deviceId, port.name, std::move(jackPort));
        return MidiResultCode::Ok;
    }
    auto connection = MidiPortConnection::open(port, error);
    if (!connection) {
        return driverError(error, kPortAdvice);
    }
    output = std::make_unique<PortOutput>(deviceId, port.name, std::move(connection));
    return MidiResultCode::Ok;
}

bool SystemMidi::isOpen(int32_t deviceId) const {
    for (const auto& [handle, output] : m_open) {
        if (output->deviceId() == deviceId) {
            return true;
        }
    }
    return false;
}

MidiResult SystemMidi::driverError(const std::string& text, const std::string& advice) {
    m_lastDriverError = text + "\n\n" + advice;
    return MidiResultCode::DriverError;
}
