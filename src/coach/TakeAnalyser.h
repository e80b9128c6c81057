#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "coach/CaptureClock.h"
#include "coach/ClickCanceller.h"
#include "coach/OnsetDetector.h"
#include "coach/TimingGrid.h"

// The player's notes against the grid, from the capture stream as it comes: the clicks taken
// out, each note's onset found to the sample, then placed at the nearest position of the grid.
// Everything runs on the thread that feeds it, in buffers made at construction.
namespace Coach {

class TakeAnalyser {
public:
    using TimePoint = CaptureClock::TimePoint;

    struct Options {
        // Take the metronome's click out; off to hear the click itself (a calibration).
        bool cancelClicks = true;
        // From when a sound is heard to when the stream has it, beyond what the server
        // reports: what a calibration measured; notes are taken back by it.
        double correctionSeconds = 0;
    };

    // Throws std::runtime_error when the onset library cannot be opened.
    explicit TakeAnalyser(int sampleRate);

    void reset(const Options& options);
    // A position of the grid and when it is heard (a click's due time and the output's
    // latency after it); `point.at` is set from it. The point as placed on the stream's
    // timeline, or nothing before the stream has told its clock.
    std::optional<GridPoint> addGridPoint(TimePoint heardAt, GridPoint point);
    // The output fell silent (the metronome stopped) when this was heard: the clicks it cut off
    // are taken out only as far as they sounded.
    void outputSilenced(TimePoint heardAt);
    // The next samples of the stream, whose first reached the source at `captured`.
    void feed(const float* samples, size_t count, TimePoint captured);

    // What the last feed found: each onset (on the stream's timeline, s, taken back by the
    // correction) and each note placed on the grid.
    std::span<const double> onsets() const { return {m_onsets.data(), m_onsetCount}; }
    std::span<const NoteTiming> placed() const { return {m_placed.data(), m_placedCount}; }

private:
    void placeWaiting();

    static constexpr size_t kBlock = 1024;
    static constexpr size_t kMaxFound = 64;
    int m_rate;
    Options m_options;
    CaptureClock m_clock;
    ClickCanceller m_canceller;
    OnsetDetector m_detector;
    TimingGrid m_grid;
    int64_t m_fed = 0;
    std::array<float, kBlock> m_cleaned{};
    std::array<double, kMaxFound> m_onsets{};
    size_t m_onsetCount = 0;
    std::array<NoteTiming, kMaxFound> m_placed{};
    size_t m_placedCount = 0;
    std::array<double, kMaxFound> m_waiting{};
    size_t m_waitingCount = 0;
};

}  // namespace Coach
