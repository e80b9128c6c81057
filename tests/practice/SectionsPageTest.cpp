// The sections page beside the track page over a real player on a silent stream, driven by keys as
// a guitarist drives it: sections added from the track page's loop come back when the track is
// opened again, a number key loops one, and its practice goes to the log.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QTest>
#include <QWidget>

#include "MakeMp3.h"
#include "RecordingMidi.h"
#include "SilentSink.h"
#include "TempDir.h"
#include "app/ScreenUnits.h"
#include "common/TrackKey.h"
#include "mp3/TrackPlaybackControl.h"
#include "practice/PracticeLog.h"
#include "practice/SectionsPage.h"
#include "practice/TrackPage.h"

namespace {

struct Pages {
    Pages(QWidget& panel, TrackPlaybackControl& track, QSettings& settings)
        : trackPage(panel, track, settings, units),
          sectionsPage(panel, track, trackPage, settings, units) {
        sectionsPage.show();  // it makes its controls when it shows
    }
    ScreenUnits units;
    TrackPage trackPage;
    SectionsPage sectionsPage;
};

TEST(SectionsPage, SectionsComeBackWithTheTrackAndANumberKeyLoopsOne) {
    TempDir dir;
    const std::string tone = (dir.path() / "tone.mp3").string();
    ASSERT_TRUE(makeToneMp3(tone, {{4.0, 440}}, "-m m -b 64"));
    AudioEngine engine{SilentSink::opener()};
    RecordingReporter reporter;
    TrackPlaybackControl track{engine, reporter};
    QSettings settings{QString::fromStdString((dir.path() / "practice.conf").string()),
                       QSettings::IniFormat};
    QWidget panel;
    panel.resize(300, 307);
    panel.show();
    track.setFile(tone);
    auto pages = std::make_unique<Pages>(panel, track, settings);
    const auto keys = [&](QWidget& page, const std::vector<Qt::Key>& pressed) {
        for (const Qt::Key key : pressed) {
            QTest::keyClick(&page, key);
        }
    };
    // B, then A: a marker set beyond the other swaps with it.
    const auto mark = [&](double a, double b) {  // the loop off first, or a move stays inside it
        if (pages->trackPage.loop()) {
            keys(pages->trackPage, {Qt::Key_Backslash});
        }
        pages->trackPage.seekTo(b);
        keys(pages->trackPage, {Qt::Key_BracketRight});
        pages->trackPage.seekTo(a);
        keys(pages->trackPage, {Qt::Key_BracketLeft});
    };
    mark(0.5, 1.0);
    keys(pages->sectionsPage, {Qt::Key_A});
    mark(2.0, 2.6);
    keys(pages->trackPage, {Qt::Key_Minus, Qt::Key_Minus});  // 90 %
    keys(pages->sectionsPage, {Qt::Key_A, Qt::Key_N});
    auto* name = pages->sectionsPage.findChild<QLineEdit*>("sectionName");
    QTest::keyClicks(name, "Solo");
    QTest::keyClick(name, Qt::Key_Return);

    // Opened again: another track between, the speed back to 100 %, the loop of neither section.
    pages.reset();
    track.setFile("");
    track.setFile(tone);
    pages = std::make_unique<Pages>(panel, track, settings);
    keys(pages->trackPage, {Qt::Key_Equal, Qt::Key_Equal});
    mark(3.0, 3.5);
    auto* sections = pages->sectionsPage.findChild<QListWidget*>("sections");
    ASSERT_EQ(sections->count(), 2);
    EXPECT_EQ(sections->item(1)->text().toStdString(), "2 Solo  0:02.0-0:02.6  90 %");

    keys(pages->sectionsPage, {Qt::Key_2});
    EXPECT_EQ(pages->trackPage.findChild<QLabel*>("speedShown")->text(), "90 %");
    track.play();
    double lowest = 10, highest = 0;
    for (int look = 0; look < 36; ++look) {  // 1.8 s: more than twice round
        QTest::qWait(50);
        lowest = std::min(lowest, track.positionSeconds());
        highest = std::max(highest, track.positionSeconds());
    }
    EXPECT_GE(lowest, 1.99);
    EXPECT_LT(highest, 2.61);
    EXPECT_GT(highest, 2.4) << "it played";

    keys(pages->sectionsPage, {Qt::Key_1});  // another section ends the session
    const auto log = PracticeLog::read((dir.path() / "practice-log.csv").string(),
                                       trackKey(tone).value_or("none"));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].section, 2);
    EXPECT_EQ(log[0].name, "Solo");
    EXPECT_EQ(log[0].fastest, 90);
    EXPECT_NEAR(log[0].seconds, 2, 1);
}

}  // namespace
