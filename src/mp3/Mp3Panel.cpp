#include "mp3/Mp3Panel.h"

#include <QLabel>
#include <stdexcept>

#include "app/DisplayLettering.h"
#include "app/HitArea.h"
#include "app/MainWindowHost.h"
#include "app/ShortcutKeys.h"
#include "audio/TrackDecoder.h"
#include "common/TextHelpers.h"
#include "mp3/InfoLine.h"
#include "mp3/QtFileDialog.h"
#include "mp3/RotateText.h"
#include "mp3/TrackPlaybackControl.h"
#include "mp3/cMp3.h"

namespace {

constexpr const char* kFilter = "(*.mp3;)|*.mp3";
constexpr const char* kDesignCaption = "RZ-77 MP3 PLayer ...";

}  // namespace

Mp3Panel::Mp3Panel(MainWindowHost& window, MessageReporter& reporter, AudioEngine& engine)
    : Mp3Panel(window, std::make_unique<QtFileDialog>(&window.widget()),
               std::make_unique<TrackPlaybackControl>(engine, reporter)) {}

Mp3Panel::Mp3Panel(MainWindowHost& window, std::unique_ptr<FileDialog> dialog,
                   std::unique_ptr<PlaybackControl> player)
    : QObject(&window.widget()),
      m_host(window),
      m_window(window.widget()),
      Cdialog(std::move(dialog)),
      Mp3Player(std::move(player)) {
    createControls();
    tmrInfoScroll.setInterval(200);
    connect(&tmrInfoScroll, &QTimer::timeout, this, &Mp3Panel::tmrInfoScroll_Timer);
    tmrInfoScroll.start();
}

void Mp3Panel::createControls() {
    const ScreenUnits& u = m_host.environment().units;
    const struct {
        const char* name;
        const char* accessible;
        const char* tip;
        QRect geometry;
        Qt::Key key;
        void (Mp3Panel::*handler)();
    } buttons[] = {
        {"imgMP3play", "Play MP3", "Play the open MP3 file, or go on after a pause",
         u.toPixels(300, 3900, 645, 195), Qt::Key_P, &Mp3Panel::imgMP3play_Click},
        {"imgMP3pause", "Pause MP3", "Pause the MP3 file; PLAY goes on from here",
         u.toPixels(930, 3900, 555, 225), Qt::Key_K, &Mp3Panel::imgMP3pause_Click},
        {"imgMP3stop", "Stop MP3", "Stop the MP3 file; PLAY starts it from the beginning",
         u.toPixels(1470, 3900, 525, 195), Qt::Key_X, &Mp3Panel::imgMP3stop_Click},
        {"imgMP3open", "Open MP3", "Choose an MP3 file to play", u.toPixels(2010, 3900, 795, 195),
         Qt::Key_O, &Mp3Panel::imgMP3open_Click},
    };
    for (const auto& b : buttons) {
        auto* area = new HitArea(&m_window, b.name, tr(b.accessible), tr(b.tip), b.geometry);
        connect(area, &HitArea::clicked, this, b.handler);
        m_host.shortcuts().add({b.key}, tr(b.accessible),
                               [this, handler = b.handler] { (this->*handler)(); }, {area});
    }

    lblMp3 = new QLabel(kDesignCaption, &m_window);
    lblMp3->setObjectName("lblMp3");
    lblMp3->setTextFormat(Qt::PlainText);
    // Broken at spaces into lines of which the box shows the first: the line ends on a whole word.
    lblMp3->setWordWrap(true);
    lblMp3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblMp3->setStyleSheet(displayLettering(10, "0 2px"));
    lblMp3->setGeometry(u.toPixels(360, 3570, 2415, 195));
    // No name of its own: a screen reader then reads what the line shows.
    lblMp3->setAccessibleDescription(tr("MP3 information"));
    lblMp3->setToolTip(tr("Album, artist and title of the open MP3 file"));
}

void Mp3Panel::imgMP3open_Click() {
    Cdialog->Filter(kFilter);
    Cdialog->ShowOpen();
    // A cancel is not told apart: the dialog then reports the previous choice.
    Mp3FileName = Cdialog->FileName();
    Mp3Player->setFile(Mp3FileName);
    if (!Mp3Tag) {
        Mp3Tag.emplace();
    }
    try {
        Mp3Tag->LoadMp3File(Mp3FileName);
    } catch (const std::runtime_error&) {
        // Not told: the file may well play without a readable tag; the line keeps its text.
        return;
    }
    InfoText = InfoLine::forTag(*Mp3Tag);
    showInfoText();
}

void Mp3Panel::showTrack(const std::string& path, const TrackTags& fileTags) {
    cMp3 tag;
    try {
        tag.LoadMp3File(path);
    } catch (const std::runtime_error&) {
        // Too short to hold a tag, or gone: what the file says of itself is all there is.
    }
    InfoText = tag.TagExists() ? InfoLine::forTag(tag)
                               : InfoLine::forFields(latin1FromUtf8(fileTags.album),
                                                     latin1FromUtf8(fileTags.artist),
                                                     latin1FromUtf8(fileTags.title));
    showInfoText();
}

void Mp3Panel::imgMP3play_Click() {
    Mp3Player->play();
}

void Mp3Panel::imgMP3pause_Click() {
    Mp3Player->pause();
}

void Mp3Panel::imgMP3stop_Click() {
    Mp3Player->stop();
}

void Mp3Panel::tmrInfoScroll_Timer() {
    InfoText = RotateText(InfoText);
    showInfoText();
}

void Mp3Panel::showInfoText() {
    // One character per tag byte, never markup.
    lblMp3->setText(QString::fromLatin1(InfoText.data(), static_cast<qsizetype>(InfoText.size())));
}
