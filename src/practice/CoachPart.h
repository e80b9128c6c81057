#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <vector>

#include "coach/TimingListener.h"
#include "metronome/ClickPlanner.h"
#include "practice/PanelControls.h"

class CoachPlot;
class CoachTake;
class Metronome;
class NoteOutput;
class QLabel;
class QPushButton;
class QSettings;
class QWidget;
class TrackPlaybackControl;
struct ScreenUnits;

// The timing coach on the metronome page: while it is on (C) it listens to the sound input and
// shows each note early or late against the running metronome's grid or, while the metronome
// rests, the beats of the track that plays; when the metronome or the track stops or the coach is
// turned off, the take's report and its plot (I shows and hides them). Two
// calibrations measure what the sound server's figures leave out of the round trip: clicks
// heard back (B: speakers and a microphone, or a cable from output to input) or the player's
// taps with the clicks (N: headphones). What they find is kept per input in practice.conf.
// Off by default; nothing listens until it is turned on.
class CoachPart : public QObject {
    Q_OBJECT
public:
    CoachPart(QWidget& page, Metronome& metronome, TrackPlaybackControl& track, NoteOutput& output,
              QSettings& settings, const ScreenUnits& units, PanelControls::PageKeys& keys);
    ~CoachPart() override;

    void toggleCoach();
    void calibrate(bool byTaps);
    void toggleReport();
    // The last take, to be played back and kept.
    CoachTake& take() const { return *m_takePart; }

private:
    using Clock = std::chrono::steady_clock;
    enum class Mode { Off, Take, Calibrating };
    // What the take in the making is measured against.
    enum class Run { None, Metronome, Track };

    void createControls(QWidget& page, PanelControls::PageKeys& keys);
    void planned(const MetronomeTrainer::Click& click);
    void followTrack();
    void beginRun(Run run);
    bool runEnded() const;
    void poll();
    void showMark(const Coach::NoteTiming& note);
    void showReport();
    void endTake();
    void sendCalibrationClicks();
    void stopCalibrating();
    void endCalibration();
    void cancelCalibration();
    void showLatency();
    bool startListening(const Coach::TakeAnalyser::Options& options,
                        const std::string& takePath = {});
    QString deviceKey(const QString& name) const;
    QString latencyText(const QString& group) const;

    Metronome& m_metronome;
    TrackPlaybackControl& m_track;
    NoteOutput& m_output;
    QSettings& m_settings;
    const ScreenUnits& m_units;
    TimingListener m_listener;
    QTimer m_poll, m_markFade;
    Mode m_mode = Mode::Off;
    Run m_run = Run::None;
    std::vector<Coach::NoteTiming> m_take;
    std::vector<Clock::time_point> m_calibrationClicks;
    size_t m_clicksSent = 0;
    bool m_byTaps = false;
    QPushButton *m_coach = nullptr, *m_report = nullptr, *m_calibrate = nullptr,
                *m_tapCalibrate = nullptr;
    QLabel *m_mark = nullptr, *m_status = nullptr, *m_reportText = nullptr;
    QWidget* m_reportPane = nullptr;
    CoachPlot* m_plot = nullptr;
    CoachTake* m_takePart = nullptr;
};
