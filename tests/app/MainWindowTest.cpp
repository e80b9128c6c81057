#include <QTest>

#include "../mp3/PanelFakes.h"
#include "MainWindowFixture.h"
#include "app/HitArea.h"
#include "app/WindowRegions.h"
#include "metronome/Metronome.h"
#include "mp3/Mp3Panel.h"
#include "tuner/Tuner.h"

namespace {

using Bytes = std::vector<std::vector<int>>;

class MainWindowTest : public MainWindowFixture {
protected:
    // The window with its tools, each of which owns its timers.
    struct Tools {
        Tuner* tuner;
        Metronome* metronome;
        Mp3Panel* panel;
    };
    Tools addTools(frmMain& w) {
        return {new Tuner(w, w.voice, output), new Metronome(w, w.voice, output),
                new Mp3Panel(w, std::make_unique<ScriptedDialog>(),
                             std::make_unique<RecordingPlayer>())};
    }
};

TEST_F(MainWindowTest, LoadSelectsTheStoredSoundAndTheClickProgram) {
    writeSettings(1, -1, 0);
    frmMain& w = load();
    EXPECT_EQ(midi.calls, std::vector<std::string>{"open -1"});
    EXPECT_EQ(takeSent(),
              (Bytes{{0xB0, 0, 0, 0}, {0xC0, 0, 0, 0}, {0xBA, 0, 0, 0}, {0xCA, 127, 0, 0}}));
    EXPECT_EQ(w.voice.channel, 0);
    EXPECT_EQ(w.state.Device, -1);
    EXPECT_EQ(w.state.Sound, 0);
    EXPECT_TRUE(reporter.shown.empty());
}

TEST_F(MainWindowTest, StartValues) {
    frmMain& w = load();
    EXPECT_EQ(w.voice.CurrentNote, 52);
    EXPECT_EQ(w.voice.NoteVelocity, 127);
    const Tools tools = addTools(w);
    EXPECT_EQ(tools.tuner->NotePicture, 7);
    EXPECT_EQ(tools.tuner->LoopInterval, 500);
    EXPECT_EQ(tools.metronome->BeatInterval, 0);
    EXPECT_EQ(tools.metronome->Bpm, 0);
    EXPECT_EQ(tools.panel->InfoText, "RZ-77 MP3 Player ...             ");
    EXPECT_EQ(tools.panel->InfoText.size(), 33u);
    EXPECT_TRUE(tools.panel->Mp3FileName.empty());
    EXPECT_FALSE(tools.panel->Mp3Tag.has_value());

    struct TimerCase {
        const QTimer& timer;
        int interval;
        bool active;
        Qt::TimerType type;
    };
    const TimerCase timers[] = {{tools.tuner->tmrLoopSpeed, 500, false, Qt::PreciseTimer},
                                {tools.metronome->tmrBPM, 60000, false, Qt::PreciseTimer},
                                {tools.tuner->tmrNote, 1000, false, Qt::CoarseTimer},
                                {tools.panel->tmrInfoScroll, 200, true, Qt::CoarseTimer}};
    for (const TimerCase& t : timers) {
        EXPECT_EQ(t.timer.interval(), t.interval);
        EXPECT_EQ(t.timer.isActive(), t.active) << t.interval;
        EXPECT_EQ(t.timer.timerType(), t.type) << t.interval;
    }
}

TEST_F(MainWindowTest, ChannelElevenSharesTheClickChannel) {
    writeSettings(11, 0, 30);
    frmMain& w = load();
    EXPECT_EQ(w.voice.channel, 10);
    EXPECT_EQ(takeSent(),
              (Bytes{{0xBA, 0, 0, 0}, {0xCA, 30, 0, 0}, {0xBA, 0, 0, 0}, {0xCA, 127, 0, 0}}));
}

TEST_F(MainWindowTest, DeadDeviceShowsOpenErrorThenFourHandleErrors) {
    writeSettings(1, 1, 0);
    midi.failingOpen = {1};
    frmMain& w = load();
    EXPECT_EQ(reporter.shown,
              (std::vector<std::string>{"error 6", "error 5", "error 5", "error 5", "error 5"}));
    w.show();
    EXPECT_TRUE(w.isVisible());
}

TEST_F(MainWindowTest, MissingSettingsFileUsesGuitarOnChannelOneThroughTheSynthesizer) {
    frmMain& w = load();
    EXPECT_EQ(midi.calls, std::vector<std::string>{"open -1"});
    EXPECT_EQ(takeSent(),
              (Bytes{{0xB0, 0, 0, 0}, {0xC0, 25, 0, 0}, {0xBA, 0, 0, 0}, {0xCA, 127, 0, 0}}));
    EXPECT_EQ(w.voice.channel, 0);
}

TEST_F(MainWindowTest, ExitClosesTheDeviceWithoutSilencingIt) {
    frmMain& w = load();
    const Tools tools = addTools(w);
    w.show();
    tools.metronome->tmrBPM.start();
    tools.tuner->tmrLoopSpeed.start();
    takeSent();
    midi.calls.clear();
    w.imgExit_Click();
    EXPECT_EQ(midi.calls, std::vector<std::string>{"close 1"});
    EXPECT_TRUE(takeSent().empty());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(output.handle(), 0u);
}

TEST_F(MainWindowTest, ExitButtonAndShortcutCloseTheWindow) {
    frmMain& exitByButton = load();
    exitByButton.show();
    QTest::mouseClick(exitByButton.findChild<QWidget*>("imgExit"), Qt::LeftButton);
    EXPECT_FALSE(exitByButton.isVisible());

    frmMain& exitByKey = load();
    exitByKey.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&exitByKey));
    QTest::keyClick(&exitByKey, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(exitByKey.isVisible());
}

TEST_F(MainWindowTest, MinimiseAndRestoreChangeNothing) {
    frmMain& w = load();
    const Tools tools = addTools(w);
    w.show();
    tools.metronome->tmrBPM.start();
    const int infoRemaining = tools.panel->tmrInfoScroll.isActive();
    const ReferenceVoice before = w.voice;
    const int16_t loopBefore = tools.tuner->LoopInterval;
    const std::string infoBefore = tools.panel->InfoText;
    w.imgMin_Click();
    EXPECT_TRUE(w.windowState() & Qt::WindowMinimized);
    w.setWindowState(w.windowState() & ~Qt::WindowMinimized);
    EXPECT_EQ(w.voice.CurrentNote, before.CurrentNote);
    EXPECT_EQ(w.voice.channel, before.channel);
    EXPECT_EQ(tools.tuner->LoopInterval, loopBefore);
    EXPECT_EQ(tools.panel->InfoText, infoBefore);
    EXPECT_TRUE(tools.metronome->tmrBPM.isActive());
    EXPECT_EQ(tools.panel->tmrInfoScroll.isActive(), infoRemaining);
    EXPECT_FALSE(tools.tuner->tmrLoopSpeed.isActive());
    EXPECT_TRUE(takeSent().size() == 4u);  // only the load's program changes
}

TEST_F(MainWindowTest, OutlineCutsTheCornersAndKeepsTheBody) {
    struct Case {
        ScreenUnits units;
        QPoint centre;
        QPoint outside[4];
    };
    const Case cases[] = {
        {{15.0, 15.0}, {103, 153}, {{0, 0}, {205, 0}, {0, 306}, {205, 306}}},
        {{12.0, 12.0}, {129, 192}, {{6, 6}, {252, 6}, {6, 378}, {252, 378}}},
    };
    for (const Case& c : cases) {
        frmMain& w = load(c.units);
        EXPECT_EQ(w.mask(), w.MainRegion);
        EXPECT_TRUE(w.mask().contains(c.centre));
        for (const QPoint& corner : c.outside) {
            EXPECT_FALSE(w.mask().contains(corner)) << corner.x() << "," << corner.y();
        }
    }
}

TEST_F(MainWindowTest, EveryHitAreaExplainsItself) {
    frmMain& w = load();
    const auto areas = w.findChildren<HitArea*>();
    ASSERT_FALSE(areas.empty());
    for (const HitArea* area : areas) {
        EXPECT_FALSE(area->accessibleName().isEmpty()) << area->objectName().toStdString();
        EXPECT_FALSE(area->toolTip().isEmpty()) << area->objectName().toStdString();
    }
}

TEST_F(MainWindowTest, PressOnTheBodyMovesTheWindowButPressOnAButtonDoesNot) {
    frmMain& w = load();
    w.move(100, 100);
    w.show();
    QWidget* minimise = w.findChild<QWidget*>("imgMin");
    QTest::mousePress(minimise, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseMove(&w, QPoint(150, 40));
    QTest::mouseRelease(minimise, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(w.pos(), QPoint(100, 100));

    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
        const QPoint start = w.pos();
        QTest::mousePress(&w, button, {}, QPoint(60, 200));
        QMouseEvent drag(QEvent::MouseMove, QPointF(80, 230), w.mapToGlobal(QPointF(80, 230)),
                         Qt::NoButton, button, {});
        QApplication::sendEvent(&w, &drag);
        QTest::mouseRelease(&w, button, {}, QPoint(80, 230));
        EXPECT_EQ(w.pos(), start + QPoint(20, 30)) << button;
    }
}

}  // namespace

namespace {

TEST(SetupRegion, RoundedRectangleKeepsTheBodyAndCutsTheCorners) {
    struct Case {
        OutlineTransform transform;
        QPoint inside[3];
        QPoint outside[4];
    };
    const Case cases[] = {
        {{}, {{160, 60}, {160, 11}, {309, 60}}, {{10, 10}, {310, 10}, {10, 110}, {311, 60}}},
        {{1.0f, 1.0f, 0, 0, 12.0, 12.0},
         {{200, 75}, {200, 13}, {387, 75}},
         {{12, 12}, {388, 12}, {12, 138}, {390, 75}}},
    };
    for (const Case& c : cases) {
        const QRegion region = roundRectRegion(setupOutline(c.transform));
        for (const QPoint& p : c.inside) {
            EXPECT_TRUE(region.contains(p)) << p.x() << "," << p.y();
        }
        for (const QPoint& p : c.outside) {
            EXPECT_FALSE(region.contains(p)) << p.x() << "," << p.y();
        }
    }
}

}  // namespace
