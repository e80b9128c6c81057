#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "coach/Calibration.h"
#include "coach/TakeReport.h"
#include "coach/TimingGrid.h"

using namespace Coach;

namespace {

// Beats at the given times, two positions a beat (the off-beat halfway), all heard.
TimingGrid eighths(const std::vector<double>& beats) {
    TimingGrid grid;
    for (size_t i = 0; i < beats.size(); ++i) {
        grid.add({beats[i], 0, int(i % 4), 0, true});
        if (i + 1 < beats.size()) {
            grid.add({(beats[i] + beats[i + 1]) / 2, 0, int(i % 4), 1, true});
        }
    }
    return grid;
}

NoteTiming note(double at, double offsetMs, int beat = 0, int subdivision = 0, bool heard = true,
                int part = 0) {
    NoteTiming n;
    n.at = at;
    n.offsetMs = offsetMs;
    n.nearest = {at - offsetMs / 1000, 0, beat, subdivision, heard};
    n.tempoPart = part;
    n.beatSeconds = 0.5;
    return n;
}

}  // namespace

TEST(TimingGrid, PlacesEachNoteAtTheNearestPosition) {
    const std::vector<double> beats = {1.0, 1.5, 2.0, 2.5, 3.0};
    struct Case {
        double at, now;
        TimingGrid::Outcome outcome;
        double offsetMs;
        int beat, subdivision;
    };
    using O = TimingGrid::Outcome;
    const Case cases[] = {
        {1.010, 1.1, O::Placed, +10, 0, 0},   // late on the first beat
        {1.240, 1.3, O::Placed, -10, 0, 1},   // early on the off-beat
        {1.374, 1.4, O::Placed, +124, 0, 1},  // just before halfway to the next beat
        {1.376, 1.4, O::Placed, -124, 1, 0},
        {0.880, 1.0, O::Placed, -120, 0, 0},  // before the grid, within half a position's beat
        {0.700, 1.0, O::Outside, 0, 0, 0},    // before the grid by more
        {3.090, 3.1, O::Placed, +90, 0, 0},   // nearer the last than any later position can be
        {3.100, 3.2, O::Wait, 0, 0, 0},       // the next beat may still be planned
        {3.100, 4.0, O::Placed, +100, 0, 0},  // the metronome stopped: the last beat stands
        {3.400, 4.0, O::Outside, 0, 0, 0},
    };
    const TimingGrid grid = eighths(beats);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.at);
        const auto placed = grid.place(c.at, c.now);
        ASSERT_EQ(placed.outcome, c.outcome);
        if (c.outcome == O::Placed) {
            EXPECT_NEAR(placed.timing.offsetMs, c.offsetMs, 1e-6);
            EXPECT_EQ(placed.timing.nearest.beat, c.beat);
            EXPECT_EQ(placed.timing.nearest.subdivision, c.subdivision);
        }
    }
}

TEST(TimingGrid, ATempoChangeOrAPauseBeginsANewPart) {
    struct Case {
        std::vector<double> beats;
        double at;
        int part;
        TimingGrid::Outcome outcome;
        double told = 0;  // the beat's length told with each beat
    };
    using O = TimingGrid::Outcome;
    const Case cases[] = {
        {{0, 0.5, 1.0, 1.5}, 1.5, 0, O::Placed},
        {{0, 0.5, 1.0, 1.4, 1.8, 2.2}, 1.81, 1, O::Placed},   // 120 to 150 BPM
        {{0, 0.5, 1.0, 1.502, 2.004}, 2.0, 0, O::Placed},     // within half a percent
        {{0, 0.5, 1.0, 4.0, 4.5, 5.0}, 4.5, 1, O::Placed},    // stopped and started again
        {{0, 0.5, 1.0, 4.0, 4.5, 5.0}, 2.5, 0, O::Outside},   // in the pause
        {{0, 0.5, 0.99, 1.51, 2.0}, 2.0, 0, O::Placed, 0.5},  // a track's beats wander
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.at);
        TimingGrid grid;
        for (double b : c.beats) {
            grid.add({b, 0, 0, 0, true, false, c.told});
        }
        const auto placed = grid.place(c.at, 10);
        ASSERT_EQ(placed.outcome, c.outcome);
        if (c.outcome == O::Placed) {
            EXPECT_EQ(placed.timing.tempoPart, c.part);
        }
    }
}

TEST(TakeReport, FiguresOfATake) {
    struct Case {
        const char* name;
        std::vector<NoteTiming> notes;
        Figures expected;
    };
    const Case cases[] = {
        {"steady either side",
         {note(0, 10), note(1, -10), note(2, 10), note(3, -10)},
         {4, 0, std::sqrt(400.0 / 3), -12, 1, 1}},  // the line through them falls
        {"drifting late",
         {note(0, 0), note(1, 10), note(2, 20), note(3, 30)},
         {4, 15, std::sqrt(500.0 / 3), 30, 0.5, 0.75}},
        {"one note", {note(5, -25)}, {1, -25, 0, 0, 0, 0}},
        {"none", {}, {0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Figures f = figuresOf(c.notes);
        EXPECT_EQ(f.notes, c.expected.notes);
        EXPECT_NEAR(f.meanMs, c.expected.meanMs, 1e-9);
        EXPECT_NEAR(f.spreadMs, c.expected.spreadMs, 1e-9);
        EXPECT_NEAR(f.driftMs, c.expected.driftMs, 1e-9);
        EXPECT_NEAR(f.within10, c.expected.within10, 1e-9);
        EXPECT_NEAR(f.within20, c.expected.within20, 1e-9);
    }
}

// Off-beats rushed by 12 ms, the muted bars' notes dragging, and a tempo change.
TEST(TakeReport, SplitsByTempoAndSetsTheMutedBarsAndTheOffBeatsApart) {
    std::vector<NoteTiming> notes;
    for (int i = 0; i < 8; ++i) {
        notes.push_back(note(i, -12, i % 2, 1));
        notes.push_back(note(i + 0.25, 2, i % 2, 0));
        notes.push_back(note(i + 0.5, 20, i % 2, 0, false));
    }
    notes.push_back(note(20, 5, 0, 0, true, 1));
    const auto parts = reportTake(notes);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].all.notes, 24);
    EXPECT_NEAR(parts[0].muted.meanMs, 20, 1e-9);
    EXPECT_EQ(parts[0].muted.notes, 8);
    ASSERT_EQ(parts[0].perPosition.size(), 4u);  // beats 1 and 2, each on and off the beat
    EXPECT_NEAR(parts[0].perPosition[1].meanMs, -12, 1e-9);
    EXPECT_EQ(parts[0].perPosition[1].subdivision, 1);
    EXPECT_NEAR(parts[0].perPosition[0].meanMs, 11, 1e-9);  // on the beat: 2 and 20
    EXPECT_NEAR(parts[0].bpm, 120, 1e-9);
    EXPECT_EQ(parts[1].all.notes, 1);
    EXPECT_NEAR(parts[1].all.meanMs, 5, 1e-9);
}

TEST(Calibration, TheMedianOfWhatIsHeardUnlessTooLittleOrScattered) {
    struct Case {
        const char* name;
        std::vector<double> offsets;
        int played;
        bool good;
        double correctionMs, spreadMs;
    };
    const Case cases[] = {
        {"steady", {4.1, 4.0, 3.9, 4.0, 4.2, 3.8, 4.0, 30.0}, 8, true, 4.0, 0.1},
        {"an even count", {1, 2, 3, 4}, 8, true, 2.5, 1.0},
        {"half heard", {5, 5, 5, 5}, 9, false, 0, 0},
        {"nothing heard", {}, 16, false, 0, 0},
        {"scattered", {-40, -20, 0, 20, 40, 60}, 6, false, 10, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = Coach::calibrate(c.offsets, c.played);
        EXPECT_EQ(result.good, c.good);
        EXPECT_EQ(result.heard, int(c.offsets.size()));
        EXPECT_EQ(result.problem.empty(), c.good);
        if (c.good) {
            EXPECT_NEAR(result.correctionMs, c.correctionMs, 1e-9);
            EXPECT_NEAR(result.spreadMs, c.spreadMs, 1e-9);
        }
    }
}
