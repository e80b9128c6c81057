#include "audio/TrackPlayer.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace {

constexpr double kAheadSeconds = 2.5;
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

}  // namespace

TrackPlayer::TrackPlayer(int streamRate, std::optional<StretchEngine> engine)
    : m_streamRate(streamRate),
      m_ring(ringSamples(streamRate)),
      m_engine(engine),
      m_renderEngine(engine.value_or(StretchEngine::Faster)),
      m_render(std::make_unique<TrackRender>(streamRate, m_renderEngine)),
      m_timeline(
          streamRate, m_ring,
          [this](const TrackTuning& tuning) -> TrackRender& { return renderForLocked(tuning); }),
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

bool TrackPlayer::load(std::unique_ptr<TrackDecoder> decoder, std::string& error) {
    m_state.store(State::Stopped);
    waitForAudioThread();
    const auto lock = controlLock();
    m_decoder = std::move(decoder);
    m_timeline.setLoop(std::nullopt);
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
    // The same loop again (the track page sets it once it knows the track's length) keeps the
    // pass that plays, and the trainer's count.
    if (m_timeline.setLoop(loop)) {
        cueLocked(lock, std::nullopt);  // what is rendered ahead was rendered without this loop
    }
}

void TrackPlayer::setTuning(const TrackTuning& tuning) {
    auto lock = controlLock();
    if (m_timeline.setTuning(tuning)) {
        cueLocked(lock, std::nullopt);
    }
}

void TrackPlayer::setTrainer(std::optional<SpeedTrainer> trainer) {
    auto lock = controlLock();
    if (m_timeline.setTrainer(trainer)) {
        cueLocked(lock, std::nullopt);
    }
}

void TrackPlayer::setFasterStretch(bool faster) {
    auto lock = controlLock();
    if (m_fasterWanted != faster) {
        m_fasterWanted = faster;
        if (!m_render->tuning().plain()) {
            cueLocked(lock, std::nullopt);
        }
    }
}

void TrackPlayer::setCountIn(std::optional<double> beatsPerMinute) {
    const bool stopped = m_state.load() == State::Stopped;
    const auto lock = controlLock();
    m_timeline.setCountIn(beatsPerMinute);
    if (stopped) {  // the start waiting for play gets the count-in, or loses it
        rewindLocked();
    }
}

void TrackPlayer::setGrid(std::optional<BeatGrid> grid) {
    auto lock = controlLock();
    if (m_timeline.setGrid(std::move(grid))) {
        cueLocked(lock, std::nullopt);
    }
}

void TrackPlayer::setSongClick(std::optional<SongClick> click) {
    auto lock = controlLock();
    if (m_timeline.setSongClick(std::move(click))) {
        cueLocked(lock, std::nullopt);
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
    return m_timeline.positionAt(static_cast<int64_t>(m_ring.readCount() / 2));
}

double TrackPlayer::playingSpeed() const {
    const auto lock = controlLock();
    return m_timeline.speedAt(static_cast<int64_t>(m_ring.readCount() / 2));
}

TrackTimeline::PassesHeard TrackPlayer::takePassesHeard() {
    const auto lock = controlLock();
    return m_timeline.takePassesHeard(static_cast<int64_t>(m_ring.readCount() / 2));
}

std::vector<TrackPlayer::ComingBeat> TrackPlayer::takeComingBeats() {
    const auto lock = controlLock();
    const auto stamp = m_heard.current(HeardStamp::Clock::now());
    const auto read = static_cast<int64_t>(m_ring.readCount() / 2);
    std::vector<ComingBeat> coming;
    // A stamp ahead of what the stream has read is from before a rewind.
    if (!playing() || !stamp || stamp->frame > read) {
        return coming;
    }
    const auto lead = static_cast<int64_t>(TrackTimeline::kChangeLeadSeconds * m_streamRate);
    for (const auto& beat : m_timeline.takeBeatsPlayed(read + lead)) {
        if (beat.streamFrame >= stamp->frame) {  // else heard already, or about to be
            coming.push_back({stamp->heardAtFrame(beat.streamFrame, m_streamRate), beat});
        }
    }
    return coming;
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
    m_cue.reset();
    m_timeline.rewind(m_decoder != nullptr);
    m_renderedAll.store(m_timeline.renderedAll());
    m_wakeWorker.notify_one();
}

TrackRender& TrackPlayer::renderForLocked(const TrackTuning& tuning) {
    if (!tuning.plain()) {
        chooseEngineLocked();
    }
    return *m_render;
}

void TrackPlayer::chooseEngineLocked() {
    const StretchEngine wanted = wantedEngineLocked();
    if (wanted != m_renderEngine) {
        m_renderEngine = wanted;
        m_render = std::make_unique<TrackRender>(m_streamRate, wanted);
        m_render->setDecoder(m_decoder.get());
    }
}

// Until the measurement is in, the faster engine stretches.
StretchEngine TrackPlayer::wantedEngineLocked() const {
    if (m_fasterWanted) {
        return StretchEngine::Faster;
    }
    if (m_engine) {
        return *m_engine;
    }
    const int measured = m_measuredEngine.load();
    return measured >= 0 ? static_cast<StretchEngine>(measured) : StretchEngine::Faster;
}

void TrackPlayer::mixInto(float* interleaved, int frames) {
    m_mixing.store(true);
    if (m_state.load() == State::Playing) {
        m_heard.publish(static_cast<int64_t>(m_ring.readCount() / 2), m_blockHeardAt);
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
        if (wantedEngineLocked() != m_renderEngine && !m_render->tuning().plain()) {
            m_cue = Cue{};  // on with the engine measured or chosen
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
        if (m_decoder && m_timeline.wantsChunk()) {
            m_timeline.renderChunk();
            m_renderedAll.store(m_timeline.renderedAll());
            continue;
        }
        m_wakeWorker.wait_for(lock, playing() ? kPlayingPoll : kRestingPoll);
    }
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
    const size_t lead =
        audible ? 2 * static_cast<size_t>(TrackTimeline::kChangeLeadSeconds * m_streamRate) : 0;
    size_t fence = m_ring.readCount() + lead;
    m_ring.setFence(fence);
    waitForAudioThread();
    fence = std::max(fence, m_ring.readCount());
    m_ring.setFence(fence);
    m_timeline.rewrite(fence, audible, cue.frame);
    m_ring.setFence(SampleRing::kNoFence);
}
