#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

class GetKeyMode;

// The track's key: the key profile that best matches the chroma of each few seconds, smoothed
// over time, and the one held longest over the whole track.
class KeyEstimate {
public:
    // The recording's tuning, so that a song a quarter tone off still folds onto its own notes.
    explicit KeyEstimate(double tuningCents);
    ~KeyEstimate();
    // Any number of samples at the analysis rate.
    void push(const float* samples, size_t count);
    // e.g. "E minor"; empty when the track held no tonal music long enough to tell.
    std::string key() const;

private:
    void analyseBlock();

    std::unique_ptr<GetKeyMode> m_finder;
    std::vector<double> m_block;
    size_t m_filled = 0;
    size_t m_hop;
    std::array<int, 25> m_heldBlocks{};  // by the finder's key number, 1..24
};

// The name of the finder's key number: 1..12 C major..B major, 13..24 C minor..B minor.
std::string keyName(int keyNumber);
