#pragma once

#include <QSettings>
#include <QTimer>
#include <QWidget>
#include <string>

#include "practice/LoopMarkers.h"
#include "practice/PanelControls.h"

class QLabel;
class TrackControls;
class TrackOverview;
class TrackPlaybackControl;
struct ScreenUnits;

// The practice panel's page for the backing track: the overview of the whole track with its play
// head, where it stands and how long it is, moves within it (Left and Right 5 s, with Shift 1 s,
// Home to A or the start), and the A-B loop ([ sets A and ] sets B at the play position, \ turns
// the loop on and off), and below them the speed, pitch, trainer and count-in. It follows the MP3
// panel's player while it is shown; the loop of the last track is kept in practice.conf.
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

    // For the sections page, which may change the track while this page is hidden: A and B as
    // they are marked, the loop while it is on, a loop set as a drag across the track sets it,
    // the controls below the track, and a key of the page's own while it is wanted.
    std::optional<std::pair<double, double>> markers();
    std::optional<std::pair<double, double>> loop();
    void setLoop(double a, double b);
    TrackControls& controls() const { return *m_controls; }
    void addKey(int key, std::function<bool()> wanted, std::function<void()> action) {
        m_keys.addWhile(key, std::move(wanted),
                        [action = std::move(action)](const QKeyEvent&) { action(); });
    }

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
    double lengthSeconds() const;

    TrackPlaybackControl& m_track;
    QSettings& m_settings;
    TrackOverview* m_overview;
    QLabel* m_position;
    QLabel* m_loopShown;
    TrackControls* m_controls;
    QTimer m_refresh;
    std::string m_file;
    LoopMarkers m_markers;
    PanelControls::PageKeys m_keys;
    double m_length = 0;  // as far as the overview knows it
};
