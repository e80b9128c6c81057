#pragma once

#include <cstdint>

// The start-up settings the main window loads: the device it opens and the instrument it selects
// on the reference voice's channel, which Setup presets.
struct MainState {
    int16_t Device = 0;
    int16_t Sound = 0;
};
