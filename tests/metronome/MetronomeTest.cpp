#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "MainWindowFixture.h"
#include "metronome/ClickPlanner.h"
#include "metronome/Metronome.h"
#include "tuner/Tuner.h"

namespace {

using Bytes = std::vector<std::vector<int>>;
using namespace std::chrono_literals;

class MetronomeTest : public MainWindowFixture {
protected:
    Metronome& start() {
        frmMain& w = load();
        tuner = new Tuner(w, w.voice, output);
        metronome = new Metronome(w, w.voice, output, [this] { return now; });
        w.show();
        takeSent();
        return *metronome;
    }
    QWidget* control(const QString& name) { return window->findChild<QWidget*>(name); }
    QString label() { return window->findChild<QLabel*>("lblBPM")->text(); }
    QLineEdit* box() { return window->findChild<QLineEdit*>("txtBPM"); }

    // A drag of the knob with the given buttons, to x pixels from where the knob is now.
    void dragKnob(Qt::MouseButtons buttons, int x) {
        QWidget* knob = control("imgBPMslider");
        QTest::mousePress(knob, Qt::LeftButton, {}, QPoint(2, 5));
        QMouseEvent move(QEvent::MouseMove, QPointF(x, 5), knob->mapToGlobal(QPointF(x, 5)),
                         Qt::NoButton, buttons, {});
        QApplication::sendEvent(knob, &move);
        QTest::mouseRelease(knob, Qt::LeftButton, {}, QPoint(2, 5));
    }
    void typeTempo(const QString& text, Qt::Key finish = Qt::Key_Return) {
        QTest::mouseClick(control("lblBPM"), Qt::LeftButton);
        EXPECT_TRUE(box()->isVisible());
        box()->clear();
        QTest::keyClicks(box(), text);
        QTest::keyClick(box(), finish);
        EXPECT_FALSE(box()->isVisible());
    }
    // Moves the knob so that its left edge is at the given twips (15 twips per pixel).
    void knobTo(float leftTwips) {
        const float from = metronome->knobLeftTwips();
        metronome->imgBPMslider_MouseMove(1, 0, leftTwips - from, 0);
    }

    // The timer elapsing, at the test's clock time.
    void fireTimer() {
        QMetaObject::invokeMethod(&metronome->tmrBPM, "timeout", Qt::DirectConnection);
    }

    BeatClock::TimePoint now{};
    Tuner* tuner = nullptr;
    Metronome* metronome = nullptr;
};

TEST_F(MetronomeTest, StartsAtOneClickAMinuteShowing000) {
    start();
    EXPECT_EQ(label(), "000");
    EXPECT_EQ(metronome->beatInterval(), 60000);
    EXPECT_EQ(metronome->tmrBPM.interval(), 60000);
    EXPECT_FALSE(metronome->tmrBPM.isActive());
    EXPECT_EQ(control("imgBPMslider")->geometry(), QRect(62, 212, 5, 10));
    EXPECT_EQ(control("lblBPM")->geometry(), QRect(140, 192, 46, 13));
    EXPECT_EQ(control("txtBPM")->geometry(), QRect(136, 194, 47, 11));
}

TEST_F(MetronomeTest, SliderSetsTempoFromTheKnobPosition) {
    start();
    const struct {
        float left;
        int16_t interval, bpm;
        const char* shown;
    } cases[] = {{1500, 600, 100, "100"}, {2640, 206, 291, "291"}, {1445, 659, 91, "91"}};
    for (const auto& c : cases) {
        knobTo(c.left);
        EXPECT_EQ(metronome->BeatInterval, c.interval);
        EXPECT_EQ(metronome->Bpm, c.bpm);
        EXPECT_EQ(label(), c.shown);
        EXPECT_EQ(metronome->beatInterval(), c.interval);
        EXPECT_EQ(metronome->tmrBPM.interval(), c.interval);
        EXPECT_FALSE(metronome->tmrBPM.isActive());  // setting a tempo does not start it
    }
}

TEST_F(MetronomeTest, RealDragMovesTheKnobWithThePointer) {
    start();
    dragKnob(Qt::LeftButton, 40);  // 930 + 600 twips
    EXPECT_FLOAT_EQ(metronome->knobLeftTwips(), 1530);
    EXPECT_EQ(control("imgBPMslider")->x(), 102);
    EXPECT_EQ(metronome->BeatInterval, 60000 / 105);  // q = 631 / 6 = 105

    const float before = metronome->knobLeftTwips();
    for (Qt::MouseButtons buttons :
         {Qt::MouseButtons(Qt::RightButton), Qt::MouseButtons(Qt::LeftButton | Qt::RightButton),
          Qt::MouseButtons(Qt::MiddleButton)}) {
        dragKnob(buttons, 20);
        EXPECT_FLOAT_EQ(metronome->knobLeftTwips(), before);
    }
}

TEST_F(MetronomeTest, DragBeyondTheEndsKeepsTheLastInRangePosition) {
    start();
    knobTo(2625);
    dragKnob(Qt::LeftButton, 30);  // would be 2625 + 420
    EXPECT_FLOAT_EQ(metronome->knobLeftTwips(), 2625);
    knobTo(915);
    dragKnob(Qt::LeftButton, -3);
    EXPECT_FLOAT_EQ(metronome->knobLeftTwips(), 915);
    EXPECT_EQ(metronome->BeatInterval, 30000);
}

TEST_F(MetronomeTest, TypedTempoSetsIntervalAndShowsTheTextAsTyped) {
    start();
    knobTo(1500);
    const struct {
        const char* text;
        int interval;
    } cases[] = {{"120", 500}, {"240", 250}, {"7", 8571}, {"100.4", 600}};
    for (const auto& c : cases) {
        typeTempo(c.text);
        EXPECT_EQ(metronome->BeatInterval, c.interval) << c.text;
        EXPECT_EQ(metronome->beatInterval(), c.interval) << c.text;
        EXPECT_EQ(label(), c.text);
    }
    EXPECT_EQ(metronome->Bpm, 100);  // the slider's tempo and knob stay
    EXPECT_FLOAT_EQ(metronome->knobLeftTwips(), 1500);
}

TEST_F(MetronomeTest, EscapeAndUnusableTextKeepThePreviousTempo) {
    start();
    typeTempo("120");
    typeTempo("90", Qt::Key_Escape);
    for (const char* text : {"", "abc", "0", "1", "-5", "99999"}) {
        typeTempo(text);
    }
    EXPECT_EQ(metronome->BeatInterval, 500);
    EXPECT_EQ(metronome->beatInterval(), 500);
    EXPECT_EQ(label(), "120");
}

TEST_F(MetronomeTest, BoxReopensWithItsLastTextAndFirstThreeCharactersSelected) {
    start();
    typeTempo("1234");
    QTest::mouseClick(control("lblBPM"), Qt::LeftButton);
    EXPECT_EQ(box()->text(), "1234");
    EXPECT_EQ(box()->selectedText(), "123");
}

TEST_F(MetronomeTest, FirstClickComesOneIntervalAfterStartThenOnTheGrid) {
    start();
    typeTempo("120");
    dragKnob(Qt::LeftButton, 0);  // same position: no tempo change, but the knob was touched
    typeTempo("120");
    window->voice.NoteVelocity = 90;
    const auto started = now;
    QTest::mouseClick(control("imgBPMPlay"), Qt::LeftButton);
    EXPECT_TRUE(metronome->tmrBPM.isActive());
    EXPECT_EQ(metronome->tmrBPM.interval(), 450);  // wakes 50 ms ahead of the beat

    now += 449ms;
    fireTimer();  // early: no click, armed for the rest
    EXPECT_TRUE(takeSent().empty());
    EXPECT_EQ(metronome->tmrBPM.interval(), 1);
    now += 1ms;
    fireTimer();
    EXPECT_EQ(takeSent(), (Bytes{{0x9A, 127, 90, 0}}));
    EXPECT_EQ(midi.dues.back(), started + 500ms);  // stamped with its beat, not the wake-up
    EXPECT_EQ(metronome->tmrBPM.interval(), 500);

    now = started + 985ms;  // the thread ran 35 ms late: the click keeps its time
    fireTimer();
    EXPECT_EQ(takeSent().size(), 1u);
    EXPECT_EQ(midi.dues.back(), started + 1000ms);
    EXPECT_EQ(metronome->tmrBPM.interval(), 465);  // back on the grid
}

TEST_F(MetronomeTest, ClickVelocityIsReadAtEachTick) {
    start();
    metronome->tmrBPM_Timer();
    window->voice.NoteVelocity = 22;
    metronome->tmrBPM_Timer();
    EXPECT_EQ(takeSent(), (Bytes{{0x9A, 127, 127, 0}, {0x9A, 127, 22, 0}}));
}

TEST_F(MetronomeTest, RealTimerClicksAtTheTypedTempo) {
    frmMain& w = load();
    metronome = new Metronome(w, w.voice, output);  // the real clock
    w.show();
    takeSent();
    typeTempo("600");  // 100 ms
    QSignalSpy clicks(&metronome->tmrBPM, &QTimer::timeout);
    metronome->imgBPMPlay_Click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return midi.sent.size() >= 3; }, 3000));
    for (const auto& bytes : takeSent()) {
        EXPECT_EQ(bytes, (std::vector<int>{0x9A, 127, 127, 0}));
    }
}

TEST_F(MetronomeTest, StopSilencesEverythingButLeavesTheNoteLoopRunning) {
    start();
    QTest::mouseClick(control("imgLoop"), Qt::LeftButton);
    QTest::mouseClick(control("imgBPMPlay"), Qt::LeftButton);
    QTest::mouseClick(control("imgBPMStop"), Qt::LeftButton);
    EXPECT_FALSE(metronome->tmrBPM.isActive());
    EXPECT_EQ(metronome->tmrBPM.interval(), 60000);
    EXPECT_TRUE(tuner->tmrLoopSpeed.isActive());
    EXPECT_EQ(takeSent().size(), 32u);
    QTest::mouseClick(control("imgBPMStop"), Qt::LeftButton);  // stopped: still silences
    const Bytes sent = takeSent();
    ASSERT_EQ(sent.size(), 32u);
    EXPECT_EQ(sent.front(), (std::vector<int>{0xB0, 120, 0, 0}));
    EXPECT_EQ(sent.back(), (std::vector<int>{0xBF, 123, 0, 0}));
}

TEST_F(MetronomeTest, TempoChangeWhileRunningCountsFromTheLastClick) {
    start();
    typeTempo("120");
    metronome->imgBPMPlay_Click();
    now += 500ms;
    fireTimer();
    ASSERT_EQ(takeSent().size(), 1u);
    now += 100ms;
    knobTo(1500);                                 // 600 ms
    knobTo(2640);                                 // 206 ms
    EXPECT_EQ(metronome->tmrBPM.interval(), 56);  // 206 after the click at 500, 50 ms ahead
    EXPECT_TRUE(metronome->tmrBPM.isActive());
}

// The trainer takes over on the plain metronome's next beat and hands back on the beat after the
// one it is in; each click goes out stamped with its own time, whenever the timer wakes.
TEST_F(MetronomeTest, TheTrainerTakesOverOnTheBeatAndHandsBack) {
    start();
    typeTempo("120");
    window->voice.NoteVelocity = 100;
    const auto started = now;
    metronome->imgBPMPlay_Click();
    now += 500ms;
    fireTimer();
    EXPECT_EQ(takeSent(), (Bytes{{0x9A, 127, 100, 0}}));

    MetronomeTrainer::Settings settings;
    settings.bar.beats = 2;
    settings.bar.accents = true;
    settings.bar.marks = MetronomeTrainer::marksFromText("A");
    settings.bar.subdivision = 2;
    metronome->setTrainer(settings);
    EXPECT_FALSE(metronome->tmrBPM.isActive());
    auto* trainerTimer = metronome->findChild<QTimer*>("trainerTimer");
    ASSERT_NE(trainerTimer, nullptr);
    midi.dues.clear();
    for (int wake = 0; wake < 80 && now < started + 2000ms; ++wake) {
        now += 27ms;  // a timer that wakes at odd moments
        QMetaObject::invokeMethod(trainerTimer, "timeout", Qt::DirectConnection);
    }
    EXPECT_EQ(takeSent(), (Bytes{{0x9A, 126, 100, 0},
                                 {0x9A, 127, 55, 0},
                                 {0x9A, 127, 100, 0},
                                 {0x9A, 127, 55, 0},
                                 {0x9A, 126, 100, 0}}));
    std::vector<BeatClock::TimePoint> expected;
    for (auto at : {1000ms, 1250ms, 1500ms, 1750ms, 2000ms}) {
        expected.push_back(started + at);
    }
    EXPECT_EQ(midi.dues, expected);

    metronome->setTrainer({});  // the beat at 2000 is under way: plain again from 2500
    EXPECT_TRUE(metronome->tmrBPM.isActive());
    now = started + 2500ms;
    fireTimer();
    EXPECT_EQ(takeSent(), (Bytes{{0x9A, 127, 100, 0}})) << "the off-beat at 2250 is gone";
    EXPECT_EQ(midi.dues.back(), started + 2500ms);
}

}  // namespace

// What a timing coach measures against: every position, sounded or not, with its due time.
TEST_F(MetronomeTest, EveryPositionOfTheGridIsToldMutedBarsIncluded) {
    start();
    typeTempo("120");
    std::vector<MetronomeTrainer::Click> told;
    QObject::connect(metronome, &Metronome::gridPlanned,
                     [&](const MetronomeTrainer::Click& click) { told.push_back(click); });
    const auto started = now;
    metronome->imgBPMPlay_Click();
    for (int beat = 1; beat <= 2; ++beat) {
        now = started + beat * 500ms;
        fireTimer();
    }
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[1].due, started + 1000ms);
    EXPECT_EQ(told[1].bar, 1);

    MetronomeTrainer::Settings settings;
    settings.bar.beats = 2;
    settings.bar.subdivision = 2;
    settings.gap = MetronomeTrainer::GapTrainer{1, 1};
    metronome->setTrainer(settings);
    auto* trainerTimer = metronome->findChild<QTimer*>("trainerTimer");
    ASSERT_NE(trainerTimer, nullptr);
    told.clear();
    takeSent();
    for (int wake = 0; wake < 400 && now < started + 3400ms; ++wake) {
        now += 10ms;
        QMetaObject::invokeMethod(trainerTimer, "timeout", Qt::DirectConnection);
    }
    // Two bars of two beats in eighths from 1500 ms: the first sounds, the second is muted.
    ASSERT_EQ(told.size(), 8u);
    EXPECT_EQ(takeSent().size(), 4u);
    for (size_t i = 0; i < told.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(told[i].due, started + 1500ms + int(i) * 250ms);
        EXPECT_EQ(told[i].sounds, i < 4);
        EXPECT_EQ(told[i].beat, int(i / 2) % 2);
        EXPECT_EQ(told[i].subdivision, int(i % 2));
    }
}
