#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

// Where the engine's stream goes: the sound server in the program, a recording clock in tests.
// Used from the audio thread only, once opened.
class AudioSink {
public:
    struct Format {
        int sampleRate;
        std::chrono::microseconds targetBuffer;  // the server's queue plus its own latency
        std::chrono::microseconds writeSize;
    };
    // Chooses the format knowing the rate the server's output runs at (0 when it does not say).
    using FormatChooser = std::function<Format(int sinkRate)>;

    virtual ~AudioSink() = default;
    // Stereo, interleaved; never blocks while less than the target buffer is queued.
    virtual bool write(const float* interleaved, int frames, std::string& error) = 0;
    // Leaves the next frames unwritten: the server plays silence for them, and what is written
    // after still goes to its own place in the stream.
    virtual void skip(int frames) = 0;
    // Takes the server's messages while nothing is written; false once it has gone.
    virtual bool service(std::string& error) = 0;
    // How long the frame written last waits before the output plays it; nothing while unknown.
    virtual std::optional<std::chrono::microseconds> untilPlayed() = 0;
    // Lets the server stop taking the stream while nothing sounds, so that it does no work for
    // it; false where the sink cannot.
    virtual bool pause() { return false; }
    // The first frames written after a pause are placed so that the last of them waits this long.
    virtual void resume(std::chrono::microseconds /*untilPlayed*/) {}
};
