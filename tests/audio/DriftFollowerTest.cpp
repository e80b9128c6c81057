#include <gtest/gtest.h>

#include <cmath>

#include "audio/DriftFollower.h"

namespace {

// A server whose clock runs faster (negative drift: the queue empties) or slower than ours, and
// a follower moving the origin as it says: the queue must come back to where it settled and stay.
TEST(DriftFollower, HoldsTheQueueAgainstAServerClockThatDrifts) {
    for (double drift : {-1000e-6, -250e-6, 0.0, 400e-6}) {
        DriftFollower follower;
        const double settled = 0.015;
        double latency = settled;
        double worst = 0;
        for (int second = 0; second < 120; ++second) {
            const double rate = follower.update(latency);
            latency += drift - rate;
            if (second == 60) {
                latency += 0.004;  // the server takes 4 ms more for itself: not a drift
            }
            if (second > 30) {
                worst = std::max(worst, std::abs(latency - settled - (second >= 60 ? 0.004 : 0)));
            }
        }
        EXPECT_LT(worst, 0.0005) << "drift " << drift;
        EXPECT_NEAR(follower.rate(), drift, 20e-6) << "drift " << drift;
    }
}

}  // namespace
