#pragma once

#include <chrono>
#include <memory>
#include <string>

struct pa_simple;

// A stereo float playback stream on the desktop's sound server (PulseAudio, or PipeWire's
// PulseAudio service). Writes never block while the writer keeps no more than the target
// buffer queued.
class PulseAudioStream {
public:
    struct Format {
        int sampleRate;
        std::chrono::microseconds targetBuffer;  // the server's queue plus its own latency
        std::chrono::microseconds writeSize;
    };

    ~PulseAudioStream();
    // Returns nullptr with error set when no sound server takes the stream.
    static std::unique_ptr<PulseAudioStream> open(const std::string& streamName,
                                                  const Format& format, std::string& error);

    bool write(const float* interleaved, int frames, std::string& error);
    // How long until what was written last is heard.
    std::chrono::microseconds latency();

private:
    explicit PulseAudioStream(pa_simple* stream) : m_stream(stream) {}
    pa_simple* m_stream;
};
