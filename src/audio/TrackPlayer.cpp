#include "audio/TrackPlayer.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <string>

namespace {

constexpr int kChunkFrames = 1024;
// A loop's seam and a change while playing: the old sound fades out while the new fades in, at
// equal power.
constexpr double kSeamSeconds = 0.005;
constexpr double kAheadSeconds = 2.5;
// How far ahead of the stream a change is heard: time for the worker to render the new sound.
constexpr double kChangeLeadSeconds = 0.05;
constexpr int kCountInBeats = 4;
constexpr double kClickSeconds = 0.025;
constexpr double kAccentGain = 0.5;
constexpr double kBeatGain = 0.3;
// Slower than this a count-in is mostly waiting (30 BPM at 25 % is a click every 8 s): it then
// clicks on the beat's halves, quarters... as a player counts a slow piece in.
constexpr double kSlowestCountInBpm = 40;
// The worker is not woken by the audio thread, which must not touch a lock: it looks this often.
constexpr std::chrono::milliseconds kPlayingPoll{20};
constexpr std::chrono::milliseconds kRestingPoll{250};
constexpr std::chrono::milliseconds kLongestCue{500};
// While the controlling thread waits for the lock, the worker sleeps this long without it.
constexpr std::chrono::milliseconds kGiveWay{1};
// Below the audio thread (20), above everything that loads the machine at normal priority.
constexpr int kWorkerPriority = 10;
constexpr int kWorkerNice = -10;

size_t ringSamples(int streamRate) {
    return static_cast<size_t>(kAheadSeconds * streamRate) * 2;
}

// Two inharmonic partials under a fast decay: a short tick that cuts through a band.
std::vector<float> clickTone(int rate) {
    std::vector<float> tone(static_cast<size_t>(kClickSeconds * rate));
    for (size_t i = 0; i < tone.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        tone[i] = static_cast<float>(std::exp(-t / 0.004) *
                                     (0.6 * std::sin(2 * std::numbers::pi * 2000 * t) +
                                      0.4 * std::sin(2 * std::numbers::pi * 3300 * t)));
    }
    return tone;
}

double countInBpm(double beatsPerMinute) {
    while (beatsPerMinute < kSlowestCountInBpm) {
        beatsPerMinute *= 2;
    }
    return beatsPerMinute;
}

// The worker must keep the ring ahead of the audio thread while other work loads every core (at
// normal priority it ran dry there): real-time where the system allows it, else as high a
// priority as a user may take, else as it was.
void raiseWorkerPriority() {
    sched_param param{};
    param.sched_priority = std::min(kWorkerPriority, sched_get_priority_max(SCHED_FIFO));
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0) {
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kWorkerNice);
    }
}

double seamAngle(int i, int frames) {
    return std::numbers::pi / 2 * (i + 0.5) / frames;
}

}  // namespace

TrackPlayer::TrackPlayer(int streamRate, std::optional<StretchEngine> engine)
    : m_streamRate(streamRate),
      m_seamFrames(static_cast<int>(kSeamSeconds * streamRate)),
      m_ring(ringSamples(streamRate)),
      m_engine(engine),
      m_render(std::make_unique<TrackRender>(streamRate, engine.value_or(StretchEngine::Faster))),
      m_chunk(2 * kChunkFrames),
      m_fadeOut(2 * static_cast<size_t>(m_seamFrames)),
      m_fadeIn(m_fadeOut.size()),
      m_click(clickTone(streamRate)),
      m_worker([this] { renderAhead(); }) {
    // Measured at once on a thread of its own, so that nothing waits for it and the first
    // change of speed already has the engine that keeps up.
    if (!engine) {
        m_measuring = std::thread([this] {
            m_measuredEngine.store(static_cast<int>(TrackRender::measureEngine(m_streamRate)));
        });
    }
}

TrackPlayer::~TrackPlayer() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wakeWorker.notify_one();
    m_worker.join();
    if (m_measuring.joinable()) {
        m_measuring.join();
    }
}

bool TrackPlayer::load(std::unique_ptr<Mp3Decoder> decoder, std::string& error) {
    m_state.store(State::Stopped);
    waitForAudioThread();
    const auto lock = controlLock();
    m_decoder = std::move(decoder);
    m_loop.reset();
    const bool converts = !m_decoder || m_decoder->setOutputRate(m_streamRate, error);
    if (!converts) {
        m_decoder.reset();
    }
    m_render->setDecoder(m_decoder.get());
    rewindLocked();
    return converts;
}

void TrackPlayer::play() {
    if (m_state.load() == State::Over) {
        stop();
    }
    State resting = m_state.load();
    if (resting != State::Playing) {
        m_state.compare_exchange_strong(resting, State::Playing);
    }
    m_wakeWorker.notify_one();
}

void TrackPlayer::pause() {
    State playingNow = State::Playing;
    m_state.compare_exchange_strong(playingNow, State::Paused);
}

void TrackPlayer::stop() {
    m_state.store(State::Stopped);
    waitForAudioThread();
    const auto lock = controlLock();
    rewindLocked();
}

void TrackPlayer::seek(int64_t frame) {
    auto lock = controlLock();
    // A track over or stopped waits at the new place for play.
    if (!playing()) {
        m_state.store(State::Paused);
    }
    cueLocked(lock, std::max<int64_t>(frame, 0));
}

void TrackPlayer::setLoop(std::optional<Loop> loop) {
    auto lock = controlLock();
    m_loop =
        loop && loop->from >= 0 && loop->to > loop->from && loop->to - loop->from > 2 * m_seamFrames
            ? loop
            : std::nullopt;
    m_pass = 0;
    cueLocked(lock, std::nullopt);  // what is rendered ahead was rendered without this loop
}

void TrackPlayer::setTuning(const TrackTuning& tuning) {
    auto lock = controlLock();
    if (tuning != m_tuning) {
        m_tuning = tuning;
        cueLocked(lock, std::nullopt);
    }
}

void TrackPlayer::setTrainer(std::optional<SpeedTrainer> trainer) {
    auto lock = controlLock();
    if (trainer != m_trainer) {
        m_trainer = trainer;
        m_pass = 0;
        cueLocked(lock, std::nullopt);
    }
}

void TrackPlayer::setCountIn(std::optional<double> beatsPerMinute) {
    const bool stopped = m_state.load() == State::Stopped;
    const auto lock = controlLock();
    const bool counts = beatsPerMinute && std::isfinite(*beatsPerMinute) && *beatsPerMinute > 0;
    m_countInBpm = counts ? beatsPerMinute : std::nullopt;
    if (stopped) {  // the start waiting for play gets the count-in, or loses it
        rewindLocked();
    }
}

// The worker gives way to the controlling thread between two chunks it renders.
std::unique_lock<std::mutex> TrackPlayer::controlLock() const {
    m_controlWaiting.fetch_add(1);
    std::unique_lock lock(m_mutex);
    m_controlWaiting.fetch_sub(1);
    return lock;
}

// Returns once the worker has the change in hand, so that what follows (a play, a look at the
// position) meets it.
void TrackPlayer::cueLocked(std::unique_lock<std::mutex>& lock, std::optional<int64_t> frame) {
    if (frame || !m_cue) {
        m_cue = Cue{frame};
    }
    m_wakeWorker.notify_one();
    // Counted as waiting, so that the worker gives way once it has taken the change in hand.
    m_controlWaiting.fetch_add(1);
    m_cueTaken.wait_for(lock, kLongestCue, [this] { return !m_cue; });
    m_controlWaiting.fetch_sub(1);
}

int64_t TrackPlayer::playedFrames() const {
    const auto lock = controlLock();
    return positionAtLocked(static_cast<int64_t>(m_ring.readCount() / 2));
}

double TrackPlayer::playingSpeed() const {
    const auto lock = controlLock();
    const Jump* jump = jumpAtLocked(static_cast<int64_t>(m_ring.readCount() / 2));
    return jump ? jump->speed : tuningNowLocked().speed;
}

const TrackPlayer::Jump* TrackPlayer::jumpAtLocked(int64_t streamFrame) const {
    for (auto jump = m_jumps.rbegin(); jump != m_jumps.rend(); ++jump) {
        if (jump->streamFrame <= streamFrame) {
            return &*jump;
        }
    }
    return nullptr;
}

int64_t TrackPlayer::positionAtLocked(int64_t streamFrame) const {
    const Jump* jump = jumpAtLocked(streamFrame);
    return jump
               ? jump->trackFrame +
                     std::llround(static_cast<double>(streamFrame - jump->streamFrame) * jump->rate)
               : 0;
}

TrackTuning TrackPlayer::tuningNowLocked() const {
    TrackTuning tuning = m_tuning;
    if (m_trainer && m_loop) {
        tuning.speed = m_trainer->speedForPass(m_pass);
    }
    return tuning;
}

// Once this returns, a read the audio thread began before returns has ended, and the next one
// sees the track's state and the ring's fence: its flag, the state and the fence are
// sequentially consistent.
void TrackPlayer::waitForAudioThread() const {
    while (m_mixing.load()) {
        std::this_thread::yield();
    }
}

// Only while the audio thread leaves the ring alone.
void TrackPlayer::rewindLocked() {
    m_ring.clear();
    m_cue.reset();
    m_pass = 0;
    m_countInLeft = 0;
    m_fadeInAt = -1;
    m_jumps.clear();
    startRenderLocked(0);
    m_renderedAll.store(!m_decoder);
    if (m_countInBpm && m_decoder) {
        startCountInLocked(tuningNowLocked().speed);
    }
    m_jumps.push_back({static_cast<int64_t>(m_countInLeft), 0, m_render->tuning().speed,
                       m_render->tuning().speed});
    m_wakeWorker.notify_one();
}

void TrackPlayer::startRenderLocked(int64_t frame) {
    const TrackTuning tuning = tuningNowLocked();
    if (!tuning.plain()) {
        chooseEngineLocked();
    }
    m_render->start(frame, tuning);
}

// Until the measurement is in, the faster engine stretches.
void TrackPlayer::chooseEngineLocked() {
    const int measured = m_measuredEngine.load();
    if (!m_engine && measured >= 0) {
        m_engine = static_cast<StretchEngine>(measured);
        if (m_engine == StretchEngine::Finer) {
            m_render = std::make_unique<TrackRender>(m_streamRate, *m_engine);
            m_render->setDecoder(m_decoder.get());
        }
    }
}

void TrackPlayer::startCountInLocked(double speed) {
    m_countInBeat = 60.0 / countInBpm(*m_countInBpm * speed) * m_streamRate;
    m_countInLeft = std::llround(kCountInBeats * m_countInBeat);
    m_countInAt = 0;
    m_fadeInAt = 0;
}

void TrackPlayer::mixInto(float* interleaved, int frames) {
    m_mixing.store(true);
    if (m_state.load() == State::Playing) {
        const size_t read = m_ring.readAdding(interleaved, 2 * static_cast<size_t>(frames));
        // A ring run dry before the end only delays the track: nothing is skipped.
        if (read == 0 && m_renderedAll.load() && m_ring.empty()) {
            State playingNow = State::Playing;
            m_state.compare_exchange_strong(playingNow, State::Over);
        }
    }
    m_mixing.store(false);
}

void TrackPlayer::renderAhead() {
    raiseWorkerPriority();
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (!m_engine && m_measuredEngine.load() >= 0 && !m_render->tuning().plain()) {
            m_cue = Cue{};  // on with the engine measured
        }
        if (m_cue) {
            rewriteLocked();
            m_cueTaken.notify_all();
            continue;
        }
        if (m_controlWaiting.load() > 0) {
            // A yield would not let a thread of lower priority in.
            m_wakeWorker.wait_for(lock, kGiveWay);
            continue;
        }
        if (m_decoder && !m_renderedAll.load() && m_ring.space() >= m_chunk.size()) {
            renderChunkLocked();
            continue;
        }
        m_wakeWorker.wait_for(lock, playing() ? kPlayingPoll : kRestingPoll);
    }
}

void TrackPlayer::renderChunkLocked() {
    if (m_countInLeft > 0) {
        writeCountInLocked();
        return;
    }
    int wanted = kChunkFrames;
    const double speed = m_render->tuning().speed;
    if (m_loop && m_render->position() < m_loop->to) {
        const double seamAt = static_cast<double>(m_loop->to) - m_seamFrames * speed;
        const double untilSeam =
            std::ceil((seamAt - static_cast<double>(m_render->position())) / speed);
        if (untilSeam <= 0) {
            writeSeamLocked();
            return;
        }
        wanted = static_cast<int>(std::min<double>(wanted, untilSeam));
    }
    const int frames = m_render->render(m_chunk.data(), wanted);
    writeLocked(m_chunk.data(), frames);
    if (frames < wanted) {
        if (m_loop) {
            writeSeamLocked();  // a loop that reaches the end goes round from there
        } else {
            m_renderedAll.store(true);
        }
    }
}

// The fade-in after a count-in is applied on the way into the ring.
void TrackPlayer::writeLocked(float* interleaved, int frames) {
    if (m_fadeInAt >= 0) {
        const int fading = std::min(frames, m_seamFrames - m_fadeInAt);
        for (int i = 0; i < 2 * fading; ++i) {
            interleaved[i] = static_cast<float>(
                interleaved[i] * std::sin(seamAngle(m_fadeInAt + i / 2, m_seamFrames)));
        }
        m_fadeInAt = m_fadeInAt + fading >= m_seamFrames ? -1 : m_fadeInAt + fading;
    }
    m_ring.write(interleaved, 2 * static_cast<size_t>(frames));
}

void TrackPlayer::dropHeardJumpsLocked() {
    const auto heard = static_cast<int64_t>(m_ring.readCount() / 2);
    while (m_jumps.size() > 2 && m_jumps[1].streamFrame <= heard) {
        m_jumps.pop_front();
    }
}

void TrackPlayer::writeSeamLocked() {
    std::fill(m_fadeOut.begin(), m_fadeOut.end(), 0.0f);
    m_render->render(m_fadeOut.data(), m_seamFrames);
    if (m_trainer) {
        ++m_pass;
    }
    startRenderLocked(m_loop->from);
    const double speed = m_render->tuning().speed;
    const auto streamFrame = static_cast<int64_t>(m_ring.written() / 2);
    if (m_countInBpm) {
        for (int i = 0; i < 2 * m_seamFrames; ++i) {
            m_fadeOut[i] =
                static_cast<float>(m_fadeOut[i] * std::cos(seamAngle(i / 2, m_seamFrames)));
        }
        m_ring.write(m_fadeOut.data(), m_fadeOut.size());
        startCountInLocked(speed);
        m_jumps.push_back({streamFrame + m_seamFrames, m_loop->from, 0.0, speed});
        m_jumps.push_back({streamFrame + m_seamFrames + m_countInLeft, m_loop->from, speed, speed});
    } else {
        writeCrossfadeLocked();
        m_jumps.push_back({streamFrame, m_loop->from, speed, speed});
    }
    dropHeardJumpsLocked();
}

// From the sound in m_fadeOut into the render's next frames, at equal power.
void TrackPlayer::writeCrossfadeLocked() {
    std::fill(m_fadeIn.begin(), m_fadeIn.end(), 0.0f);
    m_render->render(m_fadeIn.data(), m_seamFrames);
    for (int i = 0; i < 2 * m_seamFrames; ++i) {
        const double angle = seamAngle(i / 2, m_seamFrames);
        m_chunk[i] =
            static_cast<float>(m_fadeOut[i] * std::cos(angle) + m_fadeIn[i] * std::sin(angle));
    }
    m_ring.write(m_chunk.data(), m_fadeOut.size());
}

void TrackPlayer::writeCountInLocked() {
    const auto frames = static_cast<int>(std::min<int64_t>(kChunkFrames, m_countInLeft));
    std::fill_n(m_chunk.begin(), 2 * frames, 0.0f);
    const auto clickFrames = static_cast<int64_t>(m_click.size());
    for (int beat = 0; beat < kCountInBeats; ++beat) {
        const int64_t onset = std::llround(beat * m_countInBeat);
        const float gain = beat == 0 ? kAccentGain : kBeatGain;
        for (int64_t at = std::max(onset, m_countInAt);
             at < std::min(onset + clickFrames, m_countInAt + frames); ++at) {
            const float sample = gain * m_click[static_cast<size_t>(at - onset)];
            m_chunk[2 * static_cast<size_t>(at - m_countInAt)] += sample;
            m_chunk[2 * static_cast<size_t>(at - m_countInAt) + 1] += sample;
        }
    }
    m_ring.write(m_chunk.data(), 2 * static_cast<size_t>(frames));
    m_countInAt += frames;
    m_countInLeft -= frames;
}

// The audio thread is fenced off what was rendered beyond a lead, which is then rendered anew:
// while the track plays, the old sound crossfades into the new at the fence.
void TrackPlayer::rewriteLocked() {
    const Cue cue = *m_cue;
    m_cue.reset();
    if (m_state.load() == State::Stopped) {
        rewindLocked();  // the start waits for play, with its count-in
        return;
    }
    m_renderedAll.store(false);
    const bool audible = playing();
    const size_t lead = audible ? 2 * static_cast<size_t>(kChangeLeadSeconds * m_streamRate) : 0;
    size_t fence = m_ring.readCount() + lead;
    m_ring.setFence(fence);
    waitForAudioThread();
    fence = std::max(fence, m_ring.readCount());
    m_ring.setFence(fence);
    const size_t from = std::min(fence, m_ring.written());
    const auto fromFrame = static_cast<int64_t>(from / 2);
    std::fill(m_fadeOut.begin(), m_fadeOut.end(), 0.0f);
    const size_t tail = audible ? m_ring.peek(from, m_fadeOut.data(), m_fadeOut.size()) : 0;
    m_ring.takeBack(from);

    int64_t target = cue.frame.value_or(positionAtLocked(fromFrame));
    if (m_loop && target >= m_loop->to) {
        target = m_loop->from;
    }
    while (!m_jumps.empty() && m_jumps.back().streamFrame >= fromFrame) {
        m_jumps.pop_back();
    }
    m_countInLeft = 0;
    m_fadeInAt = -1;
    startRenderLocked(target);
    const double speed = m_render->tuning().speed;
    m_jumps.push_back({fromFrame, m_render->position(), speed, speed});
    if (tail > 0) {
        writeCrossfadeLocked();
    }
    dropHeardJumpsLocked();
    m_ring.setFence(SampleRing::kNoFence);
}
