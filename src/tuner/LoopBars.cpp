#include "LoopBars.h"

#include <cmath>

namespace LoopBars {
namespace {
constexpr double kMinimumTwips = 10;
constexpr double kVelocityPerTwip = 0.125;
constexpr double kMillisecondsPerTwip = 4;

int16_t roundHalfEven(double value) {
    return static_cast<int16_t>(std::nearbyint(value));
}
}  // namespace

bool acceptsMove(int buttons, double xTwips) {
    return buttons == kLeftButtonOnly && xTwips > kMinimumTwips && xTwips < kFullWidthTwips;
}

int16_t velocityForWidth(double widthTwips) {
    return roundHalfEven(widthTwips * kVelocityPerTwip);
}

int16_t intervalForWidth(double widthTwips) {
    return roundHalfEven(widthTwips * kMillisecondsPerTwip);
}

}  // namespace LoopBars
