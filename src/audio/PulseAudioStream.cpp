#include "audio/PulseAudioStream.h"

#include <algorithm>
#include <cmath>

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/operation.h>
#include <pulse/stream.h>
#include <pulse/timeval.h>

namespace {

// A server that does not answer within this is as good as none.
constexpr int kConnectTimeoutMs = 3000;
// How old the server's report of its read position may be before a new one is asked for.
constexpr pa_usec_t kTimingAgeUsec = 40000;

uint32_t bytesFor(std::chrono::microseconds duration, int sampleRate) {
    const auto frames = duration.count() * sampleRate / 1000000;
    return static_cast<uint32_t>(frames * 2 * sizeof(float));
}

}  // namespace

PulseAudioStream::~PulseAudioStream() {
    if (m_timingRequest != nullptr) {
        pa_operation_unref(m_timingRequest);
    }
    if (m_stream != nullptr) {
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
    }
    if (m_context != nullptr) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    if (m_loop != nullptr) {
        pa_mainloop_free(m_loop);
    }
}

std::unique_ptr<PulseAudioStream> PulseAudioStream::open(const std::string& streamName,
                                                         const FormatChooser& chooseFormat,
                                                         std::string& error) {
    std::unique_ptr<PulseAudioStream> stream(new PulseAudioStream());
    if (!stream->connect(streamName, chooseFormat, error)) {
        error = "pulseaudio: " + error;
        return nullptr;
    }
    return stream;
}

std::function<std::unique_ptr<AudioSink>(const AudioSink::FormatChooser&, std::string&)>
PulseAudioStream::opener() {
    return [](const FormatChooser& chooseFormat, std::string& error) {
        return std::unique_ptr<AudioSink>(open("RZ77", chooseFormat, error));
    };
}

bool PulseAudioStream::connect(const std::string& streamName, const FormatChooser& chooseFormat,
                               std::string& error) {
    m_loop = pa_mainloop_new();
    m_context = pa_context_new(pa_mainloop_get_api(m_loop), "RZ77");
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        error = serverError();
        return false;
    }
    if (!waitUntilReady(error)) {
        return false;
    }
    const Format format = chooseFormat(defaultSinkRate());
    m_sampleRate = format.sampleRate;
    const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32LE, static_cast<uint32_t>(format.sampleRate),
                                      2};
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = bytesFor(format.targetBuffer, format.sampleRate);
    // No pre-buffering: play from the first write and never pause on an underrun, so that a
    // late write loses only its own late part and everything after it stays on time.
    attributes.prebuf = 0;
    attributes.minreq = bytesFor(format.writeSize, format.sampleRate);
    attributes.fragsize = static_cast<uint32_t>(-1);
    return (m_stream = pa_stream_new(m_context, streamName.c_str(), &sampleFormat, nullptr)) !=
               nullptr &&
           pa_stream_connect_playback(m_stream, nullptr, &attributes, PA_STREAM_ADJUST_LATENCY,
                                      nullptr, nullptr) == 0 &&
           waitUntilReady(error);
}

int PulseAudioStream::defaultSinkRate() {
    std::string sinkName;
    finish(pa_context_get_server_info(
        m_context,
        [](pa_context*, const pa_server_info* info, void* name) {
            if (info != nullptr && info->default_sink_name != nullptr) {
                *static_cast<std::string*>(name) = info->default_sink_name;
            }
        },
        &sinkName));
    int rate = 0;
    finish(pa_context_get_sink_info_by_name(
        m_context, sinkName.c_str(),
        [](pa_context*, const pa_sink_info* info, int last, void* rate) {
            if (last == 0 && info != nullptr) {
                *static_cast<int*>(rate) = static_cast<int>(info->sample_spec.rate);
            }
        },
        &rate));
    return rate;
}

// Runs the loop until an answer has come, or the server has gone.
void PulseAudioStream::finish(pa_operation* operation) {
    if (operation == nullptr) {
        return;
    }
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING &&
           pa_mainloop_iterate(m_loop, 1, nullptr) >= 0) {
    }
    pa_operation_unref(operation);
}

// Runs the loop until the context (and the stream, once there is one) is ready or has failed.
bool PulseAudioStream::waitUntilReady(std::string& error) {
    for (int waited = 0; waited < kConnectTimeoutMs; waited += 10) {
        const pa_context_state_t context = pa_context_get_state(m_context);
        const pa_stream_state_t stream =
            m_stream != nullptr ? pa_stream_get_state(m_stream) : PA_STREAM_READY;
        if (!PA_CONTEXT_IS_GOOD(context) || !PA_STREAM_IS_GOOD(stream)) {
            error = serverError();
            return false;
        }
        if (context == PA_CONTEXT_READY && stream == PA_STREAM_READY) {
            return true;
        }
        pa_mainloop_prepare(m_loop, 10000);
        pa_mainloop_poll(m_loop);
        pa_mainloop_dispatch(m_loop);
    }
    error = "the sound server did not answer";
    return false;
}

bool PulseAudioStream::write(const float* interleaved, int frames, std::string& error) {
    const size_t bytes = static_cast<size_t>(frames) * 2 * sizeof(float);
    if (!pump(error)) {
        return false;
    }
    if (m_placeRead) {
        placeAfterPause(frames);
    }
    // Each block goes to its own place in the stream, so that after an underrun the server drops
    // only what came too late and everything later still plays at its time.
    const auto offset = static_cast<int64_t>(m_framesWritten * 2 * sizeof(float));
    m_framesWritten += frames;
    if (pa_stream_write(m_stream, interleaved, bytes, nullptr, offset, PA_SEEK_ABSOLUTE) < 0) {
        error = "The sound server stopped taking sound: " + serverError();
        return false;
    }
    return pump(error);
}

// Hands what is queued to the server and takes its answers, without waiting.
bool PulseAudioStream::pump(std::string& error) {
    while (pa_mainloop_iterate(m_loop, 0, nullptr) > 0) {
    }
    if (pa_context_get_state(m_context) != PA_CONTEXT_READY ||
        pa_stream_get_state(m_stream) != PA_STREAM_READY) {
        error = "The sound server stopped taking sound: " + serverError();
        return false;
    }
    return true;
}

// The library's own smoothed latency takes many seconds to settle after the stream has run
// empty, so the wait is worked out from the server's last report instead. The position the
// output has played up to moves on smoothly, at the stream's rate, while the server's read
// position moves in its output's steps; the first is the one to measure by.
std::optional<std::chrono::microseconds> PulseAudioStream::untilPlayed() {
    if (m_awaitingFreshTiming) {
        if (m_timingRequest != nullptr &&
            pa_operation_get_state(m_timingRequest) == PA_OPERATION_RUNNING) {
            return std::nullopt;
        }
        m_awaitingFreshTiming = false;
    }
    const pa_timing_info* timing = pa_stream_get_timing_info(m_stream);
    if (timing == nullptr || timing->read_index_corrupt != 0) {
        askForTiming();
        return std::nullopt;
    }
    const pa_usec_t age = pa_timeval_age(&timing->timestamp);
    if (age > kTimingAgeUsec) {
        askForTiming();
    }
    const double framesRead = static_cast<double>(timing->read_index) / (2 * sizeof(float));
    const double queuedSeconds = (static_cast<double>(m_framesWritten) - framesRead) / m_sampleRate;
    const double playingSeconds =
        (static_cast<double>(timing->sink_usec) - (timing->playing != 0 ? age : 0)) * 1e-6;
    return std::chrono::microseconds(std::llround((queuedSeconds + playingSeconds) * 1e6));
}

// Corked, the server takes nothing from the stream and its output need not run for it. The
// position it has read up to stands still; the report asked for after the cork gives it.
bool PulseAudioStream::pause() {
    if (m_corked) {
        return true;
    }
    if (pa_operation* cork = pa_stream_cork(m_stream, 1, nullptr, nullptr)) {
        pa_operation_unref(cork);
    }
    m_corked = true;
    askForFreshTiming();
    return true;
}

// The server goes on reading from where the cork stopped it: what is written next goes that far
// ahead of it. How long the output itself holds it is known only once the server has answered
// after the uncork; until then untilPlayed() has nothing to say, and the engine then corrects.
void PulseAudioStream::resume(std::chrono::microseconds untilPlayed) {
    if (!m_corked) {
        return;
    }
    m_corked = false;
    std::string ignored;  // a server that has gone is found by the next write
    pump(ignored);
    const pa_timing_info* timing = pa_stream_get_timing_info(m_stream);
    const bool answered = m_timingRequest == nullptr ||
                          pa_operation_get_state(m_timingRequest) != PA_OPERATION_RUNNING;
    if (timing != nullptr && timing->read_index_corrupt == 0 && answered) {
        m_placeRead = timing->read_index / static_cast<int64_t>(2 * sizeof(float));
        m_placeQueued = untilPlayed.count() * m_sampleRate / 1000000;
    }  // else the cork is too recent to have been answered: the count of frames stays close
    if (pa_operation* uncork = pa_stream_cork(m_stream, 0, nullptr, nullptr)) {
        pa_operation_unref(uncork);
    }
    askForFreshTiming();
}

void PulseAudioStream::placeAfterPause(int frames) {
    m_framesWritten = *m_placeRead + std::max<int64_t>(m_placeQueued, frames) - frames;
    m_placeRead.reset();
}

// A report asked for earlier may describe the stream from before a cork or an uncork.
void PulseAudioStream::askForFreshTiming() {
    if (m_timingRequest != nullptr) {
        pa_operation_cancel(m_timingRequest);
        pa_operation_unref(m_timingRequest);
        m_timingRequest = nullptr;
    }
    askForTiming();
    m_awaitingFreshTiming = true;
}

void PulseAudioStream::askForTiming() {
    if (m_timingRequest != nullptr) {
        if (pa_operation_get_state(m_timingRequest) == PA_OPERATION_RUNNING) {
            return;
        }
        pa_operation_unref(m_timingRequest);
    }
    m_timingRequest = pa_stream_update_timing_info(m_stream, nullptr, nullptr);
}

std::string PulseAudioStream::serverError() const {
    return pa_strerror(pa_context_errno(m_context));
}
