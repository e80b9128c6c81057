#include "tuner/LoopBars.h"

#include "common/RoundHalfEven.h"

namespace LoopBars {
namespace {
constexpr double kMinimumTwips = 10;
constexpr double kVelocityPerTwip = 0.125;
constexpr double kMillisecondsPerTwip = 4;

int16_t rounded(double value) {
    return static_cast<int16_t>(roundHalfEven(value));
}
}  // namespace

bool acceptsMove(int buttons, double xTwips) {
    return buttons == kLeftButtonOnly && xTwips > kMinimumTwips && xTwips < kFullWidthTwips;
}

int16_t velocityForWidth(double widthTwips) {
    return rounded(widthTwips * kVelocityPerTwip);
}

int16_t intervalForWidth(double widthTwips) {
    return rounded(widthTwips * kMillisecondsPerTwip);
}

}  // namespace LoopBars
