#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <optional>

#include "MainWindowFixture.h"
#include "app/SvgPicture.h"
#include "common/BeatClock.h"
#include "midi/MIDI_CMD.h"
#include "tuner/Tuner.h"

namespace {

using Bytes = std::vector<std::vector<int>>;
using namespace std::chrono_literals;

class TunerTest : public MainWindowFixture {
protected:
    Tuner& start(int channel = 3) {
        writeSettings(channel, -1, 25);
        frmMain& w = load();
        tuner = new Tuner(w, w.voice, output,
                          [this] { return fakeNow.value_or(BeatClock::Clock::now()); });
        w.show();
        takeSent();
        return *tuner;
    }
    QWidget* control(const QString& name) {
        QWidget* widget = window->findChild<QWidget*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }
    void click(const QString& name) { QTest::mouseClick(control(name), Qt::LeftButton); }
    QString shownLetter() { return window->findChild<SvgPicture*>("imgNote")->picture(); }
    bool iconVisible() { return control("imgMusicalNote")->isVisible(); }

    // A drag on a bar with the given buttons held, ending at x pixels from its left edge.
    void dragBar(int index, Qt::MouseButtons buttons, int x) {
        QWidget* bar = control(QString("imgVolLoop%1").arg(index));
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(0, 5));
        QMouseEvent move(QEvent::MouseMove, QPointF(x, 5), bar->mapToGlobal(QPointF(x, 5)),
                         Qt::NoButton, buttons, {});
        QApplication::sendEvent(bar, &move);
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(0, 5));
    }

    // The loop's timer elapsing at the given time of the test's clock.
    void fireLoopAt(BeatClock::TimePoint at) {
        fakeNow = at;
        QMetaObject::invokeMethod(&tuner->tmrLoopSpeed, "timeout", Qt::DirectConnection);
    }

    std::optional<BeatClock::TimePoint> fakeNow;
    Tuner* tuner = nullptr;
};

TEST_F(TunerTest, StringsSelectSoundAndShowTheirNote) {
    start(3);
    const struct {
        int note;
        const char* letter;
    } strings[] = {{40, "note-E"}, {45, "note-A"}, {50, "note-D"},
                   {55, "note-G"}, {59, "note-B"}, {64, "note-E"}};
    for (int i = 0; i < 6; ++i) {
        click(QString("imgString%1").arg(i));
        EXPECT_EQ(window->voice.CurrentNote, strings[i].note);
        EXPECT_TRUE(shownLetter().contains(QString(strings[i].letter) + ".svg"))
            << shownLetter().toStdString();
        EXPECT_EQ(takeSent(), (Bytes{{0x92, strings[i].note, 127, 0}})) << i;
        EXPECT_TRUE(iconVisible());
    }
}

TEST_F(TunerTest, StepsWrapTheLetterAndSoundNothing) {
    start();
    for (int i = 0; i < 4; ++i) {
        click("imgNoteUp");  // E -> G#
    }
    EXPECT_EQ(tuner->NotePicture, 11);
    click("imgNoteUp");
    EXPECT_EQ(window->voice.CurrentNote, 57);
    EXPECT_EQ(tuner->NotePicture, 0);
    EXPECT_TRUE(shownLetter().endsWith("note-A.svg"));
    click("imgNoteDown");
    EXPECT_EQ(window->voice.CurrentNote, 56);
    EXPECT_TRUE(shownLetter().endsWith("note-Gs.svg"));
    for (int i = 0; i < 12; ++i) {
        click("imgNoteDown");
    }
    EXPECT_EQ(window->voice.CurrentNote, 44);
    EXPECT_EQ(tuner->NotePicture, 11);
    EXPECT_TRUE(takeSent().empty());
    EXPECT_FALSE(iconVisible());
}

TEST_F(TunerTest, NoteUpStopsAtTheTopOfTheMidiRange) {
    start();
    for (int i = 0; i < 80; ++i) {
        click("imgNoteUp");
    }
    EXPECT_EQ(window->voice.CurrentNote, 127);
    EXPECT_TRUE(shownLetter().endsWith("note-G.svg"));
    click("imgPlaynote");
    EXPECT_EQ(takeSent(), (Bytes{{0x92, 127, 127, 0}}));
}

TEST_F(TunerTest, NotesAreNeverCutOffByANoteOff) {
    start();
    click("imgString5");
    click("imgString0");
    click("imgPlaynote");
    click("imgPlaynote");
    EXPECT_EQ(
        takeSent(),
        (Bytes{{0x92, 64, 127, 0}, {0x92, 40, 127, 0}, {0x92, 40, 127, 0}, {0x92, 40, 127, 0}}));
}

TEST_F(TunerTest, StopSilencesEveryChannelAndLeavesTheIconToItsTimer) {
    start();
    click("imgPlaynote");
    takeSent();
    click("imgStopnote");
    const Bytes sent = takeSent();
    ASSERT_EQ(sent.size(), 32u);
    EXPECT_EQ(sent.front(), (std::vector<int>{0xB0, 120, 0, 0}));
    EXPECT_EQ(sent[1], (std::vector<int>{0xB0, 123, 0, 0}));
    EXPECT_EQ(sent.back(), (std::vector<int>{0xBF, 123, 0, 0}));
    EXPECT_TRUE(iconVisible());
    EXPECT_TRUE(tuner->tmrNote.isActive());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !iconVisible(); }, 3000));
    EXPECT_FALSE(tuner->tmrNote.isActive());
}

TEST_F(TunerTest, BarsFollowTheLeftButtonOnly) {
    start();
    const struct {
        int pixels;
        int16_t velocity, interval;
    } moves[] = {{1, 2, 60}, {4, 8, 240}, {12, 22, 720}, {30, 56, 1800}, {59, 111, 3540}};
    for (const auto& m : moves) {
        dragBar(0, Qt::LeftButton, m.pixels);
        dragBar(1, Qt::LeftButton, m.pixels);
        EXPECT_EQ(window->voice.NoteVelocity, m.velocity) << m.pixels;
        EXPECT_EQ(tuner->LoopInterval, m.interval) << m.pixels;
        EXPECT_EQ(control("imgVolLoop0")->width(), m.pixels);
    }
    const struct {
        Qt::MouseButtons buttons;
        int pixels;
    } ignored[] = {{Qt::LeftButton, 0},   {Qt::LeftButton, 60},
                   {Qt::LeftButton, 75},  {Qt::LeftButton, -5},
                   {Qt::RightButton, 20}, {Qt::LeftButton | Qt::RightButton, 20}};
    for (const auto& m : ignored) {
        dragBar(0, m.buttons, m.pixels);
        EXPECT_EQ(window->voice.NoteVelocity, 111) << m.pixels;
        EXPECT_EQ(control("imgVolLoop0")->width(), 59);
    }
}

TEST_F(TunerTest, BarDragKeepsWorkingOutsideTheNarrowedBar) {
    start();
    dragBar(0, Qt::LeftButton, 4);
    ASSERT_EQ(control("imgVolLoop0")->width(), 4);
    dragBar(0, Qt::LeftButton, 30);  // pressed inside, moved far beyond the 4-pixel bar
    EXPECT_EQ(control("imgVolLoop0")->width(), 30);
    EXPECT_EQ(window->voice.NoteVelocity, 56);
}

TEST_F(TunerTest, BarPressDoesNotMoveTheWindow) {
    start();
    const QPoint before = window->pos();
    dragBar(1, Qt::LeftButton, 20);
    EXPECT_EQ(window->pos(), before);
}

TEST_F(TunerTest, LoopRepeatsTheNoteAfterEachInterval) {
    start();
    const auto clicked = BeatClock::Clock::now();
    click("imgLoop");
    EXPECT_TRUE(takeSent().empty());  // nothing sounds at once
    ASSERT_TRUE(QTest::qWaitFor([&] { return midi.sent.size() >= 2; }, 3000));
    const std::vector dues(midi.dues.end() - 2, midi.dues.end());
    EXPECT_EQ(takeSent(), (Bytes{{0x92, 52, 127, 0}, {0x92, 52, 127, 0}}));
    EXPECT_GE(dues[0] - clicked, 500ms);
    EXPECT_LT(dues[0] - clicked, 520ms);
    EXPECT_EQ(dues[1] - dues[0], 500ms);
}

TEST_F(TunerTest, LoopIntervalChangesFromTheNextTick) {
    const BeatClock::TimePoint t0{};
    fakeNow = t0;
    start();
    click("imgLoop");
    dragBar(1, Qt::LeftButton, 1);
    EXPECT_EQ(tuner->LoopInterval, 60);
    // Each tick wakes ahead of its note and stamps it with the note's own time.
    fireLoopAt(t0 + 475ms);
    EXPECT_EQ(takeSent(), (Bytes{{0x92, 52, 127, 0}}));
    EXPECT_EQ(midi.dues.back(), t0 + 500ms);  // the running interval finishes first
    fireLoopAt(t0 + 545ms);
    EXPECT_EQ(midi.dues.back(), t0 + 560ms);

    click("imgStopnote");
    EXPECT_FALSE(tuner->tmrLoopSpeed.isActive());
    dragBar(1, Qt::LeftButton, 30);
    const BeatClock::TimePoint t1 = t0 + 2s;
    fakeNow = t1;
    click("imgLoop");
    takeSent();
    fireLoopAt(t1 + 50ms);
    EXPECT_EQ(midi.dues.back(), t1 + 60ms);  // the interval last set before the stop
    fireLoopAt(t1 + 1840ms);
    EXPECT_EQ(midi.dues.back(), t1 + 1860ms);
    EXPECT_EQ(takeSent().size(), 2u);
}

TEST_F(TunerTest, LoopClickWhileRunningKeepsTheBeat) {
    start();
    click("imgLoop");
    QTest::qWait(200);
    const int remaining = tuner->tmrLoopSpeed.remainingTime();
    click("imgLoop");
    EXPECT_TRUE(tuner->tmrLoopSpeed.isActive());
    EXPECT_LE(tuner->tmrLoopSpeed.remainingTime(), remaining);
}

TEST_F(TunerTest, LoopFollowsTheSelectionAndSurvivesAllNotesOffFromElsewhere) {
    start();
    click("imgLoop");
    click("imgString2");
    EXPECT_EQ(takeSent(), (Bytes{{0x92, 50, 127, 0}}));  // sounds at once
    MIDI_CMD::AllNotesOff(output);
    takeSent();
    EXPECT_TRUE(tuner->tmrLoopSpeed.isActive());
    dragBar(0, Qt::LeftButton, 12);
    tuner->tmrLoopSpeed_Timer();
    EXPECT_EQ(takeSent(), (Bytes{{0x92, 50, 22, 0}}));
}

TEST_F(TunerTest, EveryControlIsWhereTheSkinDrawsIt) {
    start();
    const struct {
        const char* name;
        QRect geometry;
    } controls[] = {{"imgNote", {36, 70, 27, 21}},      {"imgNoteUp", {66, 70, 9, 11}},
                    {"imgNoteDown", {66, 86, 9, 9}},    {"imgString0", {122, 56, 9, 43}},
                    {"imgString5", {172, 56, 9, 43}},   {"imgMusicalNote", {96, 54, 22, 29}},
                    {"imgPlaynote", {22, 154, 37, 17}}, {"imgLoop", {62, 154, 37, 21}},
                    {"imgStopnote", {98, 154, 35, 21}}, {"imgVolLoop0", {30, 116, 60, 10}},
                    {"imgVolLoop1", {120, 116, 60, 10}}};
    for (const auto& c : controls) {
        EXPECT_EQ(control(c.name)->geometry(), c.geometry) << c.name;
    }
    EXPECT_FALSE(iconVisible());
    EXPECT_FALSE(control("imgNotePix7")->isVisible());
    EXPECT_TRUE(shownLetter().endsWith("note-E.svg"));
}

}  // namespace
