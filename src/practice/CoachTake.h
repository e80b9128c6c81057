#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "coach/TakeRecorder.h"
#include "practice/PanelControls.h"

class FileDialog;
class QLabel;
class QPushButton;
class QWidget;
struct ScreenUnits;

// The coach's last take, played back and kept. While the coach listens, what the input hears is
// recorded in the cache folder. Once a run of the metronome has ended and its report is shown,
// PLAY TAKE (T) mixes the recorded guitar with a click on each position that sounded, aligned by
// the calibration so that what is heard is what the report measured, and plays the mix through
// the track player, where the main window's PLAY, PAUSE and STOP work on it. KEEP TAKE (K) saves
// the mix as a WAV the user names, with the report beside it in a .txt of the same name. Both
// end the listening first (the microphone would hear the playback): `endListening` does that.
class CoachTake : public QObject {
    Q_OBJECT
public:
    CoachTake(QWidget& page, const ScreenUnits& units, PanelControls::PageKeys& keys,
              std::function<void()> endListening);
    ~CoachTake() override;

    void setFileDialog(std::unique_ptr<FileDialog> dialog);

    // Where a fresh take is to be recorded; the last one is let go.
    std::string beginRecording(double correctionMs, const QString& latency);
    // The recording could not be made: nothing will be there to play.
    void recordingRefused(const QString& why);
    // A fresh run of the grid has begun: the take in the making is not ready.
    void runBegins();
    // A run of the grid has ended with this report, as the page shows it.
    void setReport(const QString& report, const QString& tempo);
    // The listening has stopped and the take's file is closed.
    void setRecorded(Coach::RecordedTake take);

    void play();
    void keep();

signals:
    void playWanted(const std::string& mixPath);

private:
    // Runs `then` once the take is mixed: at once when it is, else when the mixing thread is
    // done (a long take takes seconds).
    void whenMixed(std::function<void()> then);
    bool readyToMix();
    void mixDone(int generation, bool mixed, const QString& path, const QString& error);
    void keepMixed();
    QString summary() const;
    bool writeReport(const QString& wavPath) const;
    void enable(bool on);
    void tell(const QString& text);

    std::function<void()> m_endListening;
    std::unique_ptr<FileDialog> m_dialog;
    QPushButton *m_play = nullptr, *m_keep = nullptr;
    QLabel* m_shown = nullptr;
    QString m_folder;
    Coach::RecordedTake m_take;
    bool m_recording = false;
    double m_correctionMs = 0;
    QString m_latency, m_report, m_tempo;
    QDateTime m_ended;
    std::string m_mixPath;
    std::thread m_mixer;
    std::function<void()> m_afterMix;
    int m_generation = 0;  // counts the takes, so that a mix of one gone is let go
    QString m_keptPath;
};
