#include "metronome/TempoMath.h"

#include <charconv>
#include <cmath>

#include "common/RoundHalfEven.h"
#include "common/TextHelpers.h"

namespace TempoMath {
namespace {

constexpr int kMsPerMinute = 60000;
constexpr double kTrackOrigin = 899;
constexpr int kTwipsPerTempoStep = 6;
// Below two beats a minute the interval no longer fits 16 bits.
constexpr int kSlowestTempo = 2;

}  // namespace

std::optional<SliderTempo> tempoForKnob(float leftTwips) {
    if (leftTwips < kKnobLeftMin || leftTwips > kKnobLeftMax) {
        return std::nullopt;
    }
    const int n = static_cast<int>(roundHalfEven(leftTwips - kTrackOrigin));
    const int q = n / kTwipsPerTempoStep;
    if (q < kSlowestTempo) {
        return std::nullopt;
    }
    const int interval = kMsPerMinute / q;
    return SliderTempo{static_cast<int16_t>(q), static_cast<int16_t>(interval),
                       static_cast<int16_t>(kMsPerMinute / interval)};
}

std::optional<int> typedTempo(const std::string& text) {
    const std::string number = trimSpaces(text);
    double value = 0;
    const char* end = number.data() + number.size();
    const auto [stop, error] = std::from_chars(number.data(), end, value);
    if (number.empty() || error != std::errc() || stop != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    const double n = roundHalfEven(value);
    if (n < kSlowestTempo || n > INT16_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(n);
}

int tempoForInterval(int intervalMs) {
    return static_cast<int>(roundHalfEven(static_cast<double>(kMsPerMinute) / intervalMs));
}

std::optional<int16_t> intervalForTyped(const std::string& text) {
    const auto tempo = typedTempo(text);
    if (!tempo) {
        return std::nullopt;
    }
    return static_cast<int16_t>(kMsPerMinute / *tempo);
}

}  // namespace TempoMath
