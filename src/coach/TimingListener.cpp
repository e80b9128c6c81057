#include "coach/TimingListener.h"

#include <stdexcept>

TimingListener::TimingListener()
    : m_capture([this](const float* samples, size_t count, TimePoint captured) {
          hear(samples, count, captured);
      }) {}

TimingListener::~TimingListener() {
    m_capture.stop();
}

bool TimingListener::listen(const Coach::TakeAnalyser::Options& options,
                            const std::string& takePath) {
    stop();
    if (!m_analyser) {
        try {
            m_analyser = std::make_unique<Coach::TakeAnalyser>(CaptureStream::kSampleRate);
        } catch (const std::runtime_error& error) {
            m_missingLibrary = error.what();
            return false;
        }
    }
    while (m_grid.take()) {
    }
    while (m_notes.take()) {
    }
    m_analyser->reset(options);
    m_takeError.clear();
    if (!takePath.empty()) {
        m_recorder.start(takePath, m_takeError);
    }
    m_capture.start();
    return true;
}

Coach::RecordedTake TimingListener::stop() {
    m_capture.stop();
    return m_recorder.finish();
}

void TimingListener::addGridPoint(TimePoint heardAt, const Coach::GridPoint& point,
                                  bool beginsTake) {
    if (listening()) {
        m_grid.post({heardAt, point, beginsTake});
    }
}

void TimingListener::outputSilenced(TimePoint heardAt) {
    if (listening()) {
        m_grid.post({heardAt, {}, false, true});
    }
}

std::optional<Coach::NoteTiming> TimingListener::takeNote() {
    return m_notes.take();
}

// The capture thread.
void TimingListener::hear(const float* samples, size_t count, TimePoint captured) {
    const std::chrono::duration<double, std::milli> age =
        std::chrono::steady_clock::now() - captured;
    m_inputLatencyMs = age.count();
    while (const auto timed = m_grid.take()) {
        if (timed->silences) {
            m_analyser->outputSilenced(timed->heardAt);
            continue;
        }
        const auto placed = m_analyser->addGridPoint(timed->heardAt, timed->point);
        if (placed && m_recorder.recording()) {
            m_recorder.mark(*placed, timed->beginsTake);
        }
    }
    if (m_recorder.recording()) {
        m_recorder.write(samples, count);
    }
    m_analyser->feed(samples, count, captured);
    for (const auto& note : m_analyser->placed()) {
        m_notes.post(note);  // 256 deep against a page that takes them every 15 ms
    }
}
