#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <functional>

#include "MainWindowFixture.h"
#include "app/HitArea.h"
#include "app/MainMenu.h"
#include "metronome/Metronome.h"
#include "tuner/Tuner.h"

namespace {

using Bytes = std::vector<std::vector<int>>;

class DesktopControlTest : public MainWindowFixture {
protected:
    frmMain& start() {
        writeSettings(1, -1, 25);
        frmMain& w = load();
        tuner = new Tuner(w, w.voice, output);
        metronome = new Metronome(w, w.voice, output);
        w.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
        takeSent();
        return w;
    }
    QWidget* control(const QString& name) { return window->findChild<QWidget*>(name); }
    Tuner* tuner = nullptr;
    Metronome* metronome = nullptr;
    QString tempoShown() { return window->findChild<QLabel*>("lblBPM")->text(); }
    QLineEdit* box() { return window->findChild<QLineEdit*>("txtBPM"); }
    void press(Qt::Key key) { QTest::keyClick(window.get(), key); }
    void typeTempo(const char* text) {
        press(Qt::Key_T);
        QTest::keyClicks(box(), text);
        QTest::keyClick(box(), Qt::Key_Return);
    }
    bool menuOpen() { return window->contextMenu().isVisible(); }
    void rightDrag(QWidget* on, QPoint from, QPoint to) {
        QTest::mousePress(on, Qt::RightButton, {}, from);
        QMouseEvent drag(QEvent::MouseMove, QPointF(to), on->mapToGlobal(QPointF(to)), Qt::NoButton,
                         Qt::RightButton, {});
        QApplication::sendEvent(on, &drag);
        QTest::mouseRelease(on, Qt::RightButton, {}, to);
    }
};

TEST_F(DesktopControlTest, EachShortcutCallsItsHandler) {
    struct Case {
        const char* name;
        std::function<void()> before;
        std::vector<Qt::Key> keys;
        std::function<void()> check;
    };
    const auto nothing = [] {};
    const auto sounded = [this](int note) {
        return [this, note] { EXPECT_EQ(takeSent(), (Bytes{{0x90, note, 127, 0}})); };
    };
    const auto selected = [this](int note) {
        return [this, note] {
            EXPECT_EQ(window->voice.CurrentNote, note);
            EXPECT_TRUE(takeSent().empty());
        };
    };
    const auto tempo = [this](const char* shown, int interval) {
        return [this, shown, interval] {
            EXPECT_EQ(tempoShown(), shown);
            EXPECT_EQ(metronome->BeatInterval, interval);
        };
    };
    const Case cases[] = {
        {"6th string", nothing, {Qt::Key_6}, sounded(40)},
        {"4th string", nothing, {Qt::Key_4}, sounded(50)},
        {"1st string", nothing, {Qt::Key_1}, sounded(64)},
        {"note up", nothing, {Qt::Key_Up}, selected(53)},
        {"note down", nothing, {Qt::Key_Down}, selected(51)},
        {"play", nothing, {Qt::Key_Return}, sounded(52)},
        {"play from the keypad", nothing, {Qt::Key_Enter}, sounded(52)},
        {"loop", nothing, {Qt::Key_L}, [this] { EXPECT_TRUE(tuner->tmrLoopSpeed.isActive()); }},
        {"stop",
         [this] { tuner->tmrLoopSpeed.start(); },
         {Qt::Key_S},
         [this] {
             EXPECT_FALSE(tuner->tmrLoopSpeed.isActive());
             const Bytes sent = takeSent();
             EXPECT_FALSE(sent.empty());
             for (const auto& message : sent) {
                 EXPECT_EQ(message[0] & 0xF0, 0xB0);  // control changes that silence
             }
         }},
        {"metronome start",
         nothing,
         {Qt::Key_Space},
         [this] { EXPECT_TRUE(metronome->tmrBPM.isActive()); }},
        {"metronome stop",
         nothing,
         {Qt::Key_Space, Qt::Key_Space},
         [this] { EXPECT_FALSE(metronome->tmrBPM.isActive()); }},
        {"tempo box", nothing, {Qt::Key_T}, [this] { EXPECT_TRUE(box()->hasFocus()); }},
        {"faster from no tempo", nothing, {Qt::Key_PageUp}, tempo("2", 30000)},
        {"slower from no tempo is refused", nothing, {Qt::Key_PageDown}, tempo("000", 0)},
        {"faster", [this] { typeTempo("120"); }, {Qt::Key_PageUp}, tempo("121", 495)},
        {"slower",
         [this] { typeTempo("120"); },
         {Qt::Key_PageDown, Qt::Key_PageDown},
         tempo("118", 508)},
        {"faster past the top is refused",
         [this] { typeTempo("32767"); },
         {Qt::Key_PageUp},
         tempo("32767", 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start();
        c.before();
        takeSent();
        for (Qt::Key key : c.keys) {
            press(key);
        }
        c.check();
        window.reset();
    }
}

TEST_F(DesktopControlTest, TypingInTheTempoBoxIsNotStolen) {
    frmMain& w = start();
    press(Qt::Key_T);
    ASSERT_TRUE(box()->hasFocus());
    box()->clear();
    // Keys the window would take: the entry gets each of them, and Return ends the entry.
    for (Qt::Key key :
         {Qt::Key_6, Qt::Key_Up, Qt::Key_PageUp, Qt::Key_Down, Qt::Key_PageDown, Qt::Key_L,
          Qt::Key_S, Qt::Key_Space, Qt::Key_T, Qt::Key_Backspace, Qt::Key_Backspace,
          Qt::Key_Backspace, Qt::Key_Backspace, Qt::Key_0, Qt::Key_Return}) {
        QTest::keyClick(box(), key);
    }
    EXPECT_EQ(tempoShown(), "60");
    EXPECT_EQ(w.voice.CurrentNote, 52);
    EXPECT_FALSE(metronome->tmrBPM.isActive());
    EXPECT_FALSE(tuner->tmrLoopSpeed.isActive());
    EXPECT_TRUE(takeSent().empty());
    // The box has gone, and the keys are the window's again: none goes into it unseen.
    EXPECT_FALSE(box()->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_9);
    EXPECT_EQ(box()->text(), "60");
    press(Qt::Key_6);
    EXPECT_EQ(takeSent(), (Bytes{{0x90, 40, 127, 0}}));
}

TEST_F(DesktopControlTest, TooltipsNameTheirKeys) {
    start();
    const std::pair<const char*, const char*> tips[] = {
        {"imgString0", "(6)"},     {"imgString5", "(1)"},
        {"imgNoteUp", "(Up)"},     {"imgPlaynote", "(Return, Enter)"},
        {"imgStopnote", "(S)"},    {"imgBPMPlay", "(Space)"},
        {"imgBPMStop", "(Space)"}, {"lblBPM", "tap it (T) (Y)"},
        {"imgExit", "(Ctrl+Q)"}};
    for (const auto& [name, key] : tips) {
        EXPECT_TRUE(control(name)->toolTip().endsWith(key))
            << control(name)->toolTip().toStdString();
    }
    EXPECT_TRUE(control("imgBPMslider")->toolTip().endsWith("(PgUp) (PgDown)"))
        << control("imgBPMslider")->toolTip().toStdString();
}

TEST_F(DesktopControlTest, RightDragsChangeNothingAndOpenNoMenu) {
    frmMain& w = start();
    const int16_t velocity = w.voice.NoteVelocity;
    const int16_t interval = tuner->LoopInterval;
    rightDrag(control("imgVolLoop0"), {50, 5}, {20, 5});
    rightDrag(control("imgVolLoop1"), {50, 5}, {10, 40});
    rightDrag(control("imgBPMslider"), {2, 5}, {60, 5});
    rightDrag(control("imgString2"), {4, 20}, {60, 20});
    rightDrag(&w, {60, 200}, {90, 230});
    EXPECT_FALSE(menuOpen());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.voice.NoteVelocity, velocity);
    EXPECT_EQ(tuner->LoopInterval, interval);
    EXPECT_EQ(tempoShown(), "000");
    EXPECT_TRUE(takeSent().empty());
}

TEST_F(DesktopControlTest, PressesWhereANarrowedBarWasGoToTheBar) {
    frmMain& w = start();
    w.move(100, 100);
    QWidget* bar = control("imgVolLoop0");
    const auto drag = [](QWidget* on, Qt::MouseButton button, QPoint from, QPoint to) {
        QTest::mousePress(on, button, {}, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(to), on->mapToGlobal(QPointF(to)), Qt::NoButton,
                         button, {});
        QApplication::sendEvent(on, &move);
        QTest::mouseRelease(on, button, {}, to);
    };
    drag(bar, Qt::LeftButton, {0, 5}, {20, 5});
    ASSERT_EQ(bar->width(), 20);

    const QPoint uncovered = bar->pos() + QPoint(40, 5);
    const struct {
        Qt::MouseButton button;
        int barWidth;
    } cases[] = {{Qt::RightButton, 20}, {Qt::LeftButton, 50}};
    for (const auto& c : cases) {
        QWidget* control = w.childAt(uncovered);
        if (control == nullptr) {
            drag(&w, c.button, uncovered, uncovered + QPoint(10, 30));
        } else {
            drag(control, c.button, {40, 5}, {50, 35});
        }
        EXPECT_EQ(w.pos(), QPoint(100, 100)) << c.button;
        EXPECT_EQ(bar->width(), c.barWidth) << c.button;
    }
    EXPECT_FALSE(menuOpen());
}

TEST_F(DesktopControlTest, RightClickOpensTheMenuWhoseExitEndsTheProgram) {
    frmMain& w = start();
    for (const char* on : {"frmMain", "imgVolLoop0", "imgString2", "imgExit", "lblBPM"}) {
        QWidget* target = on == std::string("frmMain") ? &w : control(on);
        QTest::mouseClick(target, Qt::RightButton, {}, QPoint(3, 3));
        EXPECT_TRUE(menuOpen()) << on;
        EXPECT_TRUE(w.isVisible()) << on;
        w.contextMenu().close();
    }
    EXPECT_TRUE(takeSent().empty());
    EXPECT_FALSE(box()->isVisible());
    // X is the MP3 player's STOP everywhere else: in the menu it must not quit.
    QTest::mouseClick(&w, Qt::RightButton, {}, QPoint(60, 200));
    QTest::keyClick(&w.contextMenu(), Qt::Key_X);
    EXPECT_TRUE(w.isVisible());
    QTest::keyClick(&w.contextMenu(), Qt::Key_Q);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(output.handle(), 0u);
}

TEST_F(DesktopControlTest, SetupEntryAppearsOnceConnected) {
    frmMain& w = start();
    EXPECT_FALSE(w.contextMenu().setupAction->isVisible());
    int opened = 0;
    w.contextMenu().setSetupHandler([&opened] { ++opened; });
    EXPECT_TRUE(w.contextMenu().setupAction->isVisible());
    w.contextMenu().setupAction->trigger();
    EXPECT_EQ(opened, 1);
}

}  // namespace
