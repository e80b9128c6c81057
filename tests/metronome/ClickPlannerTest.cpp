#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "metronome/ClickPlanner.h"

namespace {

using namespace MetronomeTrainer;
using namespace std::chrono_literals;
using TimePoint = ClickPlanner::Clock::time_point;

double msSinceStart(TimePoint at) {
    return std::chrono::duration<double, std::milli>(at - TimePoint{}).count();
}

// A for an accent, B for a beat, s for a subdivision; '.' for a click that does not sound.
char letter(const Click& click) {
    if (!click.sounds) {
        return '.';
    }
    return click.kind == Kind::Accent ? 'A' : click.kind == Kind::Beat ? 'B' : 's';
}

Bar bar(int beats, const std::string& marks, int subdivision = 1, int swing = kStraightSwing) {
    Bar made;
    made.beats = beats;
    made.accents = !marks.empty();
    made.marks = marksFromText(marks);
    made.subdivision = subdivision;
    made.swing = swing;
    return made;
}

struct Heard {
    std::string letters;
    std::vector<double> times;  // ms after the start
};

Heard take(ClickPlanner& planner, int count) {
    Heard heard;
    for (int i = 0; i < count; ++i) {
        const Click click = planner.take();
        heard.letters += letter(click);
        heard.times.push_back(msSinceStart(click.due));
    }
    return heard;
}

TEST(ClickPlanner, PatternsPlaceEachClickAndItsClass) {
    const struct {
        const char* what;
        Bar bar;
        std::string letters;
        std::vector<double> times;
    } cases[] = {
        {"3/4 accented", bar(3, "ANN"), "ABBABBA", {500, 1000, 1500, 2000, 2500, 3000, 3500}},
        {"7/8 as 2+2+3", bar(7, "ANANANN"), "ABABABBA", {}},
        {"a silent beat rests with its subdivisions", bar(3, "ANS", 2), "AsBs..As", {}},
        {"triplets, on the millisecond",
         bar(2, "", 3),
         "BssBss",
         {500, 667, 833, 1000, 1167, 1333}},
        {"sixteenths", bar(1, "", 4), "BsssB", {500, 625, 750, 875, 1000}},
        {"swung eighths", bar(2, "AN", 2, 66), "AsBsAs", {500, 830, 1000, 1330, 1500, 1830}},
        {"every beat silent", bar(2, "SS"), "....", {500, 1000, 1500, 2000}},
    };
    for (const auto& c : cases) {
        ClickPlanner planner;
        Settings settings;
        settings.bar = c.bar;
        planner.start(TimePoint{}, 500ms, settings);
        const Heard heard = take(planner, static_cast<int>(c.letters.size()));
        EXPECT_EQ(heard.letters, c.letters) << c.what;
        for (size_t i = 0; i < c.times.size(); ++i) {
            EXPECT_NEAR(heard.times[i], c.times[i], 0.001) << c.what << ", click " << i;
        }
    }
}

// The bar lines where the tempo changes, the tempo each brings, and that every beat is the last
// one plus the interval of the tempo it was played at.
TEST(ClickPlanner, TheTempoTrainerStepsOnBarLinesWithoutDrift) {
    const struct {
        const char* what;
        TempoTrainer trainer;
        std::vector<int> tempos;  // at each change, the first at the start
        long endBar;              // -1: holds
    } cases[] = {
        {"60 to 120 by 5 every 2 bars, hold",
         {60, 5, 2, 120, false},
         {60, 65, 70, 75, 80, 85, 90, 95, 100, 105, 110, 115, 120},
         -1},
        {"down from 120 to 100 by 7, the last step clamped, stop",
         {120, 7, 1, 100, true},
         {120, 113, 106, 100},
         4},
        {"a start beyond the range is clamped", {400, 20, 1, 291, false}, {291}, -1},
    };
    for (const auto& c : cases) {
        ClickPlanner planner;
        Settings settings;
        settings.tempo = c.trainer;
        planner.start(TimePoint{}, 1000ms, settings);
        std::vector<int> tempos;
        int tempo = 0;
        TimePoint lastBeat = TimePoint{};
        long endBar = -1;
        for (int beat = 0; beat < 4 * 40; ++beat) {
            const Click click = planner.take();
            if (click.end) {
                endBar = click.bar;
                break;
            }
            EXPECT_EQ(click.due - lastBeat, intervalFor(tempo > 0 ? tempo : c.tempos[0]))
                << c.what << ", beat " << beat;
            if (click.newTempo) {
                EXPECT_EQ(click.beat, 0) << c.what;
                tempos.push_back(*click.newTempo);
                tempo = *click.newTempo;
            }
            lastBeat = click.due;
        }
        EXPECT_EQ(tempos, c.tempos) << c.what;
        EXPECT_EQ(endBar, c.endBar) << c.what;
    }
}

TEST(ClickPlanner, TheGapTrainerMutesWholeBarsAndKeepsTheGrid) {
    ClickPlanner planner;
    Settings settings;
    settings.bar = bar(2, "AN");
    settings.gap = GapTrainer{2, 1};
    planner.start(TimePoint{}, 500ms, settings);
    const Heard heard = take(planner, 12);
    EXPECT_EQ(heard.letters, "ABAB..ABAB..");
    for (size_t i = 0; i < heard.times.size(); ++i) {
        EXPECT_DOUBLE_EQ(heard.times[i], 500.0 * (i + 1));
    }
}

// A change of the bar waits for the bar line; a change of tempo waits for the next beat when
// the beat is subdivided, and counts from the last beat when it is not.
TEST(ClickPlanner, ChangesWhileRunningAreNeitherDoubledNorLost) {
    ClickPlanner planner;
    Settings settings;
    settings.bar = bar(4, "ANNN");
    planner.start(TimePoint{}, 500ms, settings);
    take(planner, 2);
    settings.bar = bar(3, "ANN", 2);
    planner.setSettings(settings);
    EXPECT_EQ(take(planner, 6).letters, "BBAsBs") << "the bar of four ends first";

    planner.setInterval(250ms);  // the bar's last beat, at 3500, is under way
    const Heard subdivided = take(planner, 4);
    EXPECT_EQ(subdivided.letters, "BsAs");
    EXPECT_EQ(subdivided.times, (std::vector<double>{3500, 3750, 4000, 4125}));

    settings.bar = bar(1, "");
    planner.setSettings(settings);
    take(planner, 4);  // to the bar line at 4750, the last beat at 4500
    planner.setInterval(400ms);
    EXPECT_DOUBLE_EQ(msSinceStart(planner.peek().due), 4900);
}

// A plain bar after a subdivided one, the tempo then raised so far that the last beat plus the
// new interval falls before the last subdivision heard: the clicks never go back in time, nor
// sound twice at once.
TEST(ClickPlanner, ARaisedTempoAfterSubdivisionsNeverGoesBack) {
    const struct {
        const char* what;
        Bar subdivided;
        std::chrono::milliseconds raised;
    } cases[] = {
        {"eighths to 291 BPM", bar(2, "", 2), intervalFor(291)},
        {"sixteenths to 200 BPM", bar(2, "", 4), intervalFor(200)},
        {"swung eighths to 240 BPM", bar(2, "", 2, 75), intervalFor(240)},
    };
    for (const auto& c : cases) {
        ClickPlanner planner;
        Settings settings;
        settings.bar = c.subdivided;
        planner.start(TimePoint{}, 500ms, settings);
        settings.bar = bar(2, "");
        planner.setSettings(settings);
        const Heard first = take(planner, 2 * c.subdivided.subdivision);
        ASSERT_GT(first.times.back(), 1000.0 + double(c.raised.count())) << c.what;
        planner.setInterval(c.raised);
        const Heard after = take(planner, 4);
        EXPECT_EQ(after.letters, "BBBB") << c.what;
        double last = first.times.back();
        for (double time : after.times) {
            EXPECT_GT(time, last) << c.what;
            last = time;
        }
    }
}

TEST(ClickPlanner, MarksSurviveTheSettingsFile) {
    const auto marks = marksFromText("ANSA");
    EXPECT_EQ(marksText(marks).substr(0, 5), "ANSAN");
    EXPECT_EQ(marksFromText("A?x"), marksFromText("A"));  // unknown letters are normal beats
}

}  // namespace
