#include "PulseAudioStream.h"

#include <pulse/error.h>
#include <pulse/simple.h>

namespace {

uint32_t bytesFor(std::chrono::microseconds duration, int sampleRate) {
    const auto frames = duration.count() * sampleRate / 1000000;
    return static_cast<uint32_t>(frames * 2 * sizeof(float));
}

}  // namespace

PulseAudioStream::~PulseAudioStream() {
    pa_simple_free(m_stream);
}

std::unique_ptr<PulseAudioStream> PulseAudioStream::open(const std::string& streamName,
                                                         const Format& format, std::string& error) {
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, static_cast<uint32_t>(format.sampleRate), 2};
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = bytesFor(format.targetBuffer, format.sampleRate);
    // No pre-buffering: play from the first write and never pause on an underrun, so that a
    // late write loses only its own late part and everything after it stays on time.
    attributes.prebuf = 0;
    attributes.minreq = bytesFor(format.writeSize, format.sampleRate);
    attributes.fragsize = static_cast<uint32_t>(-1);
    int code = 0;
    pa_simple* stream = pa_simple_new(nullptr, "RZ77", PA_STREAM_PLAYBACK, nullptr,
                                      streamName.c_str(), &spec, nullptr, &attributes, &code);
    if (stream == nullptr) {
        error = std::string("pulseaudio: ") + pa_strerror(code);
        return nullptr;
    }
    return std::unique_ptr<PulseAudioStream>(new PulseAudioStream(stream));
}

bool PulseAudioStream::write(const float* interleaved, int frames, std::string& error) {
    int code = 0;
    if (pa_simple_write(m_stream, interleaved, frames * 2 * sizeof(float), &code) < 0) {
        error = std::string("The sound server stopped taking sound: ") + pa_strerror(code);
        return false;
    }
    return true;
}

std::chrono::microseconds PulseAudioStream::latency() {
    int code = 0;
    const pa_usec_t value = pa_simple_get_latency(m_stream, &code);
    return std::chrono::microseconds(value == static_cast<pa_usec_t>(-1) ? 0 : value);
}
