#pragma once

#include <atomic>
#include <string>
#include <vector>

// The overview of a whole track: the lowest and highest sample (both channels) of each short
// stretch, enough to draw it at any width.
struct TrackPeaks {
    static constexpr double kBinSeconds = 0.01;
    std::vector<float> low, high;

    double lengthSeconds() const { return static_cast<double>(low.size()) * kBinSeconds; }
    // The lowest and highest sample between two times.
    std::pair<float, float> between(double from, double to) const;
};

// Decodes the file for its peaks; empty when it holds no MP3 audio or cancel was set.
TrackPeaks scanPeaks(const std::string& path, const std::atomic<bool>& cancel);

// A time on the track as the panel shows it: minutes, seconds and tenths ("1:05.3").
std::string formatTrackTime(double seconds);
