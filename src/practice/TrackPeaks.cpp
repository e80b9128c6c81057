#include "practice/TrackPeaks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "audio/Mp3Decoder.h"

std::pair<float, float> TrackPeaks::between(double from, double to) const {
    const auto first = static_cast<size_t>(std::max(0.0, from / kBinSeconds));
    const auto last = std::min(low.size(), static_cast<size_t>(std::ceil(to / kBinSeconds)));
    float lowest = 0, highest = 0;
    for (size_t bin = first; bin < std::max(last, first + 1) && bin < low.size(); ++bin) {
        lowest = std::min(lowest, low[bin]);
        highest = std::max(highest, high[bin]);
    }
    return {lowest, highest};
}

TrackPeaks scanPeaks(const std::string& path, const std::atomic<bool>& cancel) {
    TrackPeaks peaks;
    std::string error;
    auto decoder = Mp3Decoder::open(path, error);
    // At the file's own rate nothing is converted.
    if (!decoder || !decoder->setOutputRate(decoder->fileRate(), error)) {
        return peaks;
    }
    const int binFrames =
        static_cast<int>(std::lround(decoder->fileRate() * TrackPeaks::kBinSeconds));
    std::vector<float> block(2 * static_cast<size_t>(binFrames));
    float lowest = 0, highest = 0;
    int inBin = 0;
    int frames;
    while ((frames = decoder->read(block.data(), binFrames - inBin)) > 0) {
        if (cancel) {
            return {};
        }
        for (int i = 0; i < 2 * frames; ++i) {
            lowest = std::min(lowest, block[i]);
            highest = std::max(highest, block[i]);
        }
        if ((inBin += frames) == binFrames) {
            peaks.low.push_back(lowest);
            peaks.high.push_back(highest);
            lowest = highest = 0;
            inBin = 0;
        }
    }
    if (inBin > 0) {
        peaks.low.push_back(lowest);
        peaks.high.push_back(highest);
    }
    return peaks;
}

std::string formatTrackTime(double seconds) {
    // Beyond a thousand hours nothing is a track's time; the text stays short and the count whole.
    constexpr double kLongestShown = 3.6e6;
    const double shown = std::isfinite(seconds) ? std::clamp(seconds, 0.0, kLongestShown) : 0.0;
    const auto tenths = static_cast<long>(shown * 10);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld.%ld", tenths / 600, tenths / 10 % 60, tenths % 10);
    return text;
}
