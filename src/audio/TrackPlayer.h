#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "audio/AudioSources.h"
#include "audio/HeardStamp.h"
#include "audio/SampleRing.h"
#include "audio/SpeedTrainer.h"
#include "audio/TrackDecoder.h"
#include "audio/TrackRender.h"
#include "audio/TrackTimeline.h"

// A backing track for the engine: a worker renders a couple of seconds ahead into a ring, and the
// audio thread only adds what is in the ring to the stream. What is written, and which frame of
// the track each frame of the stream plays, the timeline decides; this class runs the threads
// and the hand-shakes around it. Play goes on from the sample where pause held it; after stop,
// or once the track is over, play starts from its first sample.
//
// A change while the track plays (a move, a loop, speed or pitch) is heard a few tens of
// milliseconds later: the worker takes back what it rendered ahead beyond that and renders anew,
// crossfading from the old sound into the new.
class TrackPlayer : public StreamSource {
public:
    // Without an engine, the one that keeps up here is measured, beside the worker.
    explicit TrackPlayer(int streamRate, std::optional<StretchEngine> engine = std::nullopt);
    ~TrackPlayer() override;
    TrackPlayer(const TrackPlayer&) = delete;
    TrackPlayer& operator=(const TrackPlayer&) = delete;

    // The controlling thread. Loading stops what played; nullptr leaves nothing to play, and so
    // does a track that cannot be converted to the stream's rate: false, with error set.
    bool load(std::unique_ptr<TrackDecoder> decoder, std::string& error);
    void play();
    void pause();
    void stop();
    // Goes on from the given frame of the track, playing if it played; a track that did not
    // play waits there, paused, for play.
    void seek(int64_t frame);
    using Loop = TrackTimeline::Loop;
    // From the loop's end the track goes on at its start, through a short equal-power crossfade.
    // A play position past the end goes to the start.
    void setLoop(std::optional<Loop> loop);
    void setTuning(const TrackTuning& tuning);
    // While a loop is on, each pass is played at the trainer's speed for it.
    void setTrainer(std::optional<SpeedTrainer> trainer);
    // One bar of four clicks, at the track's tempo times its speed, before the track starts and
    // before each pass of the loop; below 40 BPM it clicks twice (or four times...) a beat.
    void setCountIn(std::optional<double> beatsPerMinute);
    // The track's beats: the count-in then counts into the pass's first downbeat, and the song's
    // click sounds on them, mixed into the track's own samples.
    void setGrid(std::optional<BeatGrid> grid);
    using SongClick = TrackTimeline::SongClick;
    void setSongClick(std::optional<SongClick> click);
    // The faster stretcher whatever the measurement chose: about half the processor time, for a
    // machine with other work to do.
    void setFasterStretch(bool faster);

    int streamRate() const { return m_streamRate; }
    bool playing() const { return m_state.load() == State::Playing; }
    // Where the track stands: the frame of the track the stream has got to.
    int64_t playedFrames() const;
    // The speed of what the stream plays now (a trainer's pass speed).
    double playingSpeed() const;
    // The passes of the loop the stream has played whole since the last call, for a practice
    // log: the controlling thread polls, the audio thread has no part in it.
    TrackTimeline::PassesHeard takePassesHeard();
    // A beat of the track and when it is heard, on the clock the synthesizer's notes are heard by.
    struct ComingBeat {
        HeardStamp::Clock::time_point heardAt;
        TrackTimeline::BeatPlayed beat;
    };
    // While the track plays, the beats the stream plays within the change lead (which no change
    // can take back any more), each told once; none while it does not play.
    std::vector<ComingBeat> takeComingBeats();
    // How far the worker is ahead of the stream, in frames: any thread, for measuring.
    int64_t aheadFrames() const {
        return static_cast<int64_t>(m_ring.written() - m_ring.readCount()) / 2;
    }

    // The audio thread.
    void mixInto(float* interleaved, int frames) override;
    void heardFrom(HeardStamp::Clock::time_point at) override { m_blockHeardAt = at; }
    // A paused track keeps the stream running, so that PLAY goes on from the very sample: a stream
    // that ran empty and goes on may start with a stretch of older sound on PipeWire's PulseAudio
    // service (a few ms from up to 60 ms before the pause, heard again).
    bool active() const override { return playing() || m_state.load() == State::Paused; }

private:
    enum class State { Stopped, Playing, Paused, Over };

    struct Cue {
        std::optional<int64_t> frame;  // none: on from where the stream is
    };

    void renderAhead();
    void rewriteLocked();
    std::unique_lock<std::mutex> controlLock() const;
    void cueLocked(std::unique_lock<std::mutex>& lock, std::optional<int64_t> frame);
    void rewindLocked();
    void waitForAudioThread() const;
    TrackRender& renderForLocked(const TrackTuning& tuning);
    void chooseEngineLocked();
    StretchEngine wantedEngineLocked() const;

    const int m_streamRate;
    SampleRing m_ring;
    std::atomic<State> m_state{State::Stopped};
    std::atomic<bool> m_mixing{false};
    std::atomic<bool> m_renderedAll{true};
    HeardStamp::Clock::time_point m_blockHeardAt{};  // the audio thread's
    HeardStamp m_heard;

    mutable std::mutex m_mutex;  // all below, and the producing side of the ring
    std::condition_variable m_wakeWorker, m_cueTaken;
    mutable std::atomic<int> m_controlWaiting{0};
    std::unique_ptr<TrackDecoder> m_decoder;
    std::optional<StretchEngine> m_engine;  // given when the player was made
    bool m_fasterWanted = false;
    StretchEngine m_renderEngine;
    std::unique_ptr<TrackRender> m_render;
    std::atomic<int> m_measuredEngine{-1};
    std::thread m_measuring;
    TrackTimeline m_timeline;
    std::optional<Cue> m_cue;
    bool m_quit = false;
    std::thread m_worker;
};
