#include <gtest/gtest.h>

#include <cmath>

#include "tuner/LoopBars.h"
#include "tuner/NoteSelection.h"
#include "tuner/Tunings.h"

namespace {

// The letter picture must always name the pitch class of the note (counted from A).
int16_t letterOf(int16_t note) {
    return static_cast<int16_t>(((note - 45) % 12 + 12) % 12);
}

TEST(NoteSelection, OpenStringsInStandardTuning) {
    const NoteSelection expected[] = {{40, 7}, {45, 0}, {50, 5}, {55, 10}, {59, 2}, {64, 7}};
    for (int i = 0; i < kStringCount; ++i) {
        const NoteSelection s = selectionOf(Tunings::known().front().notes[i]);
        EXPECT_EQ(s.note, expected[i].note) << i;
        EXPECT_EQ(s.picture, expected[i].picture) << i;
        EXPECT_EQ(s.picture, letterOf(s.note)) << i;
    }
}

TEST(NoteSelection, LetterWrapsBetweenGSharpAndA) {
    NoteSelection gSharp{56, 11};
    ASSERT_TRUE(stepUp(gSharp));
    EXPECT_EQ(gSharp.note, 57);
    EXPECT_EQ(gSharp.picture, 0);

    NoteSelection a{57, 0};
    ASSERT_TRUE(stepDown(a));
    EXPECT_EQ(a.note, 56);
    EXPECT_EQ(a.picture, 11);
}

TEST(NoteSelection, TwelveStepsMoveAnOctaveAndKeepTheLetter) {
    for (auto step : {stepUp, stepDown}) {
        NoteSelection s{52, 7};
        for (int i = 0; i < 12; ++i) {
            ASSERT_TRUE(step(s));
            EXPECT_EQ(s.picture, letterOf(s.note));
        }
        EXPECT_EQ(s.picture, 7);
        EXPECT_EQ(std::abs(s.note - 52), 12);
    }
}

TEST(NoteSelection, StopsAtTheEndsOfTheMidiRange) {
    NoteSelection top{127, letterOf(127)};
    EXPECT_FALSE(stepUp(top));
    EXPECT_EQ(top.note, 127);
    EXPECT_EQ(top.picture, letterOf(127));

    NoteSelection bottom{0, letterOf(0)};
    EXPECT_FALSE(stepDown(bottom));
    EXPECT_EQ(bottom.note, 0);
    EXPECT_EQ(bottom.picture, letterOf(0));
}

TEST(LoopBars, WidthSetsVelocityAndIntervalRoundingHalvesToEven) {
    struct Case {
        int pixels;
        int16_t velocity, interval;
    };
    const Case cases[] = {{1, 2, 60}, {4, 8, 240}, {12, 22, 720}, {30, 56, 1800}, {59, 111, 3540}};
    for (const Case& c : cases) {
        const double twips = c.pixels * 15.0;
        EXPECT_EQ(LoopBars::velocityForWidth(twips), c.velocity) << c.pixels;
        EXPECT_EQ(LoopBars::intervalForWidth(twips), c.interval) << c.pixels;
    }
}

TEST(LoopBars, OnlyLeftButtonInsideTheBarCounts) {
    struct Case {
        int buttons;
        double x;
        bool accepted;
    };
    const Case cases[] = {{1, 15, true},   {1, 885, true},  {1, 10, false},  {1, 10.5, true},
                          {1, 0, false},   {1, -30, false}, {1, 900, false}, {1, 1500, false},
                          {2, 450, false}, {3, 450, false}, {4, 450, false}, {0, 450, false},
                          {5, 450, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(LoopBars::acceptsMove(c.buttons, c.x), c.accepted) << c.buttons << " " << c.x;
    }
}

}  // namespace

namespace {

TEST(Tunings, TablesNotesAndTheReference) {
    const struct {
        const char* name;
        const char* notes;
    } expected[] = {{"STANDARD", "E2 A2 D3 G3 B3 E4"},   {"EB STANDARD", "D#2 G#2 C#3 F#3 A#3 D#4"},
                    {"D STANDARD", "D2 G2 C3 F3 A3 D4"}, {"DROP D", "D2 A2 D3 G3 B3 E4"},
                    {"DROP C", "C2 G2 C3 F3 A3 D4"},     {"DADGAD", "D2 A2 D3 G3 A3 D4"},
                    {"OPEN G", "D2 G2 D3 G3 B3 D4"},     {"OPEN D", "D2 A2 D3 F#3 A3 D4"},
                    {"OPEN E", "E2 B2 E3 G#3 B3 E4"}};
    ASSERT_EQ(Tunings::known().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_STREQ(Tunings::known()[i].name, expected[i].name);
        EXPECT_EQ(Tunings::text(Tunings::known()[i].notes), expected[i].notes);
        EXPECT_EQ(Tunings::parse(expected[i].notes), Tunings::known()[i].notes) << expected[i].name;
    }
    for (const char* refused : {"E2 A2 D3 G3 B3", "E2 A2 D3 G3 B3 E4 A4", "E2 A2 D3 G3 B3 G9#",
                                "H2 A2 D3 G3 B3 E4", "E2 A2 D3 G3 B3 A9", "E2 A2 D3 G3 B3 Cb-1"}) {
        EXPECT_FALSE(Tunings::parse(refused)) << refused;
    }
    EXPECT_EQ(Tunings::parse("Eb2 Ab2 Db3 Gb3 Bb3 Eb4"), Tunings::known()[1].notes);

    const Tunings::Heard heard = Tunings::nearest(110 * std::pow(2.0, 5 / 1200.0), 440);
    EXPECT_EQ(heard.note, 45);
    EXPECT_NEAR(heard.cents, 5.0, 1e-9);
    EXPECT_NEAR(Tunings::centsFrom(432.0 / 4, 45, 432), 0.0, 1e-9);
    EXPECT_EQ(Tunings::reference(442.04), 442.0);
    EXPECT_FALSE(Tunings::reference(414.9));
    EXPECT_FALSE(Tunings::reference(466.1));
}

}  // namespace
