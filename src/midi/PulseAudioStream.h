#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

struct pa_context;
struct pa_mainloop;
struct pa_operation;
struct pa_stream;

// A stereo float playback stream on the desktop's sound server (PulseAudio, or PipeWire's
// PulseAudio service), driven entirely by the thread that writes to it: no helper thread of the
// library's own stands between the writer and the server, so a writer with real-time priority
// is never held up by a busy machine. Opened on one thread, it may then be used on another.
class PulseAudioStream {
public:
    struct Format {
        int sampleRate;
        std::chrono::microseconds targetBuffer;  // the server's queue plus its own latency
        std::chrono::microseconds writeSize;
    };

    ~PulseAudioStream();
    PulseAudioStream(const PulseAudioStream&) = delete;
    PulseAudioStream& operator=(const PulseAudioStream&) = delete;

    // Chooses the format knowing the rate the server's default output runs at (0 when it does
    // not say). Returns nullptr with error set when no sound server takes the stream.
    using FormatChooser = std::function<Format(int sinkRate)>;
    static std::unique_ptr<PulseAudioStream> open(const std::string& streamName,
                                                  const FormatChooser& chooseFormat,
                                                  std::string& error);

    // Never blocks while the writer keeps less than the target buffer queued.
    bool write(const float* interleaved, int frames, std::string& error);
    // Leaves the next frames unwritten: the server plays silence for them, and what is written
    // after still goes to its own place in the stream.
    void skip(int frames) { m_framesWritten += frames; }
    // Takes the server's messages while nothing is written; false once it has gone.
    bool service(std::string& error) { return pump(error); }
    // How long the frame written last waits before the server's output plays it, from the
    // server's last report, which this asks for anew now and then; nothing before the first.
    std::optional<std::chrono::microseconds> untilPlayed();

private:
    PulseAudioStream() = default;
    bool connect(const std::string& streamName, const FormatChooser& chooseFormat,
                 std::string& error);
    bool waitUntilReady(std::string& error);
    int defaultSinkRate();
    void finish(pa_operation* operation);
    bool pump(std::string& error);
    std::string serverError() const;
    void askForTiming();

    pa_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    int64_t m_framesWritten = 0;
    int m_sampleRate = 0;
    pa_operation* m_timingRequest = nullptr;
};
