// The practice panel beside the main window: F2 and the menu open and close it, docked to the
// main window's right edge; practice.conf remembers it, and rz77.rz stays as it was.
#include <QSettings>
#include <QTest>
#include <fstream>
#include <sstream>

#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>

#include "MainWindowFixture.h"
#include "MakeMp3.h"
#include "app/MainMenu.h"
#include "audio/AudioEngine.h"
#include "metronome/Metronome.h"
#include "mp3/TrackPlaybackControl.h"
#include "practice/PracticePanel.h"
#include "practice/TrackOverview.h"
#include "tuner/Tuner.h"

namespace {

class PracticePanelTest : public MainWindowFixture {
protected:
    PracticePanel& openWindow() {
        frmMain& w = load();
        track = std::make_unique<TrackPlaybackControl>(engine, reporter);
        auto* panel = new PracticePanel(w, *track, *new Metronome(w, w.voice, output),
                                        *new Tuner(w, w.voice, output), w.voice, output);
        w.move(100, 80);
        w.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
        return *panel;
    }
    std::string settingsBytes() {
        std::ifstream in(dir.path() / "rz77.rz", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    bool rememberedOpen() {
        return QSettings(QString::fromStdString((dir.path() / "practice.conf").string()),
                         QSettings::IniFormat)
            .value("panel/open")
            .toBool();
    }

    AudioEngine engine{[](const AudioSink::FormatChooser&, std::string& error) {
        error = "no sound output in this test";
        return std::unique_ptr<AudioSink>();
    }};
    std::unique_ptr<TrackPlaybackControl> track;
};

TEST_F(PracticePanelTest, OpensDockedAndIsRememberedApartFromTheSettingsFile) {
    writeSettings(1, -1, 25);
    const std::string before = settingsBytes();
    PracticePanel& panel = openWindow();
    EXPECT_FALSE(panel.isVisible()) << "closed until the user opens it";

    QTest::keyClick(window.get(), Qt::Key_F2);
    ASSERT_TRUE(panel.isVisible());
    EXPECT_EQ(panel.pos(), QPoint(window->geometry().right() + 1, window->geometry().top()));
    EXPECT_TRUE(rememberedOpen());
    window->move(150, 90);
    EXPECT_EQ(panel.pos(), QPoint(window->geometry().right() + 1, 90));

    window->contextMenu().practiceAction->trigger();
    EXPECT_FALSE(panel.isVisible());
    EXPECT_FALSE(rememberedOpen());
    window->contextMenu().practiceAction->trigger();
    EXPECT_TRUE(rememberedOpen());
    EXPECT_EQ(settingsBytes(), before);
    EXPECT_TRUE(takeSent().size() == 4u) << "nothing sent beyond the load's program changes";

    // The next start opens it again with the main window.
    track.reset();
    window.reset();
    PracticePanel& again = openWindow();
    EXPECT_TRUE(again.isVisible());
}

// The metronome page's keys set up the trainer, which the metronome then plays; the page and
// its settings are there again after a restart, and rz77.rz is untouched.
TEST_F(PracticePanelTest, TheMetronomePageSetsUpTheTrainerAndIsKept) {
    writeSettings(1, -1, 25);
    const std::string before = settingsBytes();
    openWindow();
    QTest::keyClick(window.get(), Qt::Key_F2);
    auto* page = window->findChild<QWidget*>("metronomePage");
    ASSERT_NE(page, nullptr);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown, Qt::ControlModifier);
    ASSERT_TRUE(page->isVisible());
    ASSERT_TRUE(page->hasFocus());
    for (Qt::Key key : {Qt::Key_Minus, Qt::Key_Right, Qt::Key_Up, Qt::Key_S, Qt::Key_G}) {
        QTest::keyClick(page, key);  // 3 beats, the second an accent, eighths, the gap trainer
    }
    QTest::keyClick(page, Qt::Key_Space);
    auto* metronome = window->findChild<Metronome*>();
    EXPECT_TRUE(metronome->isRunning());
    EXPECT_FALSE(metronome->tmrBPM.isActive()) << "the trainer's ticker plays, not the plain one";
    QTest::keyClick(page, Qt::Key_Space);
    EXPECT_FALSE(metronome->isRunning());
    takeSent();

    track.reset();
    window.reset();
    openWindow();
    auto* again = window->findChild<QWidget*>("metronomePage");
    EXPECT_TRUE(again->isVisible());
    EXPECT_EQ(again->findChild<QLabel*>("beatsShown")->text(), "3 BEATS");
    EXPECT_EQ(again->findChild<QWidget*>("beatDots")->accessibleName(),
              "Bar: accent, accent, beat");
    EXPECT_TRUE(again->findChild<QPushButton*>("accents")->isChecked());
    EXPECT_TRUE(again->findChild<QPushButton*>("gapTrainer")->isChecked());
    EXPECT_FALSE(again->findChild<QPushButton*>("tempoTrainer")->isChecked());
    EXPECT_EQ(settingsBytes(), before);
}

// The overview of a 4 s track, 400 pixels wide: 100 pixels a second.
TEST(TrackOverviewTest, AClickGoesThereADragChoosesALoopAndAMarkerDragMovesIt) {
    TempDir dir;
    const std::string path = (dir.path() / "tone.mp3").string();
    ASSERT_TRUE(makeToneMp3(path, {{4.0, 440}}));
    TrackOverview overview(nullptr);
    overview.resize(400, 80);
    overview.showTrack(path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return overview.lengthSeconds() > 0; }, 5000));
    const double perPixel = overview.lengthSeconds() / 400;
    QSignalSpy seeks(&overview, &TrackOverview::seekRequested);
    QSignalSpy loops(&overview, &TrackOverview::loopChosen);
    const auto drag = [&](int from, int to) {
        QTest::mousePress(&overview, Qt::LeftButton, {}, QPoint(from, 40));
        QMouseEvent move(QEvent::MouseMove, QPointF(to, 40), overview.mapToGlobal(QPointF(to, 40)),
                         Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(&overview, &move);
        QTest::mouseRelease(&overview, Qt::LeftButton, {}, QPoint(to, 40));
    };

    drag(100, 101);  // within a click's reach
    ASSERT_EQ(seeks.size(), 1);
    EXPECT_NEAR(seeks[0][0].toDouble(), 101 * perPixel, perPixel);
    const struct {
        int from, to;
        double a, b;                     // pixels
    } drags[] = {{300, 200, 200, 300},   // a new loop, either way round
                 {300, 350, 200, 350},   // B's marker
                 {200, 380, 350, 380}};  // A's, dragged past B
    for (const auto& d : drags) {
        drag(d.from, d.to);
        ASSERT_FALSE(loops.empty()) << d.from;
        const QList<QVariant> chosen = loops.takeLast();
        EXPECT_NEAR(chosen[0].toDouble(), d.a * perPixel, perPixel) << d.from;
        EXPECT_NEAR(chosen[1].toDouble(), d.b * perPixel, perPixel) << d.from;
        overview.setLoop(chosen[0].toDouble(), chosen[1].toDouble(), true);  // as the page does
    }
    EXPECT_EQ(seeks.size(), 1);
}

}  // namespace

namespace {

// A file dropped anywhere on either window, on a control that takes text too, opens on the track
// page and brings the panel up; a drag without a local file is left alone.
TEST_F(PracticePanelTest, AFileDroppedOnEitherWindowOpensOnTheTrackPage) {
    PracticePanel& panel = openWindow();
    const std::string tone = (dir.path() / "dropped.mp3").string();
    ASSERT_TRUE(makeToneMp3(tone, {{0.5, 440}}));
    const QUrl web("https://example.org/song.mp3");
    const struct {
        QWidget* target;
        QList<QUrl> urls;
        bool opens;
    } cases[] = {
        {&panel, {web}, false},
        {window->findChild<QLineEdit*>(),
         {QUrl::fromLocalFile(QString::fromStdString(tone))},
         true},
        {&panel, {web, QUrl::fromLocalFile(QString::fromStdString(tone))}, true},
    };
    for (const auto& c : cases) {
        ASSERT_NE(c.target, nullptr);
        panel.hide();
        track->setFile("");
        QMimeData data;
        data.setUrls(c.urls);
        QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(c.target, &enter);
        EXPECT_EQ(enter.isAccepted(), c.opens);
        QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(c.target, &drop);
        EXPECT_EQ(track->file(), c.opens ? tone : "");
        EXPECT_EQ(panel.isVisible(), c.opens);
        EXPECT_EQ(panel.findChild<QWidget*>("trackPage")->isVisible(), c.opens);
    }
}

}  // namespace
