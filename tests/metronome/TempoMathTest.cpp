#include <gtest/gtest.h>

#include "metronome/TempoMath.h"

namespace {

TEST(TempoMath, KnobPositionGivesTempo) {
    struct Case {
        float left;
        int16_t q, interval, bpm;
    };
    const Case cases[] = {
        {1500, 100, 600, 100}, {2640, 290, 206, 291}, {915, 2, 30000, 2},    {930, 5, 12000, 5},
        {1619, 120, 500, 120}, {1445, 91, 659, 91},   {910.5f, 2, 30000, 2},  // 11.5 rounds to the
                                                                              // even 12
    };
    for (const Case& c : cases) {
        const auto tempo = TempoMath::tempoForKnob(c.left);
        ASSERT_TRUE(tempo.has_value()) << c.left;
        EXPECT_EQ(tempo->q, c.q) << c.left;
        EXPECT_EQ(tempo->BeatInterval, c.interval) << c.left;
        EXPECT_EQ(tempo->Bpm, c.bpm) << c.left;
    }
}

TEST(TempoMath, KnobRefusedOffTheTrackOrBelowTwoBeatsAMinute) {
    for (float left : {909.9f, 910.0f, 910.4f, 2640.1f, 3000.0f, -5.0f}) {
        EXPECT_FALSE(TempoMath::tempoForKnob(left).has_value()) << left;
    }
}

TEST(TempoMath, TypedTempo) {
    struct Case {
        const char* text;
        int16_t interval;
    };
    const Case cases[] = {{"120", 500},  {"240", 250},   {"7", 8571},    {"2", 30000},
                          {"32767", 1},  {"100.4", 600}, {"2.5", 30000}, {"3.5", 15000},
                          {" 90 ", 666}, {"060", 1000}};
    for (const Case& c : cases) {
        const auto interval = TempoMath::intervalForTyped(c.text);
        ASSERT_TRUE(interval.has_value()) << c.text;
        EXPECT_EQ(*interval, c.interval) << c.text;
    }
}

TEST(TempoMath, TempoOfAnInterval) {
    const std::pair<int, int> cases[] = {{60000, 1}, {500, 120}, {206, 291}, {8571, 7}, {1, 60000}};
    for (const auto& [interval, tempo] : cases) {
        EXPECT_EQ(TempoMath::tempoForInterval(interval), tempo) << interval;
    }
}

TEST(TempoMath, TypedTextWithoutAUsableIntervalIsRefused) {
    for (const char* text : {"", "   ", "abc", "0", "1", "1.4", "-5", "99999", "32768", "12a",
                             "1e400", "nan", "inf", "0x10"}) {
        EXPECT_FALSE(TempoMath::intervalForTyped(text).has_value()) << '"' << text << '"';
    }
}

}  // namespace
