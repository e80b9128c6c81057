#pragma once

#include <chrono>
#include <cstdint>

// A source rendered on the engine's own sample clock, in the engine's frames: the built-in
// synthesizer, whose messages are placed by their due times. Called on the audio thread only.
class TimedSource {
public:
    virtual ~TimedSource() = default;
    // The frame the next render or skip starts at.
    virtual void moveTo(int64_t frame) = 0;
    virtual void render(float* left, float* right, int frames) = 0;
    // Moves on without rendering; only while idle.
    virtual void skip(int frames) = 0;
    // True while the next frames would all be silence until something is posted.
    virtual bool idle() const = 0;
};

// A source that adds itself to the stream at the stream's own rate: a backing track.
class StreamSource {
public:
    virtual ~StreamSource() = default;
    // The audio thread: adds the next frames (stereo, interleaved) to what is there.
    virtual void mixInto(float* interleaved, int frames) = 0;
    // The audio thread, before each mixInto: when the first frame it adds is heard, on the clock
    // the timed source's due times are heard by.
    virtual void heardFrom(std::chrono::steady_clock::time_point /*at*/) {}
    // While true the stream is written, silence included, and never runs empty.
    virtual bool active() const = 0;
};
