// Clicks at a JACK MIDI port: the real metronome (its own timer, the real MIDI path) plays into a
// capture client of the bench, which reads each event's frame, at 120 and 240 BPM; once through
// RZ77's own JACK port and once through an RtMidi port fed by a sending thread at each stamp, the
// way RZ77 sent to JACK before. Prints the inter-onset error at the port for both.
//   jack_midi_bench [--seconds N]   (needs a running JACK server)
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <RtMidi.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchMetronome.h"
#include "app/frmMain.h"
#include "midi/MIDI_OUT.h"
#include "midi/SystemMidi.h"
#include "midi/TimedSender.h"

namespace {

constexpr const char* kCapturePort = "rz77-bench:capture";

// A JACK client whose MIDI input keeps the frame of every click (note-on on channel 10).
class FrameCapture {
public:
    FrameCapture() {
        m_client = jack_client_open("rz77-bench", JackNoStartServer, nullptr);
        if (m_client == nullptr) {
            return;
        }
        m_port =
            jack_port_register(m_client, "capture", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(m_client, process, this);
        jack_activate(m_client);
    }
    ~FrameCapture() {
        if (m_client != nullptr) {
            jack_client_close(m_client);
        }
    }
    bool running() const { return m_client != nullptr; }
    double rate() const { return jack_get_sample_rate(m_client); }
    uint32_t bufferSize() const { return jack_get_buffer_size(m_client); }
    std::vector<uint32_t> takeClicks() {
        std::vector<uint32_t> clicks(m_frames.begin(), m_frames.begin() + m_count.load());
        m_count = 0;
        return clicks;
    }

private:
    static int process(jack_nframes_t frames, void* self) {
        auto& capture = *static_cast<FrameCapture*>(self);
        void* buffer = jack_port_get_buffer(capture.m_port, frames);
        const jack_nframes_t start = jack_last_frame_time(capture.m_client);
        const uint32_t count = jack_midi_get_event_count(buffer);
        for (uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            const size_t at = capture.m_count.load();
            if (jack_midi_event_get(&event, buffer, i) == 0 && event.size == 3 &&
                event.buffer[0] == 0x9A && at < capture.m_frames.size()) {
                capture.m_frames[at] = start + event.time;
                capture.m_count = at + 1;
            }
        }
        return 0;
    }

    jack_client_t* m_client = nullptr;
    jack_port_t* m_port = nullptr;
    std::array<uint32_t, 1 << 16> m_frames{};
    std::atomic<size_t> m_count{0};
};

// How RZ77 sent to a JACK port before it had its own: an RtMidi port, each message sent at its
// stamp by a thread of its own.
class RtMidiJackPath : public MidiSystem {
public:
    int32_t deviceCount() override { return 1; }
    MidiResult deviceName(int32_t, std::string& name) override {
        name = kCapturePort;
        return MidiResultCode::Ok;
    }
    MidiResult open(int32_t, uint32_t& handle) override {
        m_out.openVirtualPort("RZ77 out");
        jack_client_t* client = jack_client_open("rz77-bench-connect", JackNoStartServer, nullptr);
        const char** ours = jack_get_ports(client, "RZ77 RtMidi:", JACK_DEFAULT_MIDI_TYPE, 0);
        if (ours != nullptr && ours[0] != nullptr) {
            jack_connect(client, ours[0], kCapturePort);
        }
        jack_free(ours);
        jack_client_close(client);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        handle = 1;
        return MidiResultCode::Ok;
    }
    MidiResult close(uint32_t) override { return MidiResultCode::Ok; }
    MidiResult sendShort(uint32_t, uint32_t message, Clock::time_point due) override {
        std::string error;
        return m_sender.post(message, due, error) ? MidiResultCode::Ok
                                                  : MidiResultCode::DriverError;
    }
    std::string errorText(MidiResult) override { return "RtMidi failed"; }

private:
    RtMidiOut m_out{RtMidi::UNIX_JACK, "RZ77 RtMidi"};
    TimedSender m_sender{[this](uint32_t message, std::string&) {
        const unsigned char bytes[3] = {static_cast<unsigned char>(message),
                                        static_cast<unsigned char>(message >> 8),
                                        static_cast<unsigned char>(message >> 16)};
        m_out.sendMessage(bytes, (bytes[0] & 0xF0) == 0xC0 ? 2 : 3);
        return true;
    }};
};

class PrintingReporter : public MessageReporter {
public:
    void show(const std::string& text) override {
        std::fprintf(stderr, "MIDI: %s\n", text.c_str());
    }
};

// A settings folder whose file picks the given device.
std::string settingsFor(int32_t device, const std::string& name) {
    const auto folder = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "rz77.rz", std::ios::binary)
        << "[device]\r\nid=" << device << "\r\n[sound]\r\nid=24\r\n[channel]\r\nid=1\r\n";
    return folder.string();
}

void report(const char* path, int bpm, double intervalMs, const std::vector<uint32_t>& frames,
            double rate) {
    std::vector<double> errors;
    for (size_t i = 1; i < frames.size(); ++i) {
        errors.push_back(static_cast<double>(frames[i] - frames[i - 1]) * 1000.0 / rate -
                         intervalMs);
    }
    if (errors.empty()) {
        std::printf("%-22s %3d BPM: no clicks arrived\n", path, bpm);
        return;
    }
    double mean = 0, variance = 0, worst = 0;
    for (double e : errors) {
        mean += e / static_cast<double>(errors.size());
        worst = std::max(worst, std::abs(e));
    }
    for (double e : errors) {
        variance += (e - mean) * (e - mean) / static_cast<double>(errors.size());
    }
    std::printf("%-22s %3d BPM: %4zu clicks, IOI error mean %+.4f  sd %.4f  max |e| %.4f ms\n",
                path, bpm, frames.size(), mean, std::sqrt(variance), worst);
}

void runMetronome(const char* path, MidiSystem& midi, int32_t device, FrameCapture& capture,
                  double seconds) {
    PrintingReporter reporter;
    MidiOutput output(midi, reporter);
    {
        frmMain window(
            AppEnvironment{settingsFor(device, std::string("rz77-jack-bench-") + path), {}},
            output);
        Metronome metronome(window, window.voice, output);
        bench::runFor(1.0);
        for (const bench::Tempo& tempo : bench::kTempos) {
            bench::setTempo(metronome, tempo);
            capture.takeClicks();
            metronome.imgBPMPlay_Click();
            bench::runFor(seconds);
            metronome.imgBPMStop_Click();
            bench::runFor(0.3);
            report(path, tempo.bpm, metronome.beatInterval(), capture.takeClicks(), capture.rate());
        }
    }
    MIDI_OUT::CloseMidiOut(output);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    double seconds = 30;
    if (argc == 3 && std::strcmp(argv[1], "--seconds") == 0) {
        seconds = std::max(3.0, std::atof(argv[2]));
    }
    QApplication app(argc, argv);
    FrameCapture capture;
    if (!capture.running()) {
        std::fprintf(stderr, "jack_midi_bench needs a running JACK server\n");
        return 1;
    }
    std::printf("JACK at %.0f Hz, buffer %u frames; %.0f s per tempo\n", capture.rate(),
                capture.bufferSize(), seconds);
    SystemMidi ours;
    int32_t device = -1;
    for (int32_t id = 0; id < ours.deviceCount(); ++id) {
        std::string name;
        if (ours.deviceName(id, name) == MidiResultCode::Ok && name == kCapturePort) {
            device = id;
        }
    }
    runMetronome("RZ77's JACK port", ours, device, capture, seconds);
    RtMidiJackPath rtmidi;
    runMetronome("RtMidi, sending thread", rtmidi, 0, capture, seconds);
    return 0;
}
