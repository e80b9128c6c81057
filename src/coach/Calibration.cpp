#include "coach/Calibration.h"

#include <algorithm>
#include <cmath>

namespace Coach {

namespace {

constexpr double kMostSpreadMs = 5;  // taps scatter more than clicks, but not this much

double median(std::vector<double> v) {
    const auto middle = v.begin() + long(v.size() / 2);
    std::nth_element(v.begin(), middle, v.end());
    if (v.size() % 2 == 1) {
        return *middle;
    }
    return (*middle + *std::max_element(v.begin(), middle)) / 2;
}

}  // namespace

CalibrationResult calibrate(std::vector<double> offsetsMs, int clicksPlayed) {
    CalibrationResult result;
    result.heard = static_cast<int>(offsetsMs.size());
    if (offsetsMs.empty() || result.heard * 2 < clicksPlayed) {
        result.problem = offsetsMs.empty() ? "Nothing was heard" : "Too few clicks were heard";
        return result;
    }
    result.correctionMs = median(offsetsMs);
    for (double& offset : offsetsMs) {
        offset = std::abs(offset - result.correctionMs);
    }
    result.spreadMs = median(offsetsMs);
    if (result.spreadMs > kMostSpreadMs) {
        result.problem = "What was heard does not keep time with the clicks";
        return result;
    }
    result.good = true;
    return result;
}

}  // namespace Coach
