#pragma once

#include <QObject>
#include <QTimer>
#include <array>
#include <chrono>
#include <functional>

#include "midi/NoteOutput.h"
#include "tuner/NoteSelection.h"
#include "tuner/Tunings.h"

class DragPicture;
class GridTicker;
class HitArea;
class MainWindowHost;
class SvgPicture;
struct ReferenceVoice;
struct ScreenUnits;

// The reference-note player and its note repeat loop on the main window: six strings, note up
// and down, Play, Loop and Stop, the note letter, the musical-note icon and the VOLUME and LOOP
// bars. It sounds the reference voice, and its VOLUME bar sets the voice's velocity.
class Tuner : public QObject {
    Q_OBJECT
public:
    using Now = std::function<std::chrono::steady_clock::time_point()>;
    Tuner(MainWindowHost& window, ReferenceVoice& voice, NoteOutput& output,
          Now now = std::chrono::steady_clock::now);

    void imgString_Click(int16_t Index);
    void imgNoteUp_Click();
    void imgNoteDown_Click();
    void imgPlaynote_Click();
    void imgStopnote_Click();
    void imgLoop_Click();
    void tmrNote_Timer();
    // The ticker hands over its beat's time, so the loop's note sounds on the grid however late
    // the timer woke; without one the note is due now.
    void tmrLoopSpeed_Timer(NoteOutput::Due due = std::nullopt);
    void imgVolLoop_MouseMove(int16_t Index, int16_t Button, int16_t Shift, float X, float Y);
    void checknotepix();

    // The notes the six strings sound; standard tuning until the practice panel sets another.
    void setStrings(const Tunings::Strings& notes);

signals:
    // A string clicked, and the note it sounded.
    void stringSounded(int index, int note);

public:
    // The note repeat loop's timer, and the one that hides the musical-note icon.
    QTimer tmrLoopSpeed;
    QTimer tmrNote;

    int16_t LoopInterval = 500;  // milliseconds between the loop's notes
    int16_t NotePicture = 7;     // the letter of the voice's note, counted from A (7 is E)

private:
    void createControls();
    void createPictures(const ScreenUnits& u);
    void createStrings(const ScreenUnits& u);
    void createButtons(const ScreenUnits& u);
    void createBars(const ScreenUnits& u);
    void connectTimers();
    void soundSelectedNote(NoteOutput::Due due = std::nullopt);
    NoteSelection selection() const;
    void select(const NoteSelection& selection);

    MainWindowHost& m_host;
    QWidget& m_window;
    ReferenceVoice& m_voice;
    NoteOutput& m_output;
    GridTicker* m_loop;
    SvgPicture* imgNote = nullptr;
    std::array<SvgPicture*, kNoteLetterCount> imgNotePix{};
    SvgPicture* imgMusicalNote = nullptr;
    std::array<DragPicture*, 2> imgVolLoop{};
    std::array<double, 2> m_barWidthTwips{};
    Tunings::Strings m_strings = Tunings::known().front().notes;
};
