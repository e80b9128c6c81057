#include "synth/StampedRenderer.h"

#include <algorithm>
#include <cmath>

namespace {
// Below this level (-100 dBFS, under the smallest step of 16-bit sound) the reverb's tail is over.
constexpr float kSilenceLevel = 1e-5f;
// After this long without a sounding voice or any sound the engine is not run until the next
// message: between the clicks of a metronome it would only render silence.
constexpr double kQuietSecondsBeforeSkipping = 0.05;
// After this long the output is let run empty until the next message. Through the pauses of even
// a slow metronome it keeps running, and with it the following of the sound server's clock.
constexpr double kQuietSecondsBeforeIdle = 4.0;

float peakOf(const float* left, const float* right, int frames) {
    float peak = 0;
    for (int i = 0; i < frames; ++i) {
        peak = std::max({peak, std::abs(left[i]), std::abs(right[i])});
    }
    return peak;
}
}  // namespace

StampedRenderer::StampedRenderer(SynthEngine& engine, double sampleRate, Clock::duration latency)
    : m_engine(engine),
      m_sampleRate(sampleRate),
      m_latencyFrames(std::llround(std::chrono::duration<double>(latency).count() * sampleRate)) {}

void StampedRenderer::setOrigin(Clock::time_point origin) {
    m_origin = origin.time_since_epoch().count();
}

int64_t StampedRenderer::frameFor(Clock::time_point due) const {
    const Clock::time_point origin{Clock::duration(m_origin.load())};
    const double seconds = std::chrono::duration<double>(due - origin).count();
    return m_latencyFrames + std::llround(seconds * m_sampleRate);
}

bool StampedRenderer::post(uint32_t message, Clock::time_point due) {
    return m_queue.post(message, frameFor(due));
}

void StampedRenderer::render(float* left, float* right, int frames) {
    m_queue.collect();
    const size_t due = m_queue.countBefore(m_position + frames);
    int done = 0;
    for (size_t i = 0; i < due; ++i) {
        const StampedQueue::Entry& entry = m_queue.pending()[i];
        const int offset = static_cast<int>(std::max<int64_t>(done, entry.stamp - m_position));
        renderEngine(left + done, right + done, offset - done, true);
        done = offset;
        m_engine.apply(entry.message);
    }
    m_queue.dropFront(due);
    renderEngine(left + done, right + done, frames - done, due > 0);
    m_position += frames;
}

void StampedRenderer::skip(int frames) {
    m_position += frames;
    m_quietFrames += frames;
}

bool StampedRenderer::idle() const {
    return m_queue.empty() && m_quietFrames >= kQuietSecondsBeforeIdle * m_sampleRate;
}

void StampedRenderer::renderEngine(float* left, float* right, int frames, bool messagesDue) {
    if (frames <= 0) {
        return;
    }
    // Skipping whole engine blocks keeps later messages on the engine's block boundaries.
    if (!messagesDue && frames % SynthEngine::kBlockFrames == 0 &&
        m_quietFrames >= kQuietSecondsBeforeSkipping * m_sampleRate) {
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
        m_quietFrames += frames;
        return;
    }
    m_engine.render(left, right, frames);
    const bool silent = !m_engine.isSounding() && peakOf(left, right, frames) < kSilenceLevel;
    m_quietFrames = silent ? m_quietFrames + frames : 0;
}
