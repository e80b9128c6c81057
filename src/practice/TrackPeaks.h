#pragma once

#include <atomic>
#include <string>
#include <vector>

// The overview of a whole track: the lowest and highest sample (both channels) of each stretch,
// enough to draw it at any width. Stretches start at 10 ms and grow with the track, so that a
// track of hours takes no more room than one of minutes.
struct TrackPeaks {
    static constexpr double kFinestBinSeconds = 0.01;
    static constexpr size_t kMostBins = size_t{1} << 15;
    double binSeconds = kFinestBinSeconds;
    double seconds = 0;
    std::vector<float> low, high;

    double lengthSeconds() const { return seconds; }
    // The lowest and highest sample between two times.
    std::pair<float, float> between(double from, double to) const;
};

// Decodes the file for its peaks; empty when it holds no MP3 audio or cancel was set.
TrackPeaks scanPeaks(const std::string& path, const std::atomic<bool>& cancel);

// A time on the track as the panel shows it: minutes, seconds and tenths ("1:05.3").
std::string formatTrackTime(double seconds);
