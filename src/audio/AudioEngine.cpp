#include "audio/AudioEngine.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <cmath>

namespace {

using std::chrono::microseconds;

// Messages are stamped just before they are posted; waking this much after a block becomes
// renderable makes sure a message stamped at that moment is already in.
constexpr microseconds kPostingMargin{200};
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
// An idle thread still looks this often whether the server is there; a message to sound, or the
// program closing, wakes it at once. Each look costs a wake-up of a program that sits idle, and a
// server gone meanwhile is otherwise found by the next message, which it then cannot sound.
constexpr std::chrono::milliseconds kIdleWake{10000};

int64_t framesIn(double seconds) {
    return static_cast<int64_t>(seconds * AudioEngine::kSampleRate);
}

AudioSink::Format chooseFormat(int sinkRate) {
    constexpr int rate = static_cast<int>(AudioEngine::kSampleRate);
    const auto writeSize = microseconds(
        static_cast<int64_t>(AudioEngine::kBlockFrames * 1e6 / AudioEngine::kSampleRate));
    return {4 * sinkRate == 3 * rate ? sinkRate : rate, kServerBuffer, writeSize};
}

// A thread that must never miss its deadline asks for real-time scheduling; where the system
// refuses, it stays at normal priority and relies on its buffer.
void promoteThread() {
    sched_param param{};
    param.sched_priority = std::min(20, sched_get_priority_max(SCHED_FIFO));
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

}  // namespace

// Marks the stretch in which the audio thread may use the sources. With sequentially consistent
// atomics, a source swapped out before the mark was seen as clear is never used again.
class AudioEngine::InBlock {
public:
    explicit InBlock(std::atomic<bool>& flag) : m_flag(flag) { m_flag.store(true); }
    ~InBlock() { m_flag.store(false); }
    InBlock(const InBlock&) = delete;
    InBlock& operator=(const InBlock&) = delete;

private:
    std::atomic<bool>& m_flag;
};

AudioEngine::AudioEngine(SinkOpener openSink)
    : m_openSink(std::move(openSink)),
      m_left(kBlockFrames),
      m_right(kBlockFrames),
      m_convertedLeft(kBlockFrames),
      m_convertedRight(kBlockFrames),
      m_interleaved(4 * kBlockFrames) {}

AudioEngine::~AudioEngine() {
    stopThread();
}

void AudioEngine::stopThread() {
    m_stopping = true;
    wake();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_stopping = false;
}

bool AudioEngine::start(std::string& error) {
    if (m_thread.joinable() && !m_failed) {
        return true;
    }
    stopThread();
    if (!open(error)) {
        return false;
    }
    m_thread = std::thread([this] { run(); });
    return true;
}

bool AudioEngine::open(std::string& error) {
    m_sink.reset();
    int sinkRate = 0;
    m_sink = m_openSink(
        [&sinkRate](int rate) {
            sinkRate = rate;
            return chooseFormat(rate);
        },
        error);
    if (!m_sink) {
        return false;
    }
    m_streamRate = chooseFormat(sinkRate).sampleRate;
    if (m_streamRate != static_cast<int>(kSampleRate)) {
        m_resampler.emplace();
    } else {
        m_resampler.reset();
    }
    const auto now = Clock::now();
    if (!m_hasOrigin) {
        m_origin = now;
        m_hasOrigin = true;
    }
    // A stream opened again goes on from the frame that is due now, so sources keep their clock.
    const double due = std::chrono::duration<double>(now - m_origin).count() * kSampleRate;
    m_position = (static_cast<int64_t>(due) / kBlockFrames + 1) * kBlockFrames;
    m_timedPlaced.reset();
    resetClockFollowing();
    m_failed = false;
    return true;
}

void AudioEngine::resetClockFollowing() {
    m_queueAligned = false;
    m_paused = false;
    m_resumed = false;
    m_drift = DriftFollower();
    m_slip = 0;
    m_nextCheck = m_position + framesIn(kAlignSeconds);
    m_queuedSum = {};
    m_queuedCount = 0;
}

bool AudioEngine::healthy(std::string& error) const {
    if (!m_failed) {
        return true;
    }
    std::lock_guard lock(m_errorMutex);
    error = m_error;
    return false;
}

void AudioEngine::setTimedSource(TimedSource* source) {
    m_timed.store(source);
    ++m_timedHandovers;
    while (m_inBlock.load()) {
        std::this_thread::yield();
    }
    wake();
}

void AudioEngine::setStreamSource(StreamSource* source) {
    m_stream.store(source);
    while (m_inBlock.load()) {
        std::this_thread::yield();
    }
}

AudioEngine::Clock::time_point AudioEngine::renderableAt(int64_t frame) const {
    const double seconds = static_cast<double>(frame) / kSampleRate;
    return m_origin - kLatency +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// A block is heard the latency after it is renderable; the timed source's sound comes out of the
// resampler its delay later than the stream source's, which is mixed in after it.
AudioEngine::Clock::time_point AudioEngine::streamHeardAt(int64_t frame) const {
    const std::chrono::duration<double> resampled(
        m_resampler ? ThreeQuarterResampler::delayInInputFrames() / kSampleRate : 0.0);
    return renderableAt(frame) + kLatency - std::chrono::duration_cast<Clock::duration>(resampled);
}

AudioEngine::Clock::time_point AudioEngine::nextWriteTime() const {
    return renderableAt(m_position + kBlockFrames) + kPostingMargin;
}

void AudioEngine::run() {
    promoteThread();
    while (!m_stopping) {
        if (sourcesIdle()) {
            if (!waitWhileIdle()) {
                return;
            }
            continue;
        }
        const auto writeTime = nextWriteTime();
        std::this_thread::sleep_until(writeTime);
        if (!processBlock(writeTime, Clock::now())) {
            return;
        }
    }
}

bool AudioEngine::sourcesIdle() const {
    InBlock inBlock(m_inBlock);
    const TimedSource* timed = m_timed.load();
    const StreamSource* stream = m_stream.load();
    return (timed == nullptr || timed->idle()) && (stream == nullptr || !stream->active());
}

bool AudioEngine::processBlock(Clock::time_point writeTime, Clock::time_point now) {
    int frames = 0;
    {
        InBlock inBlock(m_inBlock);
        if (m_paused) {
            // Waiting as long as the blocks written before the pause did keeps every frame at its
            // due time plus the latency.
            m_paused = false;
            m_resumed = true;
            m_sink->resume(kLatency - kPostingMargin -
                           std::chrono::duration_cast<microseconds>(now - writeTime));
        }
        const int rendered = renderTimed(m_timed.load());
        frames = rendered + slipFrames(rendered);
        interleave(rendered, frames);
        if (StreamSource* stream = m_stream.load()) {
            stream->heardFrom(streamHeardAt(m_position));
            stream->mixInto(m_interleaved.data(), frames);
        }
    }
    m_position += kBlockFrames;
    std::string error;
    if (!m_sink->write(m_interleaved.data(), frames, error)) {
        fail(error);
        return false;
    }
    followServerClock(writeTime, now);
    return true;
}

// Renders the timed source's block and returns how many frames it makes at the stream's rate,
// left in m_left and m_right.
int AudioEngine::renderTimed(TimedSource* timed) {
    const int frames = streamFrames();
    if (timed == nullptr) {
        std::fill_n(m_left.begin(), frames, 0.0f);
        std::fill_n(m_right.begin(), frames, 0.0f);
        return frames;
    }
    placeTimed(*timed);
    timed->render(m_left.data(), m_right.data(), kBlockFrames);
    if (m_resampler) {
        m_resampler->process(m_left.data(), m_right.data(), kBlockFrames, m_convertedLeft.data(),
                             m_convertedRight.data());
        std::copy_n(m_convertedLeft.begin(), frames, m_left.begin());
        std::copy_n(m_convertedRight.begin(), frames, m_right.begin());
    }
    return frames;
}

// A source handed over, or the stream opened again, starts at the engine's position.
void AudioEngine::placeTimed(TimedSource& timed) {
    const uint32_t handover = m_timedHandovers.load();
    if (m_timedPlaced != handover) {
        timed.moveTo(m_position);
        m_timedPlaced = handover;
    }
}

void AudioEngine::interleave(int rendered, int frames) {
    for (int i = 0; i < frames; ++i) {
        const int from = std::min(i, rendered - 1);  // frames added repeat the last one
        m_interleaved[2 * i] = m_left[from];
        m_interleaved[2 * i + 1] = m_right[from];
    }
}

void AudioEngine::fail(const std::string& error) {
    std::lock_guard lock(m_errorMutex);
    m_error = error;
    m_failed = true;
}

// With nothing sounding, nothing is written and the thread sleeps until something may sound.
// The stream runs empty meanwhile; the blocks that would have been silence are left out, so the
// next block still goes to the place that keeps it on time. The last one due is still rendered,
// in case the message that woke the thread falls in it.
bool AudioEngine::waitWhileIdle() {
    // Once the stream keeps our clock, the server is let stop taking it: an empty stream that it
    // still takes wakes its output every few milliseconds.
    if (m_queueAligned && !m_paused) {
        m_paused = m_sink->pause();
    }
    if (sourcesIdle()) {
        static_cast<void>(m_wake.try_acquire_for(kIdleWake));
    }
    std::string error;
    if (!m_sink->service(error)) {
        fail(error);
        return false;
    }
    const auto now = Clock::now();
    InBlock inBlock(m_inBlock);
    TimedSource* timed = m_timed.load();
    while (renderableAt(m_position + 2 * kBlockFrames) + kPostingMargin <= now) {
        if (timed != nullptr) {
            placeTimed(*timed);
            timed->skip(kBlockFrames);
        }
        m_position += kBlockFrames;
        m_sink->skip(streamFrames() + slipFrames(streamFrames()));
    }
    m_queuedSum = {};
    m_queuedCount = 0;
    m_nextCheck = m_position + framesIn(kResumeSettleSeconds + kCheckSeconds);
    return true;
}

// The timed source keeps our clock, so every message stays on its frame; the stream follows the
// server's clock by leaving out or repeating a frame now and then (a 16-21 us step).
int AudioEngine::slipFrames(int frames) {
    m_slip += m_drift.rate() * frames;
    const int leftOut = std::clamp(static_cast<int>(std::trunc(m_slip)), -frames, frames - 1);
    m_slip -= leftOut;
    return -leftOut;
}

void AudioEngine::followServerClock(Clock::time_point writeTime, Clock::time_point now) {
    if (m_resumed) {
        // The first answer after a pause says how far the placing missed; the first blocks are
        // still silent while it comes (a message is due at the latency or later), so the slip
        // that makes it good is not heard.
        if (const auto queued = m_sink->untilPlayed()) {
            m_resumed = false;
            alignQueue(*queued + std::chrono::duration_cast<microseconds>(now - writeTime));
        }
        return;
    }
    const double window = m_queueAligned ? kCheckSeconds : kAlignWindowSeconds;
    if (m_position < m_nextCheck - framesIn(window)) {
        return;  // still settling
    }
    if (const auto queued = m_sink->untilPlayed()) {
        // As it was at the block's due time: how late this thread woke is no drift.
        m_queuedSum += *queued + std::chrono::duration_cast<microseconds>(now - writeTime);
        ++m_queuedCount;
    }
    if (m_position < m_nextCheck) {
        return;
    }
    m_nextCheck += framesIn(kCheckSeconds);
    if (m_queuedCount > 0) {
        const auto meanQueue = m_queuedSum / m_queuedCount;
        if (!m_queueAligned) {
            alignQueue(meanQueue);
            m_nextCheck += framesIn(kCheckSeconds);  // let the slip pass
        } else {
            m_drift.update(std::chrono::duration<double>(meanQueue).count());
        }
    }
    m_queuedSum = {};
    m_queuedCount = 0;
}

// The server starts taking the stream a few milliseconds after we start writing it, and by how
// much differs from start to start. Once, while the program is still starting up, the wait is
// brought to what is written ahead, so every frame is played at its due time plus the latency,
// the same on every start.
void AudioEngine::alignQueue(microseconds meanQueue) {
    m_queueAligned = true;
    const auto target = kLatency - kPostingMargin;
    const auto excess = meanQueue - target;
    // Kept from here: whatever the server's clock does until the next check is its drift.
    m_drift.settleAt(std::chrono::duration<double>(target).count());
    m_slip += std::chrono::duration<double>(excess).count() * m_streamRate;
}
