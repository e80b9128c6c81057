#include <gtest/gtest.h>

#include "audio/TransientLead.h"

// Against what track_grid_bench measured at 48 kHz (start pads of 2048 and 1024 frames): the
// finer engine's ticks where they reach an eighth of their peak, the faster engine's where they
// reach half of it; within the spread of the ticks about their mean.
TEST(TransientLead, PlacesTheClickWhereTheStretcherPlaysTheBeat) {
    const struct {
        StretchEngine engine;
        double speed;
        double measuredMs;  // + is early
        double withinMs;
    } cases[] = {
        {StretchEngine::Finer, 0.25, 21.82, 2.6},  {StretchEngine::Finer, 0.5, 5.74, 1.2},
        {StretchEngine::Finer, 0.75, 1.53, 0.4},   {StretchEngine::Finer, 1.0, 0.0, 0.0},
        {StretchEngine::Finer, 1.5, -0.39, 0.7},   {StretchEngine::Faster, 0.5, 9.57, 1.7},
        {StretchEngine::Faster, 0.75, 3.00, 0.5},  {StretchEngine::Faster, 1.0, 0.0, 0.0},
        {StretchEngine::Faster, 1.5, -2.28, 0.6},
    };
    for (const auto& c : cases) {
        const double pad = c.engine == StretchEngine::Finer ? 2048 : 1024;
        EXPECT_NEAR(1000 * transientLead(c.engine, c.speed, pad) / 48000, c.measuredMs, c.withinMs)
            << c.speed << (c.engine == StretchEngine::Finer ? " finer" : " faster");
    }
}
