#pragma once

#include <cmath>

// Nearest whole number with an exact half going to the even neighbour: the one rounding rule of
// every conversion from a fractional value (outline points, bar values, tempos, pixel sizes).
// std::nearbyint does exactly this in the default rounding mode, which the program never changes.
inline double roundHalfEven(double value) {
    return std::nearbyint(value);
}
