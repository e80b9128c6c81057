#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

struct pa_context;
struct pa_stream;

// Listens to a source of the sound server (the default one: a microphone or line input) on a
// thread of its own, mono at 48 kHz, and hands each block the server sends (about 20 ms) to a
// consumer on that thread. Opening and reading never hold up the thread that starts and stops it.
class CaptureStream {
public:
    using Consumer = std::function<void(const float* samples, size_t count)>;
    static constexpr int kSampleRate = 48000;

    explicit CaptureStream(Consumer consumer);
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

private:
    void run(std::string source);
    static pa_stream* openRecording(pa_context* context, const std::string& source);
    void handOver(pa_stream* stream);
    void fail(const std::string& error);

    Consumer m_consumer;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<State> m_state{State::Stopped};
    mutable std::mutex m_errorMutex;  // the error text only; never taken per block
    std::string m_error;
};
