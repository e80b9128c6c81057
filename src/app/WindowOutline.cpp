#include "app/WindowOutline.h"

#include <array>

#include "common/RoundHalfEven.h"

namespace {

constexpr std::array<OutlinePoint, kOutlinePointCount> kMainOutline = {{
    {22, 6},    {188, 6},   {189, 7},   {192, 8},   {194, 10},  {195, 10},  {201, 16},  {202, 16},
    {203, 17},  {205, 22},  {205, 288}, {204, 289}, {203, 292}, {201, 294}, {201, 295}, {195, 301},
    {194, 301}, {192, 303}, {187, 305}, {22, 305},  {21, 304},  {18, 303},  {16, 301},  {15, 301},
    {9, 295},   {9, 294},   {7, 292},   {7, 291},   {8, 290},   {7, 289},   {6, 286},   {6, 22},
    {7, 21},    {8, 18},    {10, 16},   {10, 15},   {15, 10},   {16, 10},   {18, 8},
}};

constexpr RoundRect kSetupOutline = {10, 10, 311, 111, 28, 26};
constexpr double kDesignTwipsPerPixel = 15.0;

bool inTable(int16_t point) {
    return point >= 0 && point < kOutlinePointCount;
}

int32_t rounded(double value) {
    return static_cast<int32_t>(roundHalfEven(value));
}

double scaled(double c, float scale, double twipsPerPixel) {
    return c * scale * kDesignTwipsPerPixel / twipsPerPixel;
}

int32_t convertX(double x, const OutlineTransform& t) {
    return rounded(scaled(x, t.scaleX, t.twipsPerPixelX) + t.offsetX);
}

int32_t convertY(double y, const OutlineTransform& t) {
    return rounded(scaled(y, t.scaleY, t.twipsPerPixelY) + t.offsetY);
}

}  // namespace

int16_t OutlinePointX(int16_t point) {
    return inTable(point) ? kMainOutline[point].x : 0;
}

int16_t OutlinePointY(int16_t point) {
    return inTable(point) ? kMainOutline[point].y : 0;
}

std::vector<OutlinePoint> mainOutline(const OutlineTransform& t) {
    std::vector<OutlinePoint> points;
    for (int16_t i = 0; i < kOutlinePointCount; ++i) {
        points.push_back({convertX(OutlinePointX(i), t), convertY(OutlinePointY(i), t)});
    }
    return points;
}

RoundRect setupOutline(const OutlineTransform& t) {
    const RoundRect& r = kSetupOutline;
    // The corner ellipse is a size, not a position: scaled but never offset.
    return {convertX(r.left, t),
            convertY(r.top, t),
            convertX(r.right, t),
            convertY(r.bottom, t),
            rounded(scaled(r.ellipseWidth, t.scaleX, t.twipsPerPixelX)),
            rounded(scaled(r.ellipseHeight, t.scaleY, t.twipsPerPixelY))};
}
