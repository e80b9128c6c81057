#include "audio/CaptureStream.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>

namespace {
constexpr size_t kBlockFrames = CaptureStream::kSampleRate / 50;
constexpr int kWaitUsec = 20000;
constexpr int kConnectTimeoutUsec = 3000000;
}  // namespace

CaptureStream::CaptureStream(Consumer consumer) : m_consumer(std::move(consumer)) {}

CaptureStream::CaptureStream(TimedConsumer consumer) : m_timedConsumer(std::move(consumer)) {}

CaptureStream::~CaptureStream() {
    stop();
}

void CaptureStream::start(const std::string& source) {
    if (running()) {
        return;
    }
    m_stop = false;
    m_state = State::Opening;
    m_thread = std::thread([this, source] { run(source); });
}

void CaptureStream::stop() {
    if (!running()) {
        return;
    }
    m_stop = true;
    m_thread.join();
    if (m_state != State::Failed) {
        m_state = State::Stopped;
    }
}

std::string CaptureStream::error() const {
    std::lock_guard lock(m_errorMutex);
    return m_error;
}

std::string CaptureStream::sourceName() const {
    std::lock_guard lock(m_errorMutex);
    return m_sourceName;
}

void CaptureStream::fail(const std::string& error) {
    {
        std::lock_guard lock(m_errorMutex);
        m_error = error;
    }
    m_state = State::Failed;
}

// The capture thread runs a main loop of its own (no helper thread of the library's between the
// server and the consumer: on a virtual machine the handover between two threads cost more than
// the whole pitch detector). Each wait ends after one block at the most, so a stop is taken up
// within 20 ms.
void CaptureStream::run(std::string source) {
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "RZ77");
    pa_stream* stream = nullptr;
    const auto iterate = [loop] {
        pa_mainloop_prepare(loop, kWaitUsec);
        return pa_mainloop_poll(loop) >= 0 && pa_mainloop_dispatch(loop) >= 0;
    };
    const auto healthy = [&] {
        return PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) &&
               (stream == nullptr || PA_STREAM_IS_GOOD(pa_stream_get_state(stream)));
    };
    const auto ready = [&] {
        return pa_context_get_state(context) == PA_CONTEXT_READY &&
               (stream == nullptr || pa_stream_get_state(stream) == PA_STREAM_READY);
    };
    const auto waitUntilReady = [&] {
        for (int waited = 0; waited < kConnectTimeoutUsec && !m_stop; waited += kWaitUsec) {
            if (!healthy() || ready() || !iterate()) {
                break;
            }
        }
        return ready();
    };
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
        waitUntilReady()) {
        stream = openRecording(context, source);
    }
    if (stream == nullptr || !waitUntilReady()) {
        if (!m_stop) {
            fail(std::string("No sound input could be opened: ") +
                 pa_strerror(pa_context_errno(context)) + ".");
        }
    } else {
        if (const char* name = pa_stream_get_device_name(stream)) {
            std::lock_guard lock(m_errorMutex);
            m_sourceName = name;
        }
        m_state = State::Listening;
        while (!m_stop && iterate() && healthy()) {
            handOver(stream);
        }
        if (!m_stop) {
            fail(std::string("The sound input went away: ") +
                 pa_strerror(pa_context_errno(context)) + ".");
        }
    }
    if (stream != nullptr) {
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_mainloop_free(loop);
}

pa_stream* CaptureStream::openRecording(pa_context* context, const std::string& source) const {
    const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, kSampleRate, 1};
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.fragsize = static_cast<uint32_t>(kBlockFrames * sizeof(float));
    pa_stream* stream = pa_stream_new(context, "Tuner input", &format, nullptr);
    // A timed consumer needs the server's latency at each read, kept current by the library.
    const auto flags = m_timedConsumer ? PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
                                             PA_STREAM_AUTO_TIMING_UPDATE
                                       : PA_STREAM_ADJUST_LATENCY;
    if (stream != nullptr &&
        pa_stream_connect_record(stream, source.empty() ? nullptr : source.c_str(), &attributes,
                                 static_cast<pa_stream_flags_t>(flags)) < 0) {
        pa_stream_unref(stream);
        return nullptr;
    }
    return stream;
}

// Everything the server has sent, straight from its buffers; a hole (samples lost) is skipped.
// The latency the server reports for a recording stream is how long ago the sample at our read
// position reached the source.
void CaptureStream::handOver(pa_stream* stream) {
    const void* data = nullptr;
    size_t bytes = 0;
    while (pa_stream_readable_size(stream) > 0) {
        pa_usec_t latency = 0;
        int negative = 0;
        const bool timed =
            m_timedConsumer && pa_stream_get_latency(stream, &latency, &negative) == 0;
        const auto now = std::chrono::steady_clock::now();
        if (pa_stream_peek(stream, &data, &bytes) != 0 || bytes == 0) {
            break;
        }
        if (data != nullptr && m_consumer) {
            m_consumer(static_cast<const float*>(data), bytes / sizeof(float));
        } else if (data != nullptr && timed) {
            const auto ago = std::chrono::microseconds(negative ? 0 : latency);
            m_timedConsumer(static_cast<const float*>(data), bytes / sizeof(float), now - ago);
        }
        pa_stream_drop(stream);
    }
}
