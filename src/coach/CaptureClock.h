#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

// When each sample of a capture stream reached its source, on the steady clock the metronome
// stamps its clicks with: the stream's own timeline (sample / rate, in seconds) set against the
// times the server reports for its blocks. The reports wander by milliseconds over seconds while
// the samples keep their steady pace, so each half second's reports come down to their median and
// a straight line through the last half minute of those stands for them: its slope follows a
// sound card whose clock runs a little apart from ours. A half second off that line by more than
// the reports ever wander is a step of the stream itself (samples lost, or the stream's first
// latency figures not yet right), and the line starts again from it.
class CaptureClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    explicit CaptureClock(int sampleRate) : m_rate(sampleRate) {}

    void reset();
    // The block that starts at this sample of the stream reached the source at `captured`.
    void report(int64_t firstSample, TimePoint captured);
    bool known() const { return m_reportCount > 0 || m_medianCount > 0; }
    // Where a moment falls on the stream's timeline, in seconds from its first sample.
    double streamSeconds(TimePoint t) const;

private:
    static constexpr size_t kReports = 512;  // more than half a second brings
    static constexpr size_t kMedians = 60;   // half a minute of half seconds
    struct Median {
        double streamSeconds, offset;
    };
    void closeHalfSecond();
    double reportsMedian();
    void fit();
    double offsetAt(double streamSeconds) const;

    int m_rate;
    TimePoint m_origin{};
    int64_t m_halfSecond = 0;  // the one the reports being gathered belong to
    std::array<double, kReports> m_reports{}, m_sorted{};
    size_t m_reportCount = 0;
    std::array<Median, kMedians> m_medians{};
    size_t m_medianCount = 0, m_nextMedian = 0;
    // offset(x) = m_level + m_slope * (x - m_centre): s from the origin to the stream's sample
    // at x seconds.
    double m_level = 0, m_slope = 0, m_centre = 0;
};
