#pragma once

#include <string>

#include "app/ScreenUnits.h"

// Where the program lives and how big the screen's pixels are; tests substitute both.
struct AppEnvironment {
    std::string programDir;
    ScreenUnits units;

    static AppEnvironment ofApplication();
};
