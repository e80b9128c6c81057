#include "audio/TrackPlayer.h"

#include <algorithm>
#include <chrono>
#include <string>

namespace {

constexpr int kChunkFrames = 1024;
constexpr double kAheadSeconds = 2.5;
// The worker is not woken by the audio thread, which must not touch a lock: it looks this often.
constexpr std::chrono::milliseconds kPlayingPoll{20};
constexpr std::chrono::milliseconds kRestingPoll{250};

size_t ringSamples(int streamRate) {
    return static_cast<size_t>(kAheadSeconds * streamRate) * 2;
}

}  // namespace

TrackPlayer::TrackPlayer(int streamRate)
    : m_streamRate(streamRate),
      m_ring(ringSamples(streamRate)),
      m_chunk(2 * kChunkFrames),
      m_worker([this] { decodeAhead(); }) {}

TrackPlayer::~TrackPlayer() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wakeWorker.notify_one();
    m_worker.join();
}

void TrackPlayer::load(std::unique_ptr<Mp3Decoder> decoder) {
    m_state.store(State::Stopped);
    waitForAudioThread();
    std::lock_guard lock(m_mutex);
    m_decoder = std::move(decoder);
    std::string error;
    if (m_decoder && !m_decoder->setOutputRate(m_streamRate, error)) {
        m_decoder.reset();
    }
    rewindLocked();
    m_wakeWorker.notify_one();
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
    std::lock_guard lock(m_mutex);
    rewindLocked();
    m_wakeWorker.notify_one();
}

void TrackPlayer::seek(int64_t frame) {
    const bool wasPlaying = playing();
    m_state.store(State::Paused);
    waitForAudioThread();
    {
        std::lock_guard lock(m_mutex);
        m_ring.clear();
        m_played.store(m_decoder ? m_decoder->seek(std::max<int64_t>(frame, 0)) : 0);
        m_decodedAll.store(!m_decoder);
    }
    m_wakeWorker.notify_one();
    if (wasPlaying) {
        m_state.store(State::Playing);
    }
}

// Once this returns, the audio thread has seen that the track does not play and leaves the ring
// alone: its flag and the state are sequentially consistent.
void TrackPlayer::waitForAudioThread() {
    while (m_mixing.load()) {
        std::this_thread::yield();
    }
}

void TrackPlayer::rewindLocked() {
    m_ring.clear();
    m_played.store(0);
    if (m_decoder) {
        m_decoder->rewind();
    }
    m_decodedAll.store(!m_decoder);
}

void TrackPlayer::mixInto(float* interleaved, int frames) {
    m_mixing.store(true);
    if (m_state.load() == State::Playing) {
        const size_t read = m_ring.readAdding(interleaved, 2 * static_cast<size_t>(frames));
        m_played.fetch_add(static_cast<int64_t>(read / 2));
        // A ring run dry before the end only delays the track: nothing is skipped.
        if (read == 0 && m_decodedAll.load() && m_ring.empty()) {
            State playingNow = State::Playing;
            m_state.compare_exchange_strong(playingNow, State::Over);
        }
    }
    m_mixing.store(false);
}

void TrackPlayer::decodeAhead() {
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (m_decoder && !m_decodedAll.load() && m_ring.space() >= m_chunk.size()) {
            const int frames = m_decoder->read(m_chunk.data(), kChunkFrames);
            m_ring.write(m_chunk.data(), 2 * static_cast<size_t>(frames));
            if (frames < kChunkFrames) {
                m_decodedAll.store(true);
            }
            continue;
        }
        m_wakeWorker.wait_for(lock, playing() ? kPlayingPoll : kRestingPoll);
    }
}
