#include "audio/CaptureStream.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <vector>

namespace {
constexpr size_t kBlockFrames = CaptureStream::kSampleRate / 100;
}  // namespace

CaptureStream::CaptureStream(Consumer consumer) : m_consumer(std::move(consumer)) {}

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

void CaptureStream::fail(const std::string& error) {
    {
        std::lock_guard lock(m_errorMutex);
        m_error = error;
    }
    m_state = State::Failed;
}

// A read waits for one block at the most, so a stop is taken up within 10 ms.
void CaptureStream::run(std::string source) {
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, kSampleRate, 1};
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.fragsize = static_cast<uint32_t>(kBlockFrames * sizeof(float));
    int code = 0;
    pa_simple* stream =
        pa_simple_new(nullptr, "RZ77", PA_STREAM_RECORD, source.empty() ? nullptr : source.c_str(),
                      "Tuner input", &spec, nullptr, &attributes, &code);
    if (stream == nullptr) {
        fail(std::string("No sound input could be opened: ") + pa_strerror(code) + ".");
        return;
    }
    m_state = State::Listening;
    std::vector<float> block(kBlockFrames);
    while (!m_stop) {
        if (pa_simple_read(stream, block.data(), block.size() * sizeof(float), &code) < 0) {
            fail(std::string("The sound input went away: ") + pa_strerror(code) + ".");
            break;
        }
        m_consumer(block.data(), block.size());
    }
    pa_simple_free(stream);
}
