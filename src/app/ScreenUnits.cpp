#include "app/ScreenUnits.h"

#include <QGuiApplication>
#include <QScreen>

#include "common/RoundHalfEven.h"

namespace {
constexpr double kTwipsPerInch = 1440.0;
}

ScreenUnits ScreenUnits::ofPrimaryScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return {};
    }
    return {kTwipsPerInch / screen->logicalDotsPerInchX(),
            kTwipsPerInch / screen->logicalDotsPerInchY()};
}

int ScreenUnits::toPixelsX(double twips) const {
    return static_cast<int>(roundHalfEven(twips / twipsPerPixelX));
}

int ScreenUnits::toPixelsY(double twips) const {
    return static_cast<int>(roundHalfEven(twips / twipsPerPixelY));
}

QRect ScreenUnits::toPixels(int left, int top, int width, int height) const {
    return {toPixelsX(left), toPixelsY(top), toPixelsX(width), toPixelsY(height)};
}
