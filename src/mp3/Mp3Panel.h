#pragma once

#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>

#include "mp3/FileDialog.h"
#include "mp3/PlaybackControl.h"
#include "mp3/cMp3.h"

class AudioEngine;
struct TrackTags;
class MessageReporter;
class MainWindowHost;
class QLabel;

// The MP3 panel on the main window: OPEN, PLAY, PAUSE and STOP, and the information line that
// scrolls the album, artist and title of the open file.
class Mp3Panel : public QObject {
    Q_OBJECT
public:
    // The real file dialog, and the player on the engine; its failures go to the reporter.
    Mp3Panel(MainWindowHost& window, MessageReporter& reporter, AudioEngine& engine);
    Mp3Panel(MainWindowHost& window, std::unique_ptr<FileDialog> dialog,
             std::unique_ptr<PlaybackControl> player);

    void imgMP3open_Click();
    void imgMP3play_Click();
    void imgMP3pause_Click();
    void imgMP3stop_Click();
    void tmrInfoScroll_Timer();
    // A track opened elsewhere (the practice panel) into the same player: the line shows its
    // ID3v1 tag as OPEN shows it, or where it has none what the file says of itself.
    void showTrack(const std::string& path, const TrackTags& fileTags);

    static constexpr const char* kStartInfoText = "RZ-77 MP3 Player ...             ";
    QTimer tmrInfoScroll;
    std::string Mp3FileName;
    std::string InfoText = kStartInfoText;
    std::optional<cMp3> Mp3Tag;  // made at the first OPEN, then kept

private:
    void createControls();
    void showInfoText();

    MainWindowHost& m_host;
    QWidget& m_window;
    std::unique_ptr<FileDialog> Cdialog;
    std::unique_ptr<PlaybackControl> Mp3Player;
    QLabel* lblMp3 = nullptr;
};
