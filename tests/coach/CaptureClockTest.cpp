#include "coach/CaptureClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace {

constexpr int kRate = 48000;
constexpr int64_t kBlock = 168;  // the 3.5 ms the server hands over at a time

struct Case {
    const char* what;
    double wanderMs;     // of the server's reports, over 6 s
    double clockPpm;     // how much faster the sound card runs than the steady clock
    double lostAt;       // s of the stream where samples are lost, or 0
    double firstWrongS;  // how far off the stream's first reports are
    double toleranceMs;
};

// The reports wander and jitter as a sound server's do; each checks, from 2 s on, where the
// clock places the moment a sample truly reached the source. Following the reports would be off
// by all of their wander; a clock without a slope by 1.5 ms at 20 s from a card 150 ppm slow.
TEST(CaptureClock, PlacesEverySampleWhereTheStreamHasIt) {
    const Case cases[] = {
        {"reports that wander", 2.0, 0, 0, 0, 1.5},
        {"a sound card 100 ppm fast", 0.3, 100, 0, 0, 0.8},
        {"a sound card 150 ppm slow", 0.3, -150, 0, 0, 0.8},
        {"50 ms of samples lost", 0.3, 0, 8, 0, 0.5},
        {"the first reports 200 ms off", 0.3, 0, 0, 0.2, 0.5},
    };
    using namespace std::chrono;
    const auto origin = steady_clock::time_point(seconds(500));
    const auto at = [&](double s) {
        return origin + duration_cast<steady_clock::duration>(duration<double>(s));
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::mt19937 random(7);
        std::uniform_real_distribution<double> jitter(-0.0003, 0.0003);
        CaptureClock clock(kRate);
        clock.reset();
        const int64_t lost = c.lostAt > 0 ? kRate / 20 : 0;
        // When the stream's sample n truly reached the source.
        const auto truth = [&](int64_t n) {
            const bool after = c.lostAt > 0 && n >= int64_t(c.lostAt * kRate);
            return double(n + (after ? lost : 0)) / kRate / (1 + c.clockPpm * 1e-6);
        };
        double worstMs = 0;
        for (int64_t n = 0; n < 20 * kRate; n += kBlock) {
            const double t = truth(n);
            const double wander = c.wanderMs / 1000 * std::sin(2 * std::numbers::pi * t / 6);
            const double wrong = n < 2 * kBlock ? c.firstWrongS : 0;
            clock.report(n, at(t + wander + jitter(random) + wrong));
            const bool settling = c.lostAt > 0 && t > c.lostAt && t < c.lostAt + 1.5;
            if (t > 2 && !settling) {
                const double error = clock.streamSeconds(at(t)) - double(n) / kRate;
                worstMs = std::max(worstMs, std::abs(error) * 1000);
            }
        }
        EXPECT_LE(worstMs, c.toleranceMs);
    }
}

}  // namespace
