// The track page over a real player on a silent stream: what it takes from practice.conf, and how
// its loop and moves follow the track.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <filesystem>
#include <fstream>

#include "../mp3/PanelFakes.h"
#include "MakeMp3.h"
#include "RecordingMidi.h"
#include "SilentSink.h"
#include "TempDir.h"
#include "analysis/GridRecord.h"
#include "app/ScreenUnits.h"
#include "common/TrackKey.h"
#include "mp3/TrackPlaybackControl.h"
#include "practice/TrackPage.h"

namespace {

class TrackPageTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(makeToneMp3(tone, {{4.0, 440}}, "-m m -b 64")); }
    TrackPage& openPage() {
        track.setFile(tone);
        page = std::make_unique<TrackPage>(panel, track, settings, units);
        return *page;
    }
    std::string loopShown() const {
        return page->findChild<QLabel*>("trackLoop")->text().toStdString();
    }

    TempDir dir;
    const std::string tone = (dir.path() / "tone.mp3").string();
    AudioEngine engine{SilentSink::opener()};
    RecordingReporter reporter;
    TrackPlaybackControl track{engine, reporter};
    QSettings settings{QString::fromStdString((dir.path() / "practice.conf").string()),
                       QSettings::IniFormat};
    QWidget panel;
    ScreenUnits units;
    std::unique_ptr<TrackPage> page;
};

// Only markers that are times on the track come back; what is not is neither shown, nor
// looped, nor written back.
TEST_F(TrackPageTest, KeptMarkersThatAreNoTimesAreDropped) {
    const struct {
        const char *a, *b, *loop;
        const char* shown;
    } cases[] = {
        {"0.5", "1.5", "true", "A 0:00.5   B 0:01.5   LOOP ON"},
        {"0.5", "1.5", "maybe", "A 0:00.5   B 0:01.5   LOOP OFF"},
        {"nan", "nan", "true", "A -   B -   LOOP OFF"},
        {"inf", "-inf", "true", "A -   B -   LOOP OFF"},
        {"1e308", "2", "true", "A -   B -   LOOP OFF"},
        {"one", "2", "true", "A -   B -   LOOP OFF"},
    };
    for (const auto& c : cases) {
        page.reset();
        track.setFile("");
        settings.setValue("track/file", QString::fromStdString(tone));
        settings.setValue("track/a", c.a);
        settings.setValue("track/b", c.b);
        settings.setValue("track/loop", c.loop);
        openPage();
        EXPECT_EQ(loopShown(), c.shown) << c.a << " " << c.b;
        const bool sound = c.shown[2] != '-';
        EXPECT_EQ(settings.value("track/a").toString(), sound ? c.a : "") << c.a;
        EXPECT_EQ(settings.value("track/b").toString(), sound ? c.b : "") << c.b;
    }
}

// OPEN of the file that plays (or a cancelled OPEN, which opens it again) keeps the loop shown,
// and the track keeps to it.
TEST_F(TrackPageTest, TheLoopHoldsWhenTheSameFileIsOpenedAgain) {
    settings.setValue("track/file", QString::fromStdString(tone));
    settings.setValue("track/a", 0.2);
    settings.setValue("track/b", 0.8);
    settings.setValue("track/loop", true);
    openPage();
    track.setFile(tone);
    ASSERT_EQ(loopShown(), "A 0:00.2   B 0:00.8   LOOP ON");
    track.play();
    double latest = 0;
    for (int look = 0; look < 30; ++look) {  // 1.5 s: more than twice round
        QTest::qWait(50);
        latest = std::max(latest, track.positionSeconds());
    }
    EXPECT_LT(latest, 0.85);
    EXPECT_GT(latest, 0.5) << "it played";
    EXPECT_EQ(loopShown(), "A 0:00.2   B 0:00.8   LOOP ON");
}

// A move before the overview has read the track (its result waits for the event loop) goes
// where it was asked, and the position shows against the length the file tells.
TEST_F(TrackPageTest, MovesWorkWhileTheOverviewIsRead) {
    openPage().seekBy(1);
    EXPECT_NEAR(track.positionSeconds(), 1.0, 0.01);
    EXPECT_EQ(page->findChild<QLabel*>("trackPosition")->text().toStdString(), "0:01.0 / 0:04.0");
}

// A grid kept for the track (240 BPM, a bar a second from the start, 28 cents flat, A minor): A and
// B go to the nearest beat, the digits loop bars and move the loop, the loop is told in bars, a
// correction is kept with the analysis, and the track is tuned to A440 in one action. Without
// the grid the digits are not the page's.
TEST_F(TrackPageTest, TheKeptGridPlacesLoopsOnBeatsAndBars) {
    openPage();
    QTest::keyClick(page.get(), Qt::Key_1);
    EXPECT_EQ(loopShown(), "A -   B -   LOOP OFF") << "no grid yet";

    KeptAnalysis kept{{{{}, 4, 0}, 240, -28.0, "A minor"}, std::nullopt};
    for (int beat = 0; beat < 16; ++beat) {
        kept.analysis.grid.beats.push_back(0.25 * beat);
    }
    const auto tracks = dir.path() / "tracks";
    std::filesystem::create_directories(tracks);
    const auto record = tracks / (trackKey(tone).value() + ".grid");
    std::ofstream(record) << gridRecordText(kept);
    page.reset();
    track.setFile("");
    openPage();
    const auto shown = [&](const char* name) {
        return page->findChild<QLabel*>(name)->text().toStdString();
    };
    for (int wait = 0; wait < 40 && shown("gridShown").find("BPM") == std::string::npos; ++wait) {
        QTest::qWait(50);
    }
    ASSERT_EQ(shown("gridShown"), "240.0 BPM  BAR 1.1");
    EXPECT_EQ(shown("recordingTuning"), "RECORDED 28 CENTS FLAT OF A440, IN A MINOR");

    const struct {
        double at;
        Qt::Key key;
        const char* loop;
    } steps[] = {
        {0.62, Qt::Key_BracketLeft, "A 0:00.5   B -   LOOP OFF"},
        {0.10, Qt::Key_BracketLeft, "A 0:00.0   B -   LOOP OFF"},
        {1.90, Qt::Key_BracketRight, "BARS 1\u20132   LOOP ON"},
        {1.30, Qt::Key_1, "BAR 2   LOOP ON"},
        {1.30, Qt::Key_0, "BAR 3   LOOP ON"},
        {1.30, Qt::Key_0, "BAR 4   LOOP ON"},
        {1.30, Qt::Key_0, "BAR 4   LOOP ON"},  // past the track's end
        {2.10, Qt::Key_2, "BARS 3\u20134   LOOP ON"},
        {2.10, Qt::Key_9, "BARS 1\u20132   LOOP ON"},
        {2.10, Qt::Key_9, "BARS 1\u20132   LOOP ON"},  // before its start
    };
    for (const auto& step : steps) {
        page->seekTo(step.at);
        QTest::keyClick(page.get(), step.key);
        EXPECT_EQ(loopShown(), step.loop) << step.at << " " << step.key;
    }

    QTest::keyClick(page.get(), Qt::Key_D);
    EXPECT_EQ(shown("gridShown").substr(0, 9), "480.0 BPM");
    const auto read = parseGridRecord(
        std::string(std::istreambuf_iterator<char>(std::ifstream(record).rdbuf()), {}));
    ASSERT_TRUE(read.kept && read.kept->corrected) << "the correction is kept";
    EXPECT_EQ(read.kept->corrected->beats.size(), 31u);

    QTest::keyClick(page.get(), Qt::Key_A);
    EXPECT_EQ(shown("centsShown"), "+28 ct");
    EXPECT_EQ(settings.value("track/cents").toInt(), 28);
}

}  // namespace

namespace {

// OPEN (the button or O) offers every audio format and puts the chosen file into the player,
// telling whoever shows the track; a cancel leaves the track playing as it was.
TEST_F(TrackPageTest, OpenPutsAnyAudioFileIntoThePlayer) {
    TrackPage& shown = openPage();
    const std::string flac = (dir.path() / "song.flac").string();
    const std::string make =
        "ffmpeg -v error -f lavfi -i sine=duration=1 -metadata title=Solo -y '";
    ASSERT_EQ(std::system((make + flac + "'").c_str()), 0);
    auto scripted = std::make_unique<ScriptedDialog>();
    ScriptedDialog& dialog = *scripted;
    shown.setFileDialog(std::move(scripted));
    QSignalSpy opened(&shown, &TrackPage::trackOpened);
    dialog.answers = {flac, std::nullopt, dir.write("notes.flac", "words, not sound")};

    QTest::mouseClick(shown.findChild<QPushButton*>("trackOpen"), Qt::LeftButton);
    EXPECT_EQ(track.file(), flac);
    EXPECT_TRUE(track.loaded());
    EXPECT_NEAR(track.estimatedSeconds(), 1.0, 0.01);
    QTest::keyClick(&shown, Qt::Key_O);
    EXPECT_EQ(track.file(), flac);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0][0].value<std::string>(), flac);
    EXPECT_EQ(opened[0][1].value<TrackTags>().title, "Solo");
    // A file that does not play is told, and shown nowhere: the first time FFmpeg's libraries
    // are asked for the reason, once they have loaded off this thread.
    shown.openFromDialog();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !reporter.shown.empty(); }, 10000));
    EXPECT_EQ(opened.size(), 1);
    ASSERT_EQ(reporter.shown.size(), 1u);
    EXPECT_NE(reporter.shown[0].find("notes.flac"), std::string::npos) << reporter.shown[0];
    ASSERT_EQ(dialog.filters.size(), 3u);
    for (const char* pattern : {"*.mp3", "*.m4a", "*.flac", "*.wav", "*.aiff", "*.ogg", "*.opus"}) {
        EXPECT_NE(dialog.filters[0].find(pattern), std::string::npos) << pattern;
    }
}

}  // namespace
