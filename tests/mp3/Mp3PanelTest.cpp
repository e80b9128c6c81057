#include <QLabel>
#include <QTest>

#include "MainWindowFixture.h"
#include "PanelFakes.h"
#include "audio/TrackDecoder.h"
#include "mp3/InfoLine.h"
#include "mp3/Mp3Panel.h"
#include "mp3/cMp3.h"

namespace {

std::string id3(const std::string& title, const std::string& artist, const std::string& album) {
    auto field = [](std::string v) {
        v.resize(30, ' ');
        return v;
    };
    return "TAG" + field(title) + field(artist) + field(album) + std::string(34, ' ') + '\x0C';
}

const std::string kEnd = InfoLine::kEndSeparator;
const std::string kNoTag = "  -    -  " + kEnd;

class Mp3PanelTest : public MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        writeSettings(0, -1, 0);
        frmMain& w = load();
        auto scripted = std::make_unique<ScriptedDialog>();
        auto recording = std::make_unique<RecordingPlayer>();
        dialog = scripted.get();
        player = recording.get();
        panel = new Mp3Panel(w, std::move(scripted), std::move(recording));
        panel->tmrInfoScroll.stop();  // ticks are given by hand
        w.show();
    }
    void open(std::optional<std::string> answer) {
        dialog->answers.push_back(std::move(answer));
        QTest::mouseClick(window->findChild<QWidget*>("imgMP3open"), Qt::LeftButton);
    }
    QString shown() { return window->findChild<QLabel*>("lblMp3")->text(); }
    std::string info() { return panel->InfoText; }

    ScriptedDialog* dialog = nullptr;
    RecordingPlayer* player = nullptr;
    Mp3Panel* panel = nullptr;
};

TEST_F(Mp3PanelTest, OpeningBuildsTheInformationLineFromTheTag) {
    const std::string tagged = dir.write("one.mp3", std::string(500, 'a') + id3("T", "R", "A"));
    const std::string untagged = dir.write("two.mp3", std::string(500, 'a'));
    const std::string tooShort = dir.write("three.mp3", std::string(127, 'a'));

    open(std::nullopt);
    EXPECT_EQ(player->calls, std::vector<std::string>{"file "});
    ASSERT_TRUE(panel->Mp3Tag.has_value());
    const cMp3* tag = &*panel->Mp3Tag;
    EXPECT_EQ(info(), kNoTag);
    EXPECT_EQ(info().size(), 37u);

    open(tagged);
    EXPECT_EQ(info(), "A  -  R  -  T" + kEnd);
    EXPECT_EQ(info().size(), 40u);
    EXPECT_EQ(shown().toStdString(), info()) << "shown at once";
    EXPECT_EQ(&*panel->Mp3Tag, tag) << "one tag object, kept";

    panel->tmrInfoScroll_Timer();
    open(std::nullopt);
    EXPECT_EQ(panel->Mp3FileName, tagged);
    EXPECT_EQ(info(), "A  -  R  -  T" + kEnd) << "the previous file again, from the start";

    open(untagged);
    EXPECT_EQ(info(), kNoTag);

    open(tooShort);
    EXPECT_EQ(panel->Mp3FileName, tooShort);
    EXPECT_EQ(info(), kNoTag) << "a tag that cannot be read leaves the line as it was";
    EXPECT_TRUE(reporter.shown.empty());

    EXPECT_EQ(player->calls, (std::vector<std::string>{"file ", "file " + tagged, "file " + tagged,
                                                       "file " + untagged, "file " + tooShort}));
    EXPECT_EQ(dialog->filters, std::vector<std::string>(5, "(*.mp3;)|*.mp3"));
}

// A track opened on the practice panel: its ID3v1 tag where it has one, else what the file says of
// itself (UTF-8) in Latin-1, a character Latin-1 lacks as '?'; the panel's own OPEN is not used.
TEST_F(Mp3PanelTest, ATrackOpenedElsewhereShowsItsOwnTags) {
    const TrackTags fileTags{"Alb\xC3\xBCm", "Mot\xC3\xB6rhead",
                             "\xE6\x9D\xB1 \xF0\x9F\x8E\xB8 x\xFF"};
    const struct {
        std::string file;
        std::string line;
    } cases[] = {
        {dir.write("id3.flac", std::string(500, 'a') + id3("T", "R", "A")), "A  -  R  -  T" + kEnd},
        {dir.write("plain.flac", std::string(500, 'a')),
         "Alb\xFCm  -  Mot\xF6rhead  -  ? ? x?" + kEnd},
        {dir.write("tiny.flac", "a"), "Alb\xFCm  -  Mot\xF6rhead  -  ? ? x?" + kEnd},
    };
    for (const auto& c : cases) {
        panel->showTrack(c.file, fileTags);
        EXPECT_EQ(info(), c.line) << c.file;
        EXPECT_EQ(shown().toStdString(), QString::fromLatin1(c.line).toStdString()) << c.file;
    }
    EXPECT_TRUE(player->calls.empty());
    EXPECT_FALSE(panel->Mp3Tag.has_value());
}

TEST_F(Mp3PanelTest, TagBytesAreShownAsLatin1PlainText) {
    open(dir.write("x.mp3", id3("<b>\xE9t\xE9</b>", std::string("a\0b", 3), "")));
    const QString expected = QStringLiteral("  -  a") + QChar(0) + "b  -  <b>" + QChar(0xE9) + "t" +
                             QChar(0xE9) + "</b>" + QString::fromStdString(kEnd);
    EXPECT_EQ(shown(), expected);
    EXPECT_EQ(window->findChild<QLabel*>("lblMp3")->textFormat(), Qt::PlainText);
}

TEST_F(Mp3PanelTest, TheLineScrollsOneCharacterPerTick) {
    EXPECT_EQ(shown(), "RZ-77 MP3 PLayer ...") << "the design caption until the first tick";
    const std::string start = info();
    ASSERT_EQ(start.size(), 33u);
    panel->tmrInfoScroll_Timer();
    EXPECT_EQ(shown().toStdString(), start.substr(1) + start[0]);
    for (int tick = 1; tick < 33; ++tick) {
        panel->tmrInfoScroll_Timer();
    }
    EXPECT_EQ(info(), start);

    open(std::nullopt);
    for (int tick = 0; tick < 37; ++tick) {
        EXPECT_TRUE(tick == 0 || info() != kNoTag) << tick;
        panel->tmrInfoScroll_Timer();
    }
    EXPECT_EQ(shown().toStdString(), kNoTag);
}

TEST_F(Mp3PanelTest, TransportGoesToThePlayerUnchanged) {
    for (const char* button :
         {"imgMP3play", "imgMP3pause", "imgMP3pause", "imgMP3play", "imgMP3play", "imgMP3stop"}) {
        QTest::mouseClick(window->findChild<QWidget*>(button), Qt::LeftButton);
    }
    EXPECT_EQ(player->calls,
              (std::vector<std::string>{"play", "pause", "pause", "play", "play", "stop"}));
}

TEST_F(Mp3PanelTest, TheTimerScrollsTheLine) {
    panel->tmrInfoScroll.start();
    const std::string start = info();
    const QString next = QString::fromStdString(start.substr(1) + start[0]);
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown() == next; }, 1000)) << shown().toStdString();
}

}  // namespace
