#include "audio/TrackPlayer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <string>

namespace {

constexpr int kChunkFrames = 1024;
// A loop's seam: the loop's last frames fade out while its first fade in, at equal power.
constexpr double kSeamSeconds = 0.005;
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
      m_fadeOut(2 * static_cast<size_t>(kSeamSeconds * streamRate)),
      m_fadeIn(m_fadeOut.size()),
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
    m_loop.reset();
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
    recue([frame] { return std::max<int64_t>(frame, 0); });
    // A track over or stopped waits at the new place for play.
    if (!playing()) {
        m_state.store(State::Paused);
    }
}

void TrackPlayer::setLoop(std::optional<Loop> loop) {
    recue([this, loop] {
        const auto seam = static_cast<int64_t>(m_fadeOut.size() / 2);
        m_loop = loop && loop->to - loop->from > 2 * seam ? loop : std::nullopt;
        // What is decoded ahead was decoded without this loop.
        const int64_t at = positionLocked();
        return m_loop && at >= m_loop->to ? m_loop->from : at;
    });
}

// The audio thread is kept out of the ring while the track is cued anew; it plays on if it
// played.
void TrackPlayer::recue(const std::function<int64_t()>& frameLocked) {
    const bool wasPlaying = playing();
    if (wasPlaying) {
        m_state.store(State::Paused);
    }
    waitForAudioThread();
    {
        std::lock_guard lock(m_mutex);
        cueLocked(frameLocked());
    }
    m_wakeWorker.notify_one();
    if (wasPlaying) {
        m_state.store(State::Playing);
    }
}

int64_t TrackPlayer::playedFrames() const {
    std::lock_guard lock(m_mutex);
    return positionLocked();
}

int64_t TrackPlayer::positionLocked() const {
    const int64_t consumed = m_consumed.load();
    auto jump = m_jumps.rbegin();
    while (jump != m_jumps.rend() && jump->consumed > consumed) {
        ++jump;
    }
    return jump == m_jumps.rend() ? consumed : jump->frame + (consumed - jump->consumed);
}

// Once this returns, the audio thread has seen that the track does not play and leaves the ring
// alone: its flag and the state are sequentially consistent.
void TrackPlayer::waitForAudioThread() {
    while (m_mixing.load()) {
        std::this_thread::yield();
    }
}

void TrackPlayer::rewindLocked() {
    cueLocked(0);
}

// The ring is empty and the audio thread is not in it.
void TrackPlayer::cueLocked(int64_t frame) {
    m_ring.clear();
    m_consumed.store(0);
    m_written = 0;
    m_decodedTo = m_decoder ? m_decoder->seek(frame) : 0;
    m_jumps.assign({{0, m_decodedTo}});
    m_decodedAll.store(!m_decoder);
}

void TrackPlayer::mixInto(float* interleaved, int frames) {
    m_mixing.store(true);
    if (m_state.load() == State::Playing) {
        const size_t read = m_ring.readAdding(interleaved, 2 * static_cast<size_t>(frames));
        m_consumed.fetch_add(static_cast<int64_t>(read / 2));
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
            decodeChunkLocked();
            continue;
        }
        m_wakeWorker.wait_for(lock, playing() ? kPlayingPoll : kRestingPoll);
    }
}

void TrackPlayer::decodeChunkLocked() {
    int64_t wanted = kChunkFrames;
    if (m_loop && m_decodedTo < m_loop->to) {
        const int64_t seamAt = m_loop->to - static_cast<int64_t>(m_fadeOut.size() / 2);
        if (m_decodedTo >= seamAt) {
            writeSeamLocked();
            return;
        }
        wanted = std::min(wanted, seamAt - m_decodedTo);
    }
    const int frames = m_decoder->read(m_chunk.data(), static_cast<int>(wanted));
    m_ring.write(m_chunk.data(), 2 * static_cast<size_t>(frames));
    m_decodedTo += frames;
    m_written += frames;
    if (frames < wanted) {
        m_decodedAll.store(true);
    }
}

void TrackPlayer::writeSeamLocked() {
    const int seam = static_cast<int>(m_fadeOut.size() / 2);
    std::fill(m_fadeOut.begin(), m_fadeOut.end(), 0.0f);
    std::fill(m_fadeIn.begin(), m_fadeIn.end(), 0.0f);
    m_decoder->read(m_fadeOut.data(), seam);
    m_decodedTo = m_decoder->seek(m_loop->from);
    m_decodedTo += m_decoder->read(m_fadeIn.data(), seam);
    for (int i = 0; i < seam; ++i) {
        const double angle = std::numbers::pi / 2 * (i + 0.5) / seam;
        for (int channel = 0; channel < 2; ++channel) {
            const size_t at = 2 * static_cast<size_t>(i) + static_cast<size_t>(channel);
            m_chunk[at] = static_cast<float>(m_fadeOut[at] * std::cos(angle) +
                                             m_fadeIn[at] * std::sin(angle));
        }
    }
    // From the seam on, the stream plays the loop's start.
    m_jumps.push_back({m_written, m_loop->from});
    while (m_jumps.size() > 2 && m_jumps[1].consumed <= m_consumed.load()) {
        m_jumps.pop_front();
    }
    m_ring.write(m_chunk.data(), 2 * static_cast<size_t>(seam));
    m_written += seam;
}
