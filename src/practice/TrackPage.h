#pragma once

#include <QTimer>
#include <QWidget>
#include <optional>
#include <string>

class QLabel;
class TrackOverview;
class TrackPlaybackControl;
struct ScreenUnits;

// The practice panel's page for the backing track: the overview of the whole track with its play
// head, where it stands and how long it is, moves within it (Left and Right 5 s, with Shift 1 s,
// Home to A or the start), and the A-B loop ([ sets A and ] sets B at the play position, \ turns
// the loop on and off). It follows the MP3 panel's player while it is shown.
class TrackPage : public QWidget {
    Q_OBJECT
public:
    TrackPage(QWidget& panel, TrackPlaybackControl& track, const ScreenUnits& units);

    void seekBy(double seconds);
    void seekTo(double seconds);
    void setA();
    void setB();
    void toggleLoop();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();
    void applyLoop();

    TrackPlaybackControl& m_track;
    TrackOverview* m_overview;
    QLabel* m_position;
    QLabel* m_loopShown;
    QTimer m_refresh;
    std::string m_file;
    std::optional<double> m_a, m_b;
    bool m_loopOn = false;
};
