#pragma once

#include <QSettings>
#include <QWidget>
#include <chrono>
#include <optional>

#include "common/TapTempo.h"
#include "practice/PanelControls.h"

class QAbstractButton;
class QKeyEvent;
class QLabel;
class QPushButton;
class QSpinBox;
class TrackPlaybackControl;
struct ScreenUnits;

// The backing track's speed, transpose and fine tune, the speed trainer and the count-in, below
// the overview on the track page. What is set here is kept in practice.conf.
class TrackControls : public QObject {
    Q_OBJECT
public:
    TrackControls(QWidget& page, TrackPlaybackControl& track, QSettings& settings,
                  const ScreenUnits& units);

    // The keys of these controls, among the page's.
    void addKeys(PanelControls::PageKeys& keys);
    // Follows the trainer's pass while the page is shown.
    void refresh();

    int speedPercent() const { return m_speedPercent; }
    int semitones() const { return m_semitoneCount; }
    // What a section keeps of them; nothing leaves a setting as it is.
    void setSpeedAndTranspose(std::optional<int> speedPercent, std::optional<int> semitones);

    void stepSpeed(int steps);
    void stepSemitones(int steps);
    void stepCents(int steps);
    // Transpose and fine tune at once, each kept on its range.
    void setPitch(int semitones, int cents);
    void toggleTrainer();
    void toggleCountIn();
    void tap();

private:
    QPushButton* button(const QString& text, const QString& name, const QString& tip,
                        const QRect& at);
    QLabel* display(const QString& name, const QString& tip, const QRect& at);
    QSpinBox* spinBox(const QString& name, const QString& tip, const QRect& at, int from, int to,
                      int step);
    void apply();
    void show(QLabel* label, const QString& text);

    QWidget& m_page;
    TrackPlaybackControl& m_track;
    QSettings& m_settings;
    const ScreenUnits& m_units;
    QLabel *m_speed, *m_semitones, *m_cents, *m_pass;
    QPushButton *m_trainer, *m_countIn, *m_faster;
    QSpinBox *m_step, *m_target, *m_tempo;
    int m_speedPercent, m_semitoneCount, m_centCount;
    TapTempo m_taps;
    std::chrono::steady_clock::time_point m_tapsBegan = std::chrono::steady_clock::now();
};
