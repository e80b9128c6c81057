#pragma once

#include <algorithm>

// A loop played faster pass by pass: each pass adds a step to the start speed until the target,
// which then holds. A target below the start counts down.
struct SpeedTrainer {
    double start = 0.6;
    double step = 0.05;
    double target = 1.0;

    double speedForPass(int pass) const {
        const double lowest = std::min(start, target);
        const double highest = std::max(start, target);
        const double direction = target >= start ? 1.0 : -1.0;
        return std::clamp(start + direction * step * pass, lowest, highest);
    }
    bool operator==(const SpeedTrainer&) const = default;
};
