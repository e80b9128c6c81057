#include "tuner/ListeningTuner.h"

#include <stdexcept>

ListeningTuner::ListeningTuner()
    : m_capture([this](const float* samples, size_t count) { hear(samples, count); }) {}

ListeningTuner::~ListeningTuner() {
    m_capture.stop();
}

bool ListeningTuner::listen() {
    if (!m_detector) {
        try {
            m_detector = std::make_unique<PitchDetector>(CaptureStream::kSampleRate);
        } catch (const std::runtime_error& error) {
            m_missingLibrary = error.what();
            return false;
        }
    }
    if (m_capture.state() == CaptureStream::State::Failed) {
        m_capture.stop();
    }
    if (!m_capture.running()) {
        m_detector->reset();
    }
    m_capture.start();
    return true;
}

void ListeningTuner::stop() {
    m_capture.stop();
    m_heard = false;
}

std::optional<ListeningTuner::Reading> ListeningTuner::latest() const {
    if (!m_heard || m_capture.state() != CaptureStream::State::Listening) {
        return std::nullopt;
    }
    return Reading{m_heardHz, m_stable};
}

// The capture thread.
void ListeningTuner::hear(const float* samples, size_t count) {
    const auto reading = m_detector->feed(samples, count);
    if (reading) {
        m_heardHz = reading->hz;
        m_stable = reading->stable;
    }
    m_heard = reading.has_value();
}
