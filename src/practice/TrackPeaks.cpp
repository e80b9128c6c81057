#include "practice/TrackPeaks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "audio/TrackDecoder.h"

namespace {

constexpr int kBlockFrames = 4096;

// Two neighbouring stretches become one: the peaks keep their room as the track goes on.
void halveResolution(TrackPeaks& peaks) {
    const size_t half = peaks.low.size() / 2;
    for (size_t i = 0; i < half; ++i) {
        peaks.low[i] = std::min(peaks.low[2 * i], peaks.low[2 * i + 1]);
        peaks.high[i] = std::max(peaks.high[2 * i], peaks.high[2 * i + 1]);
    }
    peaks.low.resize(half);
    peaks.high.resize(half);
    peaks.binSeconds *= 2;
}

}  // namespace

std::pair<float, float> TrackPeaks::between(double from, double to) const {
    const auto first = static_cast<size_t>(std::max(0.0, from / binSeconds));
    const auto last = std::min(low.size(), static_cast<size_t>(std::ceil(to / binSeconds)));
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
    auto decoder = openTrackDecoder(path, error);
    // At the file's own rate nothing is converted.
    if (!decoder || !decoder->setOutputRate(decoder->fileRate(), error)) {
        return peaks;
    }
    const int rate = decoder->fileRate();
    int64_t binFrames = std::lround(rate * TrackPeaks::kFinestBinSeconds);
    peaks.binSeconds = static_cast<double>(binFrames) / rate;
    peaks.low.reserve(TrackPeaks::kMostBins);
    peaks.high.reserve(TrackPeaks::kMostBins);
    std::vector<float> block(2 * static_cast<size_t>(kBlockFrames));
    float lowest = 0, highest = 0;
    int64_t inBin = 0, total = 0;
    int frames;
    while ((frames = decoder->read(block.data(), static_cast<int>(std::min<int64_t>(
                                                     kBlockFrames, binFrames - inBin)))) > 0) {
        if (cancel) {
            return {};
        }
        for (int i = 0; i < 2 * frames; ++i) {
            lowest = std::min(lowest, block[i]);
            highest = std::max(highest, block[i]);
        }
        total += frames;
        if ((inBin += frames) == binFrames) {
            peaks.low.push_back(lowest);
            peaks.high.push_back(highest);
            lowest = highest = 0;
            inBin = 0;
            if (peaks.low.size() == TrackPeaks::kMostBins) {
                halveResolution(peaks);
                binFrames *= 2;
            }
        }
    }
    if (inBin > 0) {
        peaks.low.push_back(lowest);
        peaks.high.push_back(highest);
    }
    peaks.seconds = static_cast<double>(total) / rate;
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
