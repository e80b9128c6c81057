#include <gtest/gtest.h>

#include "audio/TransientLead.h"

// The measured leads at the speeds the page offers, between them (the speed trainer's steps need
// not fall on them) and beyond them.
TEST(TransientLead, FollowsTheMeasuredLeadAtEverySpeed) {
    const struct {
        StretchEngine engine;
        double speed;
        double ms;  // + is early
    } cases[] = {
        {StretchEngine::Finer, 0.25, 21.6},  {StretchEngine::Finer, 0.5, 8.5},
        {StretchEngine::Finer, 0.525, 7.25}, {StretchEngine::Finer, 1.0, 0.0},
        {StretchEngine::Finer, 1.5, -2.6},   {StretchEngine::Finer, 0.1, 21.6},
        {StretchEngine::Finer, 2.0, -2.6},   {StretchEngine::Faster, 0.3, 3.9},
        {StretchEngine::Faster, 0.6, 4.8},   {StretchEngine::Faster, 1.5, 6.3},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(1000 * transientLead(c.engine, c.speed), c.ms, 1e-9)
            << c.speed << (c.engine == StretchEngine::Finer ? " finer" : " faster");
    }
}
