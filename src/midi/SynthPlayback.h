#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "DriftFollower.h"
#include "StampedRenderer.h"
#include "ThreeQuarterResampler.h"

class PulseAudioStream;

// Plays a synthesizer through the desktop's sound server from a thread of its own, rendering
// each message at its due time plus one constant latency.
class SynthPlayback {
public:
    using Clock = std::chrono::steady_clock;
    // From a message's due time to the sound server's output playing it.
    static constexpr std::chrono::milliseconds kLatency{19};
    static constexpr int kWriteFrames = 256;  // 4 ms at 64 kHz

    SynthPlayback(SynthEngine& engine, double sampleRate);
    ~SynthPlayback();
    SynthPlayback(const SynthPlayback&) = delete;
    SynthPlayback& operator=(const SynthPlayback&) = delete;

    // Connects to the sound server and starts playing. On failure returns false with error set.
    bool start(std::string& error);
    // From one thread only: the one that sends MIDI.
    bool post(uint32_t message, Clock::time_point due) { return m_renderer.post(message, due); }
    // False with error set once the sound server has stopped taking sound.
    bool healthy(std::string& error) const;

private:
    void run();
    void promoteThread();
    bool waitWhileIdle();
    void fail(const std::string& error);
    int streamFrames() const { return m_resampler ? kWriteFrames / 4 * 3 : kWriteFrames; }
    int toStreamRate(const float*& left, const float*& right);
    int slipFrames(int frames);
    void followServerClock(Clock::time_point writeTime);
    void alignQueue(std::chrono::microseconds meanQueue);

    const double m_sampleRate;
    StampedRenderer m_renderer;
    std::unique_ptr<PulseAudioStream> m_stream;
    // Set when the server's output runs at three quarters of our rate: converting to it ourselves
    // keeps the server from resampling, which costs it more and does not hold our clock exactly.
    std::optional<ThreeQuarterResampler> m_resampler;
    std::vector<float> m_convertedLeft, m_convertedRight;
    bool m_queueAligned = false;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_failed{false};
    mutable std::mutex m_errorMutex;
    std::string m_error;
    DriftFollower m_drift;
    double m_slip = 0;  // frames the stream owes the server's clock
    int64_t m_nextCheck = 0;
    std::chrono::microseconds m_queuedSum{0};
    int m_queuedCount = 0;
};
