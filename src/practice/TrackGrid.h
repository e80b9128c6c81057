#pragma once

#include <QObject>
#include <QSettings>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>

#include "analysis/TrackAnalysis.h"
#include "audio/TrackTimeline.h"
#include "practice/PanelControls.h"

class QLabel;
class QPushButton;
class QWidget;
class TrackAnalyzer;
class TrackOverview;
class TrackPlaybackControl;
struct ScreenUnits;

// The track's beat grid on the track page: the analysis of the track in the player, started as
// soon as it is opened and followed on the overview until its grid is drawn there; the tempo
// and the bar the track is in; the user's corrections (x2, /2, this beat is the one, a nudge),
// kept with the analysis; the click on the song's beats, sounded by the player with the
// metronome page's accents and subdivision; and the recording's tuning, with the actions that
// play the track at A440 or tune the tuner to it. The click is kept in practice.conf.
class TrackGrid : public QObject {
    Q_OBJECT
public:
    TrackGrid(QWidget& page, TrackPlaybackControl& track, TrackOverview& overview,
              QSettings& settings, const ScreenUnits& units);
    ~TrackGrid() override;

    void addKeys(PanelControls::PageKeys& keys);
    const std::optional<BeatGrid>& grid() const { return m_grid; }
    // On the nearest beat, unless exact or there is no grid.
    double snapped(double seconds, bool exact) const;
    // Follows the track in the player and its analysis; the page calls it as it refreshes.
    void refresh();
    void doubleTempo();
    void halveTempo();
    void oneAtPlayHead();
    void nudge(double seconds);
    void toggleClick();
    void playAtA440();
    void tuneTunerToRecording();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // A new grid, or none.
    void gridChanged();
    void pitchWanted(int semitones, int cents);
    // The tuner's reference pitch, and its tuning when the recording implies one (else empty).
    void tunerWanted(double referenceA4, const QString& tuning);

private:
    QPushButton* button(const QString& text, const QString& name, const QString& tip,
                        const QRect& at);
    void follow(const std::string& file);
    void correct(const BeatGrid& corrected);
    void setGrid(std::optional<BeatGrid> grid);
    void applyClick();
    void showGrid();
    void showTuning();

    QWidget& m_page;
    TrackPlaybackControl& m_track;
    TrackOverview& m_overview;
    QSettings& m_settings;
    const ScreenUnits& m_units;
    QLabel *m_shown, *m_tuningShown;
    QPushButton *m_double, *m_halve, *m_one, *m_earlier, *m_later, *m_click, *m_toA440, *m_toTuner;
    QTimer m_poll;
    std::unique_ptr<TrackAnalyzer> m_analyzer;  // made for the first track
    std::string m_file;
    bool m_analysing = false;
    std::optional<TrackAnalysis> m_analysis;
    std::optional<BeatGrid> m_grid;
    std::optional<TrackTimeline::SongClick> m_sentClick;
};
