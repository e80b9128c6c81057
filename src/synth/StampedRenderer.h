#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

#include "AudioSources.h"
#include "SynthEngine.h"

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
    struct Posted {
        int64_t frame;
        uint32_t message;
    };
    static constexpr size_t kQueueSize = 4096;

    int64_t frameFor(Clock::time_point due) const;
    void collectPosted();
    void renderEngine(float* left, float* right, int frames, bool messagesDue);

    SynthEngine& m_engine;
    const double m_sampleRate;
    const int64_t m_latencyFrames;
    std::atomic<Clock::rep> m_origin{0};

    // A single-producer, single-consumer ring from the sender to the render thread.
    std::array<Posted, kQueueSize> m_queue{};
    std::atomic<size_t> m_written{0};
    std::atomic<size_t> m_read{0};
    std::array<int64_t, 16> m_lastChannelFrame{};  // the sender's

    // The render thread's: sorted by frame, equal frames in posting order; never larger than
    // the ring, so reserving that once is enough.
    std::vector<Posted> m_pending;
    int64_t m_position = 0;
    int64_t m_quietFrames = 0;
};
