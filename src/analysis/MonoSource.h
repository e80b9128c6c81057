#pragma once

#include <functional>
#include <memory>

// The analysis reads a track as one channel at this rate: the rate the onset curve's and the
// bar finder's frames were made for.
constexpr int kAnalysisRate = 44100;

// A track from its first sample, as one channel at kAnalysisRate.
class MonoSource {
public:
    virtual ~MonoSource() = default;
    // Up to maxFrames samples; 0 once the track is over.
    virtual int read(float* samples, int maxFrames) = 0;
    // The track's length as far as it is known before reading it; 0 when unknown.
    virtual double estimatedSeconds() const = 0;
};

// Opens the track afresh from its start each time (the analysis reads it twice); nothing when it
// cannot be read.
using SourceOpener = std::function<std::unique_ptr<MonoSource>()>;

// How the analysis reports and is stopped; both are called on the analysing thread.
struct AnalysisControl {
    std::function<bool()> cancelled;
    std::function<void(double)> progress;  // 0..1
};
