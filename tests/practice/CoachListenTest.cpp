// The timing coach through the sound server, as a player meets it: the built-in synthesizer plays
// the metronome's click and a guitar 10 ms after each click into the null sink, whose monitor is
// the default input. After a calibration by clicks heard back, a take 10 ms later than another
// is reported 10 ms later.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "CoachRig.h"
#include "RecordingMidi.h"
#include "Servers.h"
#include "TempDir.h"
#include "midi/MIDI_CMD.h"
#include "practice/CoachPlot.h"

namespace {

using namespace std::chrono_literals;

TEST(CoachListen, AGuitarTenMillisecondsLaterIsReportedTenLater) {
    RZ77_REQUIRE_SERVER(commandSucceeds("pactl info"), "PulseAudio");
    setenv("PULSE_SOURCE", "nullsink.monitor", 1);  // the default input, for this process
    RecordingReporter reporter;
    TempDir dir;
    CoachRig rig(dir.str(), reporter);
    ASSERT_TRUE(rig.openSynthesizer()) << testing::PrintToString(reporter.shown);
    MIDI_CMD::ProgramChange(rig.output, 0, 0, 25);  // a steel-strung guitar
    QWidget& page = rig.page;
    page.show();
    auto* status = page.findChild<QLabel*>("coachStatus");

    rig.coach.calibrate(false);
    QTest::qWait(10000);
    ASSERT_TRUE(status->text().startsWith("ROUND TRIP")) << status->text().toStdString();

    // The player lets the first click go by, then plays a note `late` after each click.
    int clicks = 0;
    auto late = 0ms;
    const int16_t keysPlayed[] = {45, 50, 55, 59};
    QObject::connect(rig.metronome, &Metronome::gridPlanned, [&](const MetronomeTrainer::Click& c) {
        if (++clicks > 1) {
            const int16_t key = keysPlayed[clicks % 4], before = keysPlayed[(clicks + 3) % 4];
            rig.output.noteOn(0, before, 0, c.due - 40ms);
            rig.output.noteOn(0, key, 100, c.due + late);
        }
    });
    rig.window.findChild<QLineEdit*>("txtBPM")->setText("100");
    rig.metronome->txtBPM_KeyPress(13);
    const auto take = [&](std::chrono::milliseconds lateBy) {
        clicks = 0;
        late = lateBy;
        rig.coach.toggleCoach();
        rig.metronome->imgBPMPlay_Click();
        QTest::qWait(15000);  // 25 beats
        rig.metronome->imgBPMStop_Click();
        QTest::qWait(800);
        rig.coach.toggleCoach();
        const QString report = page.findChild<QLabel*>("coachReportText")->text();
        EXPECT_TRUE(report.contains(QRegularExpression("\\d+ notes, mean [+\u2212][0-9.]+ ms")))
            << report.toStdString();
        // The plot's dots, by their median: a stray onset (the sound server dropping a block
        // under load) moves a mean of twenty notes by a millisecond or more.
        auto notes = page.findChild<CoachPlot*>()->notes();
        EXPECT_GE(notes.size(), 15u) << report.toStdString();
        if (notes.empty()) {
            return 0.0;
        }
        const auto middle = notes.begin() + long(notes.size() / 2);
        std::nth_element(notes.begin(), middle, notes.end(),
                         [](const auto& a, const auto& b) { return a.offsetMs < b.offsetMs; });
        return middle->offsetMs;
    };
    // A sampled guitar's attack rises over a few milliseconds after its key: the take on the
    // click shows where the coach places it, the late take must come out 10 ms after that.
    const double onTheClick = take(0ms);
    const double tenLate = take(10ms);
    EXPECT_NEAR(onTheClick, 0, 10);
    EXPECT_NEAR(tenLate - onTheClick, 10, 2) << onTheClick << " then " << tenLate;
}

}  // namespace
