#include <gtest/gtest.h>

#include "app/WindowOutline.h"

namespace {

constexpr OutlineTransform k96dpi{};
constexpr OutlineTransform k120dpi{1.0f, 1.0f, 0, 0, 12.0, 12.0};

TEST(OutlinePoint, LookupsOutsideTheTableGiveZero) {
    for (int16_t point : {int16_t(-1), int16_t(39), int16_t(1000), int16_t(-32768)}) {
        EXPECT_EQ(OutlinePointX(point), 0) << point;
        EXPECT_EQ(OutlinePointY(point), 0) << point;
    }
    EXPECT_EQ(OutlinePointX(38), 18);
    EXPECT_EQ(OutlinePointY(38), 8);
}

TEST(MainOutline, At96DpiIsTheDesignTable) {
    const auto points = mainOutline(k96dpi);
    ASSERT_EQ(points.size(), 39u);
    for (int16_t i = 0; i < 39; ++i) {
        EXPECT_EQ(points[i], (OutlinePoint{OutlinePointX(i), OutlinePointY(i)})) << i;
    }
    // The notch in the left edge near the bottom.
    EXPECT_EQ(points[28], (OutlinePoint{8, 290}));
}

TEST(MainOutline, At120DpiRoundsHalvesToEven) {
    const auto points = mainOutline(k120dpi);
    EXPECT_EQ(points[0], (OutlinePoint{28, 8}));    // 27.5 -> 28, 7.5 -> 8
    EXPECT_EQ(points[1], (OutlinePoint{235, 8}));   // 235.0
    EXPECT_EQ(points[2], (OutlinePoint{236, 9}));   // 236.25, 8.75
    EXPECT_EQ(points[9], (OutlinePoint{256, 28}));  // 256.25, 27.5 -> 28
    EXPECT_EQ(points[36], (OutlinePoint{19, 12}));  // 18.75, 12.5 -> 12
}

TEST(MainOutline, OffsetsMoveEveryPoint) {
    const auto plain = mainOutline(k96dpi);
    const auto moved = mainOutline({1.0f, 1.0f, 5, 7, 15.0, 15.0});
    for (size_t i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(moved[i], (OutlinePoint{plain[i].x + 5, plain[i].y + 7})) << i;
    }
}

TEST(SetupOutline, ScalesCornersAndEllipseButOffsetsOnlyCorners) {
    struct Case {
        OutlineTransform transform;
        RoundRect expected;
    };
    const Case cases[] = {
        {k96dpi, {10, 10, 311, 111, 28, 26}},
        {k120dpi, {12, 12, 389, 139, 35, 32}},
        {{1.0f, 1.0f, 5, 7, 15.0, 15.0}, {15, 17, 316, 118, 28, 26}},
        {{2.0f, 0.5f, 0, 0, 15.0, 15.0}, {20, 5, 622, 56, 56, 13}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(setupOutline(c.transform), c.expected);
    }
}

}  // namespace
