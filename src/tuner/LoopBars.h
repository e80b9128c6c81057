#pragma once

#include <cstdint>

// The VOLUME and LOOP bars: a drag sets a bar's width in twips, and the width sets the note
// velocity or the time between repeated notes.
namespace LoopBars {

constexpr double kFullWidthTwips = 900;
constexpr int kLeftButtonOnly = 1;  // button mask: 1 left, 2 right, 4 middle

// A move counts only with the left button alone and strictly inside the bar's full width.
bool acceptsMove(int buttons, double xTwips);
int16_t velocityForWidth(double widthTwips);
int16_t intervalForWidth(double widthTwips);

}  // namespace LoopBars
