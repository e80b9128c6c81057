#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "common/BeatClock.h"
#include "common/ClickProgram.h"
#include "common/TapTempo.h"
#include "metronome/ClickPlanner.h"
#include "midi/NoteOutput.h"

class DragPicture;
class GridTicker;
class HitArea;
class MainWindowHost;
class QLabel;
class QLineEdit;
class TrainerTicker;
struct ReferenceVoice;

// The metronome on the main window: start and stop, the tempo slider, the tempo display that
// can be clicked to type a tempo, and the click on channel 10. The practice panel's trainer
// settings add bars, accents, subdivisions, tempo and gap trainers and a visual beat; with all of
// them off it is the plain metronome, one click a beat. It clicks at the reference voice's
// velocity.
class Metronome : public QObject {
    Q_OBJECT
public:
    // The plain beat is this note at the volume's velocity; the trainer's accent is
    // kAccentNote and a subdivision this note, softer.
    static constexpr int16_t kClickNote = 127;

    using Now = std::function<BeatClock::TimePoint()>;

    Metronome(MainWindowHost& window, const ReferenceVoice& voice, NoteOutput& output,
              Now now = BeatClock::Clock::now);

    void imgBPMPlay_Click();
    void imgBPMStop_Click();
    // The ticker hands over its beat's time, so the click sounds on the grid however late the
    // timer woke; without one the click is due now.
    void tmrBPM_Timer(NoteOutput::Due due = std::nullopt);
    void imgBPMslider_MouseMove(int16_t Button, int16_t Shift, float X, float Y);
    void lblBPM_Click();
    void txtBPM_KeyPress(int16_t KeyAscii);

    // The time between clicks the metronome runs at, in milliseconds.
    int beatInterval() const;
    bool isRunning() const;
    // Taken up on the next bar line while running; all off hands back to the plain metronome
    // at the next beat.
    void setTrainer(const MetronomeTrainer::Settings& settings);
    // A tap along with the music (Y): once the series has two taps, the tempo goes the way of a
    // typed one. Nothing for a tap outside 20-300 BPM, which says so.
    enum class TapOutcome { Tempo, SeriesBegun, TooFast, TooSlow };
    struct Tap {
        TapOutcome outcome;
        int bpm = 0;  // with a tempo
    };
    Tap tapTempo();

    float knobLeftTwips() const { return m_knobLeftTwips; }

    QTimer tmrBPM;

    int16_t BeatInterval = 0;  // milliseconds between clicks as last set; 0 until a tempo is set
    int16_t Bpm = 0;           // the tempo the slider last set

signals:
    // A beat as it is heard (its due time plus the device's latency), for a visual beat.
    void beatHeard(long bar, int beat, bool sounds);
    // The trainer's tempo, shown as the bar that plays at it begins.
    void trainerTempo(int bpm);
    // Each position of the grid as it is planned, a little ahead of its due time, heard or not
    // (a muted bar's, a silent beat's): what a player's notes are measured against. The plain
    // metronome's beats count as bars of one beat.
    void gridPlanned(const MetronomeTrainer::Click& click);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void addShortcuts(HitArea* play, HitArea* stop);
    void closeEntry();
    void stepTempo(int change);
    void setBeatInterval(int milliseconds);
    void playTrainerClick(const MetronomeTrainer::Click& click);
    void startTrainer(std::optional<BeatClock::TimePoint> firstBeat);
    void showTrainerTempo(int bpm);
    void flashBeat(const MetronomeTrainer::Click& click);

    MainWindowHost& m_host;
    QWidget& m_window;
    const ReferenceVoice& m_voice;
    NoteOutput& m_output;
    Now m_now;
    GridTicker* m_ticker;
    TrainerTicker* m_trainer;
    MetronomeTrainer::Settings m_trainerSettings;
    TapTempo m_taps;
    QLabel* m_beatShown = nullptr;  // the visual beat's number on the tempo display
    QTimer m_flashEnd;
    int m_flashGeneration = 0;
    long m_plainBeats = 0;
    float m_knobLeftTwips;
    DragPicture* imgBPMslider = nullptr;
    QLabel* lblBPM = nullptr;
    QLineEdit* txtBPM = nullptr;
};
