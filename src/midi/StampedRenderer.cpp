#include "StampedRenderer.h"

#include <algorithm>
#include <cmath>

namespace {
// After this long without a sounding voice (the reverb's tail included) the engine is not run:
// silence costs nothing while the program waits for the next note.
constexpr double kQuietSecondsBeforeIdle = 4.0;
}  // namespace

StampedRenderer::StampedRenderer(SynthEngine& engine, double sampleRate, Clock::duration latency)
    : m_engine(engine),
      m_sampleRate(sampleRate),
      m_latencyFrames(std::llround(std::chrono::duration<double>(latency).count() * sampleRate)) {
    m_lastChannelFrame.fill(0);
}

void StampedRenderer::setOrigin(Clock::time_point origin) {
    std::lock_guard lock(m_mutex);
    m_origin = origin;
}

void StampedRenderer::shiftOrigin(Clock::duration by) {
    std::lock_guard lock(m_mutex);
    m_origin += by;
}

int64_t StampedRenderer::frameFor(Clock::time_point due) const {
    const double seconds = std::chrono::duration<double>(due - m_origin).count();
    return m_latencyFrames + std::llround(seconds * m_sampleRate);
}

void StampedRenderer::post(uint32_t message, Clock::time_point due) {
    std::lock_guard lock(m_mutex);
    int64_t& channelFrame = m_lastChannelFrame[message & 0x0F];
    channelFrame = std::max(channelFrame, frameFor(due));
    m_pending.emplace(channelFrame, message);
}

StampedRenderer::Clock::time_point StampedRenderer::renderableAt(int64_t frame) const {
    std::lock_guard lock(m_mutex);
    const double seconds = static_cast<double>(frame - m_latencyFrames) / m_sampleRate;
    return m_origin +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::vector<std::pair<int64_t, uint32_t>> StampedRenderer::takeBefore(int64_t frame) {
    std::lock_guard lock(m_mutex);
    const auto end = m_pending.lower_bound(frame);
    std::vector<std::pair<int64_t, uint32_t>> due(m_pending.begin(), end);
    m_pending.erase(m_pending.begin(), end);
    return due;
}

void StampedRenderer::render(float* left, float* right, int frames) {
    const auto due = takeBefore(m_position + frames);
    int done = 0;
    for (const auto& [frame, message] : due) {
        const int offset = static_cast<int>(std::max<int64_t>(done, frame - m_position));
        renderEngine(left + done, right + done, offset - done, true);
        done = offset;
        m_engine.apply(message);
    }
    renderEngine(left + done, right + done, frames - done, !due.empty());
    m_position += frames;
}

void StampedRenderer::renderEngine(float* left, float* right, int frames, bool messagesDue) {
    if (frames <= 0) {
        return;
    }
    // Skipping whole engine blocks keeps later messages on the engine's block boundaries.
    const bool idle = !messagesDue && frames % SynthEngine::kBlockFrames == 0 &&
                      m_quietFrames >= kQuietSecondsBeforeIdle * m_sampleRate;
    if (idle) {
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
        return;
    }
    m_engine.render(left, right, frames);
    m_quietFrames = m_engine.isSounding() ? 0 : m_quietFrames + frames;
}
