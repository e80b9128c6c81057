#pragma once

#include <QSettings>
#include <QTimer>
#include <QWidget>
#include <string>

#include "practice/LoopMarkers.h"
#include "practice/PanelControls.h"

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
// of the last track is kept in practice.conf.
class TrackPage : public QWidget {
    Q_OBJECT
public:
    TrackPage(QWidget& panel, TrackPlaybackControl& track, QSettings& settings,
              const ScreenUnits& units);

    void seekBy(double seconds);
    void seekTo(double seconds);
    void setA();
    void setB();
    void toggleLoop();
    void loopBars(int bars);
    void moveLoop(int direction);

signals:
    // The tuner's reference pitch, and its tuning when the recording implies one (else empty).
    void tunerWanted(double referenceA4, const QString& tuning);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void addKeys();
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
    TrackGrid* m_grid;
    QTimer m_refresh;
    std::string m_file;
    LoopMarkers m_markers;
    PanelControls::PageKeys m_keys;
    double m_length = 0;  // as far as the overview knows it
};
