// The practice panel beside the main window: F2 and the menu open and close it, docked to the
// main window's right edge; practice.conf remembers it, and rz77.rz stays as it was.
#include <QSettings>
#include <QTest>
#include <fstream>
#include <sstream>

#include "MainWindowFixture.h"
#include "app/MainMenu.h"
#include "audio/AudioEngine.h"
#include "mp3/TrackPlaybackControl.h"
#include "practice/PracticePanel.h"

namespace {

class PracticePanelTest : public MainWindowFixture {
protected:
    PracticePanel& openWindow() {
        frmMain& w = load();
        track = std::make_unique<TrackPlaybackControl>(engine, reporter);
        auto* panel = new PracticePanel(w, *track);
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

}  // namespace
