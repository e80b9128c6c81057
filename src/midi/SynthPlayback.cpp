#include "SynthPlayback.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <vector>

#include "PulseAudioStream.h"

namespace {

constexpr int kWriteFrames = 256;  // 4 ms at 64 kHz
// Messages are stamped just before they are posted; waking this much after a block becomes
// renderable makes sure a message stamped at that moment is already in.
constexpr std::chrono::microseconds kPostingMargin{200};
// Asked of the server as its own share: it then renders only a few milliseconds ahead, while the
// stream keeps about a latency's worth queued in front of it.
constexpr std::chrono::milliseconds kServerBuffer{12};
// The sound server's clock may drift from ours: once a second, after the stream has settled, its
// mean latency tells the drift follower how much to slip.
constexpr double kCheckSeconds = 1.0;
constexpr double kSettleSeconds = 3.0;

}  // namespace

SynthPlayback::SynthPlayback(SynthEngine& engine, double sampleRate)
    : m_sampleRate(sampleRate), m_renderer(engine, sampleRate, kLatency) {}

SynthPlayback::~SynthPlayback() {
    m_stopping = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool SynthPlayback::start(std::string& error) {
    const PulseAudioStream::Format format{
        static_cast<int>(m_sampleRate), kServerBuffer,
        std::chrono::microseconds(static_cast<int64_t>(kWriteFrames * 1e6 / m_sampleRate))};
    m_stream = PulseAudioStream::open("Built-in synthesizer", format, error);
    if (!m_stream) {
        return false;
    }
    m_renderer.setOrigin(Clock::now());
    m_thread = std::thread([this] { run(); });
    return true;
}

bool SynthPlayback::healthy(std::string& error) const {
    if (!m_failed) {
        return true;
    }
    std::lock_guard lock(m_errorMutex);
    error = m_error;
    return false;
}

// A thread that must never miss its deadline asks for real-time scheduling; where the system
// refuses, it stays at normal priority and relies on its buffer.
void SynthPlayback::promoteThread() {
    sched_param param{};
    param.sched_priority = std::min(20, sched_get_priority_max(SCHED_FIFO));
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

void SynthPlayback::run() {
    promoteThread();
    std::vector<float> left(kWriteFrames), right(kWriteFrames), interleaved(2 * (kWriteFrames + 1));
    int64_t nextCheck = static_cast<int64_t>(kSettleSeconds * m_sampleRate);
    while (!m_stopping) {
        std::this_thread::sleep_until(
            m_renderer.renderableAt(m_renderer.position() + kWriteFrames) + kPostingMargin);
        m_renderer.render(left.data(), right.data(), kWriteFrames);
        const int frames = kWriteFrames + slipFrames();
        for (int i = 0; i < frames; ++i) {
            const int from = std::min(i, kWriteFrames - 1);  // a slip of +1 repeats the last frame
            interleaved[2 * i] = left[from];
            interleaved[2 * i + 1] = right[from];
        }
        std::string error;
        if (!m_stream->write(interleaved.data(), frames, error)) {
            std::lock_guard lock(m_errorMutex);
            m_error = error;
            m_failed = true;
            return;
        }
        followServerClock(nextCheck);
    }
}

// The synthesizer keeps our clock, so every message stays on its frame; the stream follows the
// server's clock by leaving out or repeating a single frame now and then (a 16 us step).
int SynthPlayback::slipFrames() {
    m_slip += m_drift.rate() * kWriteFrames;
    if (m_slip >= 1) {
        m_slip -= 1;
        return -1;
    }
    if (m_slip <= -1) {
        m_slip += 1;
        return 1;
    }
    return 0;
}

void SynthPlayback::followServerClock(int64_t& nextCheck) {
    if (m_renderer.position() < nextCheck - kCheckSeconds * m_sampleRate) {
        return;  // still settling
    }
    if (const auto latency = m_stream->latency()) {
        m_latencySum += *latency;
        ++m_latencyCount;
    }
    if (m_renderer.position() < nextCheck) {
        return;
    }
    nextCheck += static_cast<int64_t>(kCheckSeconds * m_sampleRate);
    if (m_latencyCount > 0) {
        m_drift.update(std::chrono::duration<double>(m_latencySum / m_latencyCount).count());
    }
    m_latencySum = {};
    m_latencyCount = 0;
}
