#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "audio/AudioSink.h"
#include "audio/AudioSources.h"
#include "audio/DriftFollower.h"
#include "audio/ThreeQuarterResampler.h"

// The one stream to the sound server, written from a real-time thread of its own that mixes a
// timed source (the synthesizer) and a stream source (the backing track) on one sample clock.
// Each frame of the timed source is played a constant latency after its due time.
class AudioEngine {
public:
    using Clock = std::chrono::steady_clock;
    using SinkOpener = std::function<std::unique_ptr<AudioSink>(const AudioSink::FormatChooser&,
                                                                std::string& error)>;
    // 64 frames per millisecond: every event on a whole-millisecond grid lands on a frame.
    static constexpr double kSampleRate = 64000.0;
    static constexpr int kBlockFrames = 256;  // 4 ms
    // From a due time to the sound server's output playing it.
    static constexpr std::chrono::milliseconds kLatency{19};

    explicit AudioEngine(SinkOpener openSink);
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // The user interface thread: opens the stream and starts the audio thread unless they run
    // already; after a failure, tries again. False with error set when no server takes it.
    bool start(std::string& error);
    // Opens the stream without a thread: tests then call processBlock() themselves.
    bool open(std::string& error);
    // False with error set once the sound server has stopped taking sound.
    bool healthy(std::string& error) const;
    int streamRate() const { return m_streamRate; }
    // The time whose timed frames are rendered at frame latency.
    Clock::time_point origin() const { return m_origin; }
    // Both return once the audio thread has let go of the previous source; nullptr detaches.
    void setTimedSource(TimedSource* source);
    void setStreamSource(StreamSource* source);
    // Any thread: something may sound now.
    void wake() { m_wake.release(); }

    // One block as the audio thread writes it, due at writeTime and written at now.
    bool processBlock(Clock::time_point writeTime, Clock::time_point now);
    // When the next block is due: every message for it has been posted by then.
    Clock::time_point nextWriteTime() const;
    int64_t position() const { return m_position; }
    Clock::time_point renderableAt(int64_t frame) const;
    // When the stream source's frame mixed at this frame of the engine is heard, on the clock the
    // timed source's due times are heard by (its due time + kLatency).
    Clock::time_point streamHeardAt(int64_t frame) const;

private:
    class InBlock;

    void run();
    bool sourcesIdle() const;
    bool waitWhileIdle();
    void fail(const std::string& error);
    void stopThread();
    int streamFrames() const { return m_resampler ? kBlockFrames / 4 * 3 : kBlockFrames; }
    int renderTimed(TimedSource* timed);
    void placeTimed(TimedSource& timed);
    int slipFrames(int frames);
    void interleave(int rendered, int frames);
    void followServerClock(Clock::time_point writeTime, Clock::time_point now);
    void alignQueue(std::chrono::microseconds meanQueue);
    void resetClockFollowing();

    SinkOpener m_openSink;
    std::unique_ptr<AudioSink> m_sink;
    int m_streamRate = 0;
    Clock::time_point m_origin{};
    bool m_hasOrigin = false;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_failed{false};
    mutable std::mutex m_errorMutex;
    std::string m_error;
    std::counting_semaphore<> m_wake{0};

    // Handing sources over: the audio thread holds m_inBlock while it may use them.
    std::atomic<TimedSource*> m_timed{nullptr};
    std::atomic<StreamSource*> m_stream{nullptr};
    mutable std::atomic<bool> m_inBlock{false};
    // Counted, not compared by address: a source made where the last one was is still new.
    std::atomic<uint32_t> m_timedHandovers{0};
    std::optional<uint32_t> m_timedPlaced;  // the audio thread's: the handover it has placed

    // The audio thread's.
    int64_t m_position = 0;
    // Set when the server's output runs at three quarters of our rate: converting to it ourselves
    // keeps the server from resampling, which costs it more and does not hold our clock exactly.
    std::optional<ThreeQuarterResampler> m_resampler;
    std::vector<float> m_left, m_right, m_convertedLeft, m_convertedRight, m_interleaved;
    bool m_queueAligned = false;
    bool m_paused = false;   // the sink is told to stop taking the stream
    bool m_resumed = false;  // and to take it again, with no answer since
    DriftFollower m_drift;
    double m_slip = 0;  // frames the stream owes the server's clock
    int64_t m_nextCheck = 0;
    std::chrono::microseconds m_queuedSum{0};
    int m_queuedCount = 0;
};
