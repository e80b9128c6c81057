#pragma once

#include <QRect>
#include <QSizeF>

// Layouts are designed in twips (1440 per inch); the screen's twips per pixel turn them into
// pixels: 15 at 96 dpi, 12 at 120 dpi.
struct ScreenUnits {
    double twipsPerPixelX = 15.0;
    double twipsPerPixelY = 15.0;

    static ScreenUnits ofPrimaryScreen();

    int toPixelsX(double twips) const;
    int toPixelsY(double twips) const;
    QRect toPixels(int left, int top, int width, int height) const;
    // A font's pixel size here for its size at 96 dpi.
    int fontPixels(double atNormalDpi) const {
        return static_cast<int>(atNormalDpi * 15 / twipsPerPixelY + 0.5);
    }
    // Unrounded, for art that is drawn to scale.
    QSizeF toPixelsF(double width, double height) const {
        return {width / twipsPerPixelX, height / twipsPerPixelY};
    }
};
