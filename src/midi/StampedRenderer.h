#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "SynthEngine.h"

// Places each short message at the frame that corresponds to its due time plus one constant
// latency, in the synthesizer's own sample clock, so that what is heard follows the sender's
// clock and not the moments the audio thread happens to wake. Messages of one channel are
// rendered in the order they were posted, even when a later one is due earlier.
class StampedRenderer {
public:
    using Clock = std::chrono::steady_clock;

    StampedRenderer(SynthEngine& engine, double sampleRate, Clock::duration latency);

    // The time whose messages are rendered at frame latency (frame 0 plus the latency).
    void setOrigin(Clock::time_point origin);
    // Moves the origin, for example to follow a sound card whose clock drifts from ours.
    void shiftOrigin(Clock::duration by);
    // Any thread.
    void post(uint32_t message, Clock::time_point due);

    // The render thread: the next frames, with each due message applied at its frame (a
    // message already overdue is applied at once).
    void render(float* left, float* right, int frames);
    int64_t position() const { return m_position; }
    // When every message for the frames before `frame` has been posted, if none comes late.
    Clock::time_point renderableAt(int64_t frame) const;

private:
    int64_t frameFor(Clock::time_point due) const;
    std::vector<std::pair<int64_t, uint32_t>> takeBefore(int64_t frame);
    void renderEngine(float* left, float* right, int frames, bool messagesDue);

    SynthEngine& m_engine;
    const double m_sampleRate;
    const int64_t m_latencyFrames;

    mutable std::mutex m_mutex;
    Clock::time_point m_origin{};
    std::multimap<int64_t, uint32_t> m_pending;  // equal frames keep their posting order
    std::array<int64_t, 16> m_lastChannelFrame{};

    int64_t m_position = 0;
    int64_t m_quietFrames = 0;
};
