#pragma once

#include <cstdint>
#include <vector>

// The outlines the two skinned windows are cut to, designed in pixels at 96 dpi and converted to
// the screen's pixels so that they keep their size in twips, as the windows' layouts do.

struct OutlinePoint {
    int32_t x;
    int32_t y;
    bool operator==(const OutlinePoint&) const = default;
};

// Rounded rectangle as a window system takes it: right and bottom exclusive, corner ellipse size.
struct RoundRect {
    int32_t left, top, right, bottom, ellipseWidth, ellipseHeight;
    bool operator==(const RoundRect&) const = default;
};

// How design pixels become screen pixels: scale, offset (screen pixels) and twips per pixel.
struct OutlineTransform {
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    int16_t offsetX = 0;
    int16_t offsetY = 0;
    double twipsPerPixelX = 15.0;
    double twipsPerPixelY = 15.0;
};

constexpr int16_t kOutlinePointCount = 39;

// The main window's outline table; a point number outside 0..38 gives 0.
int16_t OutlinePointX(int16_t point);
int16_t OutlinePointY(int16_t point);

std::vector<OutlinePoint> mainOutline(const OutlineTransform& t);
RoundRect setupOutline(const OutlineTransform& t);
