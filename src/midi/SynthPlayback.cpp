#include "SynthPlayback.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <cmath>

#include "PulseAudioStream.h"

namespace {

// Messages are stamped just before they are posted; waking this much after a block becomes
// renderable makes sure a message stamped at that moment is already in.
constexpr std::chrono::microseconds kPostingMargin{200};
// Asked of the server as its own share: it then renders 4 ms ahead, while the stream keeps the
// rest of the latency queued in front of it.
constexpr std::chrono::milliseconds kServerBuffer{16};
// How long a frame waits until the server's output plays it is measured from half a second to one
// second after the stream has started, then brought to the latency once. Then the sound server's
// clock may drift from ours: once a second, the mean wait tells the drift follower how much to
// slip.
constexpr double kAlignSeconds = 1.0;
constexpr double kAlignWindowSeconds = 0.5;
constexpr double kCheckSeconds = 1.0;
// After the stream has run empty, the server's last report of its read position may be from
// before the pause.
constexpr double kResumeSettleSeconds = 0.5;
// An idle thread still looks this often whether the server is there and the program is closing.
constexpr std::chrono::milliseconds kIdleWake{250};

}  // namespace

SynthPlayback::SynthPlayback(SynthEngine& engine, double sampleRate)
    : m_sampleRate(sampleRate),
      m_renderer(engine, sampleRate, kLatency),
      m_convertedLeft(kWriteFrames),
      m_convertedRight(kWriteFrames) {}

SynthPlayback::~SynthPlayback() {
    m_stopping = true;
    m_renderer.interruptWait();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool SynthPlayback::start(std::string& error) {
    const auto chooseFormat = [this](int sinkRate) {
        int rate = static_cast<int>(m_sampleRate);
        if (4 * sinkRate == 3 * rate) {
            rate = sinkRate;
            m_resampler.emplace();
        }
        return PulseAudioStream::Format{
            rate, kServerBuffer,
            std::chrono::microseconds(static_cast<int64_t>(kWriteFrames * 1e6 / m_sampleRate))};
    };
    m_stream = PulseAudioStream::open("Built-in synthesizer", chooseFormat, error);
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
    std::vector<float> left(kWriteFrames), right(kWriteFrames), interleaved(4 * kWriteFrames);
    m_nextCheck = static_cast<int64_t>(kAlignSeconds * m_sampleRate);
    while (!m_stopping) {
        if (m_renderer.idle()) {
            if (!waitWhileIdle()) {
                return;
            }
            continue;
        }
        const auto writeTime =
            m_renderer.renderableAt(m_renderer.position() + kWriteFrames) + kPostingMargin;
        std::this_thread::sleep_until(writeTime);
        m_renderer.render(left.data(), right.data(), kWriteFrames);
        const float* outLeft = left.data();
        const float* outRight = right.data();
        const int rendered = toStreamRate(outLeft, outRight);
        const int frames = rendered + slipFrames(rendered);
        for (int i = 0; i < frames; ++i) {
            const int from = std::min(i, rendered - 1);  // frames added repeat the last one
            interleaved[2 * i] = outLeft[from];
            interleaved[2 * i + 1] = outRight[from];
        }
        std::string error;
        if (!m_stream->write(interleaved.data(), frames, error)) {
            fail(error);
            return;
        }
        followServerClock(writeTime);
    }
}

void SynthPlayback::fail(const std::string& error) {
    std::lock_guard lock(m_errorMutex);
    m_error = error;
    m_failed = true;
}

// With nothing sounding, nothing is written and the thread sleeps until the next message. The
// stream runs empty meanwhile; the blocks that would have been silence are left out, so the next
// block still goes to the place that keeps it on time. The last one due is still rendered, in case
// the message that woke the thread falls in it.
bool SynthPlayback::waitWhileIdle() {
    m_renderer.waitForPost(kIdleWake);
    std::string error;
    if (!m_stream->service(error)) {
        fail(error);
        return false;
    }
    const auto now = Clock::now();
    while (m_renderer.renderableAt(m_renderer.position() + 2 * kWriteFrames) + kPostingMargin <=
           now) {
        m_renderer.skip(kWriteFrames);
        m_stream->skip(streamFrames() + slipFrames(streamFrames()));
    }
    m_queuedSum = {};
    m_queuedCount = 0;
    m_nextCheck = m_renderer.position() +
                  static_cast<int64_t>((kResumeSettleSeconds + kCheckSeconds) * m_sampleRate);
    return true;
}

// Returns the number of frames left at the stream's rate, pointing the buffers at them.
int SynthPlayback::toStreamRate(const float*& left, const float*& right) {
    if (!m_resampler) {
        return kWriteFrames;
    }
    m_resampler->process(left, right, kWriteFrames, m_convertedLeft.data(),
                         m_convertedRight.data());
    left = m_convertedLeft.data();
    right = m_convertedRight.data();
    return streamFrames();
}

// The synthesizer keeps our clock, so every message stays on its frame; the stream follows the
// server's clock by leaving out or repeating a frame now and then (a 16-21 us step).
int SynthPlayback::slipFrames(int frames) {
    m_slip += m_drift.rate() * frames;
    const int leftOut = std::clamp(static_cast<int>(std::trunc(m_slip)), -frames, frames - 1);
    m_slip -= leftOut;
    return -leftOut;
}

void SynthPlayback::followServerClock(Clock::time_point writeTime) {
    const double window = m_queueAligned ? kCheckSeconds : kAlignWindowSeconds;
    if (m_renderer.position() < m_nextCheck - window * m_sampleRate) {
        return;  // still settling
    }
    if (const auto queued = m_stream->untilPlayed()) {
        // As it was at the block's due time: how late this thread woke is no drift.
        m_queuedSum += *queued + std::chrono::duration_cast<std::chrono::microseconds>(
                                     Clock::now() - writeTime);
        ++m_queuedCount;
    }
    if (m_renderer.position() < m_nextCheck) {
        return;
    }
    m_nextCheck += static_cast<int64_t>(kCheckSeconds * m_sampleRate);
    if (m_queuedCount > 0) {
        const auto meanQueue = m_queuedSum / m_queuedCount;
        if (!m_queueAligned) {
            alignQueue(meanQueue);
            m_nextCheck += static_cast<int64_t>(kCheckSeconds * m_sampleRate);  // let the slip pass
        } else {
            m_drift.update(std::chrono::duration<double>(meanQueue).count());
        }
    }
    m_queuedSum = {};
    m_queuedCount = 0;
}

// The server starts taking the stream a few milliseconds after we start writing it, and by how
// much differs from start to start. Once, while the program is still starting up, the wait is
// brought to what is written ahead, so every message is played at its due time plus the latency,
// the same on every start.
void SynthPlayback::alignQueue(std::chrono::microseconds meanQueue) {
    m_queueAligned = true;
    const auto excess = meanQueue - (kLatency - kPostingMargin);
    m_slip += std::chrono::duration<double>(excess).count() * m_sampleRate * streamFrames() /
              kWriteFrames;
}
