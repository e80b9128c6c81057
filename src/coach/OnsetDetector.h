#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "coach/AubioOnsets.h"

// Finds where the player's notes begin in a stream of samples, to the sample. aubio's
// high-frequency-content detector, on the samples lowpassed at 3 kHz, finds each attack within
// a hop or two; the attack is then
// placed where the signal's character changes, the minimum of Akaike's information criterion
// over the differenced samples around it (the two-segment model a picked string fits best:
// what rang before, then the new note). Owns every buffer it needs from construction on, so
// feeding it never allocates.
class OnsetDetector {
public:
    // Throws std::runtime_error when the onset library cannot be opened.
    explicit OnsetDetector(int sampleRate);
    ~OnsetDetector();
    OnsetDetector(const OnsetDetector&) = delete;
    OnsetDetector& operator=(const OnsetDetector&) = delete;

    // Forgets everything heard: sample 0 is the next one fed.
    void reset();
    // The onsets placed while these samples came in, as indices counted from the first sample
    // fed since the last reset. An onset is placed once the samples just after it have come.
    std::span<const int64_t> feed(const float* samples, size_t count);

private:
    void detectHop();
    void placeReady();
    int64_t refine(int64_t coarse) const;
    float heard(int64_t index) const {
        return m_history[static_cast<size_t>(index) & kHistoryMask];
    }

    static constexpr size_t kHistory = 1 << 14;  // 0.34 s at 48 kHz
    static constexpr size_t kHistoryMask = kHistory - 1;
    static constexpr size_t kMaxPending = 16;

    // A fourth-order lowpass for aubio's view only: a guitar's attack stands out below a few
    // kilohertz, where white noise above would hide it from the high-frequency content.
    struct Biquad {
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0, z1 = 0, z2 = 0;
        double run(double x) {
            const double y = b0 * x + z1;
            z1 = b1 * x - a1 * y + z2;
            z2 = b2 * x - a2 * y;
            return y;
        }
    };
    std::array<Biquad, 2> m_lowpass{};

    const AubioOnsets* m_aubio;
    int m_rate;
    aubio_onset_t* m_onset = nullptr;
    fvec_t* m_hop = nullptr;
    fvec_t* m_found = nullptr;
    size_t m_hopFill = 0;
    int64_t m_fed = 0;
    int64_t m_lastPlaced = INT64_MIN / 2;
    std::array<float, kHistory> m_history{};
    std::array<int64_t, kMaxPending> m_pending{};
    size_t m_pendingCount = 0;
    std::array<int64_t, 64> m_placed{};
    size_t m_placedCount = 0;
};
