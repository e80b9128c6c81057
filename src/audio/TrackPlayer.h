#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "audio/AudioSources.h"
#include "audio/Mp3Decoder.h"
#include "audio/SampleRing.h"

// A backing track for the engine: a worker decodes a couple of seconds ahead into a ring, and the
// audio thread only adds what is in the ring to the stream. Play goes on from the sample where
// pause held it; after stop, or once the track is over, play starts from its first sample.
class TrackPlayer : public StreamSource {
public:
    explicit TrackPlayer(int streamRate);
    ~TrackPlayer() override;
    TrackPlayer(const TrackPlayer&) = delete;
    TrackPlayer& operator=(const TrackPlayer&) = delete;

    // The controlling thread. Loading stops what played; nullptr leaves nothing to play.
    void load(std::unique_ptr<Mp3Decoder> decoder);
    void play();
    void pause();
    void stop();
    // Goes on from the given frame of the track, playing if it played; a track that did not
    // play waits there, paused, for play.
    void seek(int64_t frame);
    struct Loop {
        int64_t from, to;  // frames of the track
    };
    // From the loop's end the track goes on at its start, through a short equal-power crossfade.
    // Takes effect at once: a play position past the end goes to the start.
    void setLoop(std::optional<Loop> loop);
    int streamRate() const { return m_streamRate; }
    bool playing() const { return m_state.load() == State::Playing; }
    // Where the track stands: the frame of the track the stream has got to.
    int64_t playedFrames() const;

    // The audio thread.
    void mixInto(float* interleaved, int frames) override;
    // A paused track keeps the stream running, so that PLAY goes on from the very sample: a stream
    // that ran empty and goes on may start with a stretch of older sound on PipeWire's PulseAudio
    // service (a few ms from up to 60 ms before the pause, heard again).
    bool active() const override { return playing() || m_state.load() == State::Paused; }

private:
    enum class State { Stopped, Playing, Paused, Over };

    struct Jump {
        int64_t consumed;  // frames taken by the audio thread since the track was cued
        int64_t frame;     // the track's frame there
    };

    void decodeAhead();
    void decodeChunkLocked();
    void writeSeamLocked();
    void waitForAudioThread();
    void rewindLocked();
    void cueLocked(int64_t frame);
    void recue(const std::function<int64_t()>& frameLocked);
    int64_t positionLocked() const;

    const int m_streamRate;
    SampleRing m_ring;
    std::atomic<State> m_state{State::Stopped};
    std::atomic<bool> m_mixing{false};
    std::atomic<bool> m_decodedAll{true};
    std::atomic<int64_t> m_consumed{0};

    mutable std::mutex m_mutex;  // the decoder, the producing side of the ring and the loop
    std::condition_variable m_wakeWorker;
    std::unique_ptr<Mp3Decoder> m_decoder;
    std::vector<float> m_chunk, m_fadeOut, m_fadeIn;
    std::optional<Loop> m_loop;
    int64_t m_decodedTo = 0;  // the track's frame the decoder stands at
    int64_t m_written = 0;    // frames written into the ring since the track was cued
    std::deque<Jump> m_jumps;
    bool m_quit = false;
    std::thread m_worker;
};
