#pragma once

#include <QElapsedTimer>
#include <QSettings>
#include <QTimer>
#include <QWidget>
#include <optional>

#include "practice/PanelControls.h"
#include "tuner/ListeningTuner.h"
#include "tuner/Tunings.h"

class MainWindowHost;
class NoteOutput;
class QLabel;
class QLineEdit;
class QPushButton;
class Tuner;
class TunerMeter;
struct ReferenceVoice;
struct ScreenUnits;

// The practice panel's page for tuning by the meter: it listens to the sound input while it is
// shown with LISTEN on (never when nobody looks), and shows the note heard, its offset in cents
// on a needle, a strobe and a number, and its frequency. It also sets the reference pitch (the
// built-in synthesizer's too), the tuning of the main window's six strings, whether the meter
// follows the string last clicked, and a sustained reference note.
class TunerPage : public QWidget {
    Q_OBJECT
public:
    // The voice's instrument is the one to come back to after SUSTAIN.
    TunerPage(QWidget& panel, MainWindowHost& main, Tuner& tuner, ReferenceVoice& voice,
              NoteOutput& output, QSettings& settings, const ScreenUnits& units);
    ~TunerPage() override;

    // The reference pitch a recording was made at, and its tuning when it implies one (empty:
    // the tuning stays), as the track page found them.
    void matchRecording(double referenceA4, const QString& tuning);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void createControls();
    void addKeys();
    void listenWhileShown();
    void refresh();
    void showListening();
    void applyReference();
    void applyTuning(int index);
    void applyCustom();
    void applySustain();
    void select(int16_t program);
    QPushButton* toggle(const QString& text, const QString& name, const QString& tip,
                        const QRect& at, const char* key);
    QLineEdit* entry(const QString& name, const QString& tip, const QRect& at);

    MainWindowHost& m_main;
    Tuner& m_tuner;
    ReferenceVoice& m_voice;
    NoteOutput& m_output;
    QSettings& m_settings;
    const ScreenUnits& m_units;
    PanelControls::PageKeys m_keys;
    TunerMeter* m_meter;
    QLabel *m_source, *m_note, *m_cents, *m_hz, *m_target, *m_word;
    QPushButton *m_listen, *m_tuning, *m_follow, *m_sustain;
    QLineEdit *m_reference, *m_custom;
    QTimer m_refresh;
    QElapsedTimer m_sinceRefresh;
    int m_framesToNumbers = 0;
    double m_a4 = Tunings::kStandardA4;
    int m_tuningIndex = 0;  // known() and one more for the custom tuning
    Tunings::Strings m_customNotes = Tunings::known().front().notes;
    std::optional<int> m_followed;  // the note of the string last clicked
    int16_t m_programBeforeSustain = 0;
    ListeningTuner m_listening;
};
