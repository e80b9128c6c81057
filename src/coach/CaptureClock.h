#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

// When each sample of a capture stream reached its source, on the steady clock the metronome
// stamps its clicks with: the stream's own timeline (sample / rate, in seconds) set against the
// times the server reports for its blocks. The median of the last half second of reports stands
// for them, so the odd late read or a step of the server's latency moves it little; following it
// keeps up with a sound card whose clock runs a little apart from ours.
class CaptureClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    explicit CaptureClock(int sampleRate) : m_rate(sampleRate) {}

    void reset();
    // The block that starts at this sample of the stream reached the source at `captured`.
    void report(int64_t firstSample, TimePoint captured);
    bool known() const { return m_count > 0; }
    // Where a moment falls on the stream's timeline, in seconds from its first sample.
    double streamSeconds(TimePoint t) const;

private:
    static constexpr size_t kReports = 25;
    void settle();

    int m_rate;
    TimePoint m_origin{};
    std::array<double, kReports> m_offsets{}, m_sorted{};
    size_t m_count = 0, m_next = 0;
    double m_offset = 0;  // s from the origin to the stream's first sample
};
