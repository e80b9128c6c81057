#pragma once

#include <QSettings>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>
#include <thread>

#include "audio/TrackDecoder.h"
#include "practice/LoopMarkers.h"
#include "practice/PanelControls.h"

class FileDialog;
class QLabel;
class TrackControls;
class TrackGrid;
class TrackOverview;
class TrackPlaybackControl;
struct ScreenUnits;

// The practice panel's page for the backing track: the overview of the whole track with its play
// head, where it stands and how long it is, moves within it (Left and Right 5 s, with Shift 1 s,
// Home to A or the start), and the A-B loop ([ sets A and ] sets B at the play position, \ turns
// the loop on and off), and below them the speed, pitch, trainer and count-in, and the track's
// beat grid. With a grid, A and B go to the nearest beat (a drag with Shift leaves them where it
// ends), and 1, 2, 4 and 8 loop that many bars from the bar the track is in, 9 and 0 move the
// loop back and on by its length. It follows the MP3 panel's player while it is shown; the loop
// of the last track is kept in practice.conf. Its OPEN (O) puts any audio file into that player.
class TrackPage : public QWidget {
    Q_OBJECT
public:
    TrackPage(QWidget& panel, TrackPlaybackControl& track, QSettings& settings,
              const ScreenUnits& units);
    ~TrackPage() override;

    // Into the player, as the MP3 panel's OPEN would; what cannot be played is told to the user.
    // The first file that needs FFmpeg goes in a moment later, once its libraries have loaded.
    void open(const std::string& path);
    // The file dialog for any audio file; a cancel leaves the track as it is.
    void openFromDialog();
    void setFileDialog(std::unique_ptr<FileDialog> dialog);

    void seekBy(double seconds);
    void seekTo(double seconds);
    void setA();
    void setB();
    void toggleLoop();
    void loopBars(int bars);
    void moveLoop(int direction);

    // For the sections page, which may change the track while this page is hidden: A and B as
    // they are marked, the loop while it is on, a loop set as a drag across the track sets it,
    // and the controls below the track.
    std::optional<std::pair<double, double>> markers();
    std::optional<std::pair<double, double>> loop();
    void setLoop(double a, double b);
    TrackControls& controls() const { return *m_controls; }

signals:
    // The tuner's reference pitch, and its tuning when the recording implies one (else empty).
    void tunerWanted(double referenceA4, const QString& tuning);
    // With what the file says of itself, for the main window's information line.
    void trackOpened(const std::string& path, const TrackTags& tags);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void addKeys();
    void openOnceLoaded(const std::string& path);
    void refresh();
    void followTrack();
    void applyLoop(bool placed = true);
    void showLoop(bool placed = true);
    QString loopText() const;
    void followGrid();
    double lengthSeconds() const;

    TrackPlaybackControl& m_track;
    QSettings& m_settings;
    TrackOverview* m_overview;
    QLabel* m_position;
    QLabel* m_loopShown;
    TrackControls* m_controls;
    std::unique_ptr<FileDialog> m_dialog;
    std::thread m_loading;         // FFmpeg's libraries, the first time
    std::string m_openWhenLoaded;  // the file chosen last while they load
    TrackGrid* m_grid;
    QTimer m_refresh;
    std::string m_file;
    LoopMarkers m_markers;
    PanelControls::PageKeys m_keys;
    double m_length = 0;  // as far as the overview knows it
};
