#pragma once

#include <QSettings>
#include <QWidget>
#include <string>

#include "metronome/ClickPlanner.h"
#include "practice/PanelControls.h"

class BeatDots;
class Metronome;
class NoteOutput;
class QKeyEvent;
class QLabel;
class QPushButton;
class QSpinBox;
class TrackPlaybackControl;
struct ScreenUnits;

// The practice panel's page for the main window's metronome: beats per bar and their accents,
// subdivisions and swing, tap tempo, the tempo and gap trainers and the visual beat. Each is off
// until turned on here; what is set is kept in practice.conf and handed to the metronome, which
// takes it up on its next bar line. Below them, the timing coach.
class MetronomePage : public QWidget {
    Q_OBJECT
public:
    MetronomePage(QWidget& panel, Metronome& metronome, TrackPlaybackControl& track,
                  NoteOutput& output, QSettings& settings, const ScreenUnits& units);

    void stepBeats(int change);
    void stepSwing(int change);
    void cycleSubdivision();
    void markChosenBeat(int change);
    void tap();

signals:
    // The coach's take, mixed with its clicks, to be played through the track player.
    void takePlaybackWanted(const std::string& mixPath);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createBarControls();
    void createTrainerControls();
    QPushButton* toggle(const QString& text, const QString& name, const QString& tip,
                        const QRect& at, const char* key, bool on);
    QSpinBox* box(const QString& name, const QString& tip, const QRect& at, int from, int to,
                  const char* key, int value);
    void addKeys();
    void load();
    void apply();
    void showHeard(long bar, int beat, bool sounds);
    void showStates();
    MetronomeTrainer::Settings settings() const;

    Metronome& m_metronome;
    QSettings& m_settings;
    const ScreenUnits& m_units;
    BeatDots* m_dots;
    QLabel *m_beatsShown, *m_swingShown, *m_tapShown, *m_now;
    QPushButton *m_accents, *m_subdivision, *m_visualBeat, *m_trainer, *m_atEnd, *m_gap;
    QSpinBox *m_from, *m_step, *m_every, *m_to, *m_play, *m_mute;
    PanelControls::PageKeys m_keys;
    MetronomeTrainer::Bar m_bar;
    int m_tempoShown = 0;
};
