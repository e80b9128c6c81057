#pragma once

#include <QObject>
#include <memory>

#include "mp3/FileDialog.h"
#include "mp3/PlaybackControl.h"

class AudioEngine;
class MessageReporter;
class QLabel;
class frmMain;
struct MainState;

// The MP3 panel on the main window: OPEN, PLAY, PAUSE and STOP, and the information line that
// scrolls the album, artist and title of the open file.
class Mp3Panel : public QObject {
    Q_OBJECT
public:
    // The real file dialog, and the player on the engine; its failures go to the reporter.
    Mp3Panel(frmMain& window, MessageReporter& reporter, AudioEngine& engine);
    Mp3Panel(frmMain& window, std::unique_ptr<FileDialog> dialog,
             std::unique_ptr<PlaybackControl> player);

    void imgMP3open_Click();
    void imgMP3play_Click();
    void imgMP3pause_Click();
    void imgMP3stop_Click();
    void tmrInfoScroll_Timer();

private:
    void createControls();
    void showInfoText();

    frmMain& m_window;
    MainState& m_state;
    std::unique_ptr<FileDialog> Cdialog;
    std::unique_ptr<PlaybackControl> Mp3Player;
    QLabel* lblMp3 = nullptr;
};
