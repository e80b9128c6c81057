#include "audio/TransientLead.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double kStep = 0.05;
constexpr size_t kSteps = 26;  // 25 % to 150 %
// Milliseconds at 25 %, 30 % ... 150 %: the mean of 39 ticks at 44.1 and at 48 kHz.
constexpr std::array<double, kSteps> kFinerMs = {
    21.6, 20.5, 14.3, 14.1, 11.9, 8.5,  6.0,  4.5,  7.1,  6.2,  4.9,  3.7,  2.5,
    1.5,  0.7,  0.0,  -0.7, -1.2, -1.7, -2.2, -2.6, -2.9, -3.3, -3.4, -2.9, -2.6};
// Below 40 % the faster engine splits a tick in two, 30-40 ms apart, and no one place is its
// beat: the lead of 40 % is kept there.
constexpr std::array<double, kSteps> kFasterMs = {3.9, 3.9, 3.9, 3.9, 4.6, 5.2, 6.6, 4.8, 4.8,
                                                  5.7, 5.9, 5.7, 5.5, 3.6, 2.6, 0.0, 0.8, 1.1,
                                                  1.6, 3.8, 3.7, 4.3, 4.5, 4.8, 5.5, 6.3};

}  // namespace

double transientLead(StretchEngine engine, double speed) {
    const auto& leads = engine == StretchEngine::Finer ? kFinerMs : kFasterMs;
    const double at = std::clamp((speed - TrackTuning::kMinSpeed) / kStep, 0.0, kSteps - 1.0);
    const auto below = static_cast<size_t>(std::floor(at));
    const size_t above = std::min(below + 1, kSteps - 1);
    const double part = at - static_cast<double>(below);
    return ((1 - part) * leads[below] + part * leads[above]) / 1000;
}
