#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

class Chromagram;
class Decimator;

// The strength of each pitch class, C first.
using PitchClasses = std::array<double, 12>;

// The track's key: the strength of each pitch class over the whole track, from constant-Q
// chromagrams on the recording's own tuning, matched against the major and minor key profiles of
// Temperley (as revised from the Kostka–Payne corpus) in all twelve keys. The key matches both
// the whole range, C2 to C7, and the bass, C2 to C4, whose notes dwell on the tonic and the
// dominant where the chords above them share most notes with the relative minor or major.
class KeyEstimate {
public:
    // The recording's tuning, so that a song a quarter tone off still folds onto its own notes.
    explicit KeyEstimate(double tuningCents);
    ~KeyEstimate();
    // Exactly OnsetCurve::kOnsetStep samples at the analysis rate.
    void push(const float* step);
    // e.g. "E minor"; empty when the track held no pitched music.
    std::string key() const;

private:
    void analyseFrame();

    std::unique_ptr<Decimator> m_decimator;
    std::unique_ptr<Chromagram> m_chromagram;
    std::unique_ptr<Chromagram> m_bassChromagram;
    std::vector<double> m_step;
    std::vector<double> m_decimated;
    std::vector<double> m_frame;
    size_t m_filled = 0;
    size_t m_hop = 0;
    PitchClasses m_pitchClasses{};
    PitchClasses m_bassClasses{};
};

// The name of the key on the tonic's pitch class (C = 0).
std::string keyName(int tonic, bool minor);
