#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

struct PitchReading {
    double hz = 0;
    bool stable = false;  // refined over enough of the ringing string to trust to a tenth of a cent
};

// The pitch of one string from a stream of samples, for a tuner. aubio's yin (its FFT form) finds
// the note every 10 ms; the phase of the fundamental, followed from window to window over the
// steady part of the note, then gives its frequency to a fraction of a cent. A pick's attack is
// skipped, yin's slips to a harmonic of a ringing string are not taken for a new note, a plucked
// note has no reading until its octave and pitch have settled, and once the string has faded into
// silence or noise there is no reading at all, so a display can rest.
//
// feed() runs on a capture thread: it allocates nothing and takes no lock.
class PitchDetector {
public:
    static constexpr double kLowestHz = 60;
    static constexpr double kHighestHz = 1400;

    // Throws std::runtime_error, in the user's words, when the pitch library cannot be opened.
    explicit PitchDetector(double sampleRate);
    ~PitchDetector();
    PitchDetector(const PitchDetector&) = delete;
    PitchDetector& operator=(const PitchDetector&) = delete;

    // The reading after these samples, or none while nothing clear sounds.
    std::optional<PitchReading> feed(const float* samples, std::size_t count);
    void reset();

private:
    struct Phase {
        double seconds;
        double radians;  // unwrapped
    };
    static constexpr std::size_t kHistory = 8192;  // a power of two: the ring's index is masked
    static constexpr std::size_t kPhases = 32;     // the span of the steady part, 10 ms apart

    struct Coarse {
        double hz;
        double confidence;
    };
    void analyseHop();
    double hopLevel() const;
    std::optional<Coarse> coarsePitch();
    bool faded(double level) const;
    std::optional<double> periodOf(double hz) const;
    std::optional<bool> longerPeriodSounds(double hz, int m) const;
    double strongestPartial(double hz) const;
    double amplitudeAt(double hz, double periodHz, double periods) const;
    template <typename Taper>
    std::complex<double> windowedBin(double hz, std::size_t length, Taper taper) const;
    void follow(Coarse coarse);
    void lockTo(double hz);
    void recentre(double hz);
    void setClock(double hz);
    void measurePhase();
    double slopeHz(std::size_t newest) const;
    bool pitchSettled() const;
    bool lineLagsBehind() const;
    void startFit();
    void hide();
    double refinedHz() const;
    void rest();

    const double m_rate;
    const std::size_t m_hop;
    struct Yin;  // aubio's, kept out of this header
    Yin* m_yin;

    std::array<float, kHistory> m_history{};
    std::uint64_t m_written = 0;
    std::size_t m_inHop = 0;

    double m_envelope = 0;
    double m_peak = 0;               // the loudest hop since the pluck
    bool m_faded = false;            // the last note faded out: only a pluck starts another
    std::uint64_t m_agreed = 0;      // when yin last heard the note followed
    std::uint64_t m_attackEnds = 0;  // no window of the refinement starts before it
    int m_disagreeing = 0;           // hops in a row whose note is not the one followed

    double m_lockHz = 0;    // 0: no note followed
    bool m_judged = false;  // the period followed is the one the partials explain
    std::size_t m_window = 0;
    std::vector<double> m_taper;  // sized once: the longest window
    std::array<Phase, kPhases> m_phases{};
    std::size_t m_phaseCount = 0;
    std::size_t m_fitFrom = 0;  // the first phase of the line: an onset's moving pitch is left out
    bool m_shown = false;       // a stable reading was made since the note was taken up
    double m_lastRaw = 0;
    double m_lastMagnitude = 0;
    std::optional<PitchReading> m_reading;
};
