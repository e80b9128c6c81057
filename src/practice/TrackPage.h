#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;
class TrackOverview;
class TrackPlaybackControl;
struct ScreenUnits;

// The practice panel's page for the backing track: the overview of the whole track with its play
// head, where it stands and how long it is, and moves within it (Left and Right 5 s, with Shift
// 1 s, Home to the start). It follows the MP3 panel's player while it is shown.
class TrackPage : public QWidget {
    Q_OBJECT
public:
    TrackPage(QWidget& panel, TrackPlaybackControl& track, const ScreenUnits& units);

    void seekBy(double seconds);
    void seekTo(double seconds);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();

    TrackPlaybackControl& m_track;
    TrackOverview* m_overview;
    QLabel* m_position;
    QTimer m_refresh;
};
