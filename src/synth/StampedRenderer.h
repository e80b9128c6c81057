#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "audio/AudioSources.h"
#include "common/StampedQueue.h"
#include "synth/SynthEngine.h"

// Places each short message at the frame that corresponds to its due time plus one constant
// latency, in the synthesizer's own sample clock, so that what is heard follows the sender's
// clock and not the moments the audio thread happens to wake. Messages of one channel are
// rendered in the order they were posted, even when a later one is due earlier.
// One thread posts, one renders; they share no lock, so a sender that the system puts aside never
// holds up the audio, and the render thread never allocates.
class StampedRenderer : public TimedSource {
public:
    using Clock = std::chrono::steady_clock;

    StampedRenderer(SynthEngine& engine, double sampleRate, Clock::duration latency);

    // The time whose messages are rendered at frame latency (frame 0 plus the latency).
    void setOrigin(Clock::time_point origin);
    // The sending thread. False when the renderer has fallen so far behind that its queue is full.
    bool post(uint32_t message, Clock::time_point due);

    // The render thread: the next frames, with each due message applied at its frame (a
    // message already overdue is applied at once).
    void render(float* left, float* right, int frames) override;
    void moveTo(int64_t frame) override { m_position = frame; }
    int64_t position() const { return m_position; }
    // The render thread: true while nothing sounds and nothing waits to be rendered, so the
    // next frames would all be silence until a message is posted.
    bool idle() const override;
    // The render thread, while idle: moves on without rendering.
    void skip(int frames) override;

private:
    int64_t frameFor(Clock::time_point due) const;
    void renderEngine(float* left, float* right, int frames, bool messagesDue);

    SynthEngine& m_engine;
    const double m_sampleRate;
    const int64_t m_latencyFrames;
    std::atomic<Clock::rep> m_origin{0};
    StampedQueue m_queue;  // stamped with the frame each message is due at
    int64_t m_position = 0;
    int64_t m_quietFrames = 0;
};
