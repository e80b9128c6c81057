#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
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
    int streamRate() const { return m_streamRate; }
    bool playing() const { return m_state.load() == State::Playing; }
    // Where the track stands: frames given to the stream, counted from its first sample.
    int64_t playedFrames() const { return m_played.load(); }

    // The audio thread.
    void mixInto(float* interleaved, int frames) override;
    // A paused track keeps the stream running, so that PLAY goes on from the very sample: a stream
    // that ran empty and goes on may start with a stretch of older sound on PipeWire's PulseAudio
    // service (a few ms from up to 60 ms before the pause, heard again).
    bool active() const override { return playing() || m_state.load() == State::Paused; }

private:
    enum class State { Stopped, Playing, Paused, Over };

    void decodeAhead();
    void waitForAudioThread();
    void rewindLocked();

    const int m_streamRate;
    SampleRing m_ring;
    std::atomic<State> m_state{State::Stopped};
    std::atomic<bool> m_mixing{false};
    std::atomic<bool> m_decodedAll{true};
    std::atomic<int64_t> m_played{0};

    std::mutex m_mutex;  // the decoder and the producing side of the ring
    std::condition_variable m_wakeWorker;
    std::unique_ptr<Mp3Decoder> m_decoder;
    std::vector<float> m_chunk;
    bool m_quit = false;
    std::thread m_worker;
};
