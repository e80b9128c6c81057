#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "DriftFollower.h"
#include "StampedRenderer.h"

class PulseAudioStream;

// Plays a synthesizer through the desktop's sound server from a thread of its own, rendering
// each message at its due time plus one constant latency.
class SynthPlayback {
public:
    using Clock = std::chrono::steady_clock;
    // From a message's due time to its first frame leaving the program; the sound server adds
    // its own few milliseconds.
    static constexpr std::chrono::milliseconds kLatency{16};

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
    int slipFrames();
    void followServerClock(int64_t& nextCheck);

    const double m_sampleRate;
    StampedRenderer m_renderer;
    std::unique_ptr<PulseAudioStream> m_stream;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_failed{false};
    mutable std::mutex m_errorMutex;
    std::string m_error;
    DriftFollower m_drift;
    double m_slip = 0;  // frames the stream owes the server's clock
    std::chrono::microseconds m_latencySum{0};
    int m_latencyCount = 0;
};
