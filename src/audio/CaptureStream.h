#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

struct pa_context;
struct pa_stream;

// Listens to a source of the sound server (the default one: a microphone or line input) on a
// thread of its own, mono at 48 kHz, and hands each block the server sends (about 20 ms) to a
// consumer on that thread. Opening and reading never hold up the thread that starts and stops it.
// A timed consumer is also told when the block's first sample reached the source, as the server
// reckons it (its latency from the source to our read).
class CaptureStream {
public:
    using Consumer = std::function<void(const float* samples, size_t count)>;
    using TimedConsumer = std::function<void(const float* samples, size_t count,
                                             std::chrono::steady_clock::time_point captured)>;
    static constexpr int kSampleRate = 48000;

    explicit CaptureStream(Consumer consumer);
    explicit CaptureStream(TimedConsumer consumer);
    ~CaptureStream();
    CaptureStream(const CaptureStream&) = delete;
    CaptureStream& operator=(const CaptureStream&) = delete;

    // Empty: the server's default source. Starting a running stream changes nothing.
    void start(const std::string& source = {});
    void stop();
    bool running() const { return m_thread.joinable(); }

    enum class State { Stopped, Opening, Listening, Failed };
    State state() const { return m_state; }
    // Why it failed: no server, no such source, or the source went away while listening.
    std::string error() const;
    // The source listened to, as the server names it; empty until it is open.
    std::string sourceName() const;

private:
    void run(std::string source);
    pa_stream* openRecording(pa_context* context, const std::string& source) const;
    void handOver(pa_stream* stream);
    void fail(const std::string& error);

    Consumer m_consumer;
    TimedConsumer m_timedConsumer;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<State> m_state{State::Stopped};
    mutable std::mutex m_errorMutex;  // the error and source texts only; never taken per block
    std::string m_error, m_sourceName;
};
