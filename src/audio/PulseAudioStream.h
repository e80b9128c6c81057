#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "audio/AudioSink.h"

struct pa_context;
struct pa_mainloop;
struct pa_operation;
struct pa_stream;

// A stereo float playback stream on the desktop's sound server (PulseAudio, or PipeWire's
// PulseAudio service), driven entirely by the thread that writes to it: no helper thread of the
// library's own stands between the writer and the server, so a writer with real-time priority
// is never held up by a busy machine. Opened on one thread, it may then be used on another.
class PulseAudioStream : public AudioSink {
public:
    ~PulseAudioStream() override;
    PulseAudioStream(const PulseAudioStream&) = delete;
    PulseAudioStream& operator=(const PulseAudioStream&) = delete;

    // The audio engine's stream on the desktop's sound server.
    static std::function<std::unique_ptr<AudioSink>(const FormatChooser&, std::string&)> opener();
    // Returns nullptr with error set when no sound server takes the stream.
    static std::unique_ptr<PulseAudioStream> open(const std::string& streamName,
                                                  const FormatChooser& chooseFormat,
                                                  std::string& error);

    bool write(const float* interleaved, int frames, std::string& error) override;
    void skip(int frames) override { m_framesWritten += frames; }
    bool service(std::string& error) override { return pump(error); }
    // From the server's last report, which this asks for anew now and then.
    std::optional<std::chrono::microseconds> untilPlayed() override;
    bool pause() override;
    void resume(std::chrono::microseconds untilPlayed) override;

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
    void askForFreshTiming();
    void placeAfterPause(int frames);

    pa_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    int64_t m_framesWritten = 0;
    int m_sampleRate = 0;
    pa_operation* m_timingRequest = nullptr;
    bool m_corked = false;
    bool m_awaitingFreshTiming = false;
    // Where the first frames after a pause go: the server's read position and how far ahead.
    std::optional<int64_t> m_placeRead;
    int64_t m_placeQueued = 0;
};
