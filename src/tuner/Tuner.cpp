#include "tuner/Tuner.h"

#include "app/DragPicture.h"
#include "app/HitArea.h"
#include "app/MainWindowHost.h"
#include "app/ShortcutKeys.h"
#include "app/SvgPicture.h"
#include "common/GridTicker.h"
#include "midi/ReferenceVoice.h"
#include "tuner/LoopBars.h"

namespace {

constexpr const char* kLetterPictures[kNoteLetterCount] = {
    ":/assets/note-A.svg",  ":/assets/note-As.svg", ":/assets/note-B.svg",  ":/assets/note-C.svg",
    ":/assets/note-Cs.svg", ":/assets/note-D.svg",  ":/assets/note-Ds.svg", ":/assets/note-E.svg",
    ":/assets/note-F.svg",  ":/assets/note-Fs.svg", ":/assets/note-G.svg",  ":/assets/note-Gs.svg"};

constexpr const char* kStringNames[kStringCount] = {"6th string, low E", "5th string, A",
                                                    "4th string, D",     "3rd string, G",
                                                    "2nd string, B",     "1st string, high E"};

constexpr int kBarLeftTwips[2] = {450, 1800};

template <typename... Keys>
QList<QKeySequence> keys(Keys... each) {
    return {QKeySequence(each)...};
}
constexpr int kBarTopTwips = 1740;
constexpr int kBarHeightTwips = 150;

}  // namespace

Tuner::Tuner(MainWindowHost& window, ReferenceVoice& voice, NoteOutput& output, Now now)
    : QObject(&window.widget()),
      m_host(window),
      m_window(window.widget()),
      m_voice(voice),
      m_output(output),
      m_loop(new GridTicker(
          tmrLoopSpeed, BeatClock::Milliseconds(LoopInterval), std::move(now),
          [this](BeatClock::TimePoint due) { tmrLoopSpeed_Timer(due); }, this)) {
    createControls();
    connectTimers();
}

void Tuner::createControls() {
    const ScreenUnits& u = m_host.environment().units;
    createPictures(u);
    createStrings(u);
    createButtons(u);
    createBars(u);
}

void Tuner::createPictures(const ScreenUnits& u) {
    // The letter pictures are only held, never shown; the display shows a copy of one.
    for (int i = 0; i < kNoteLetterCount; ++i) {
        imgNotePix[i] = new SvgPicture(&m_window, QString("imgNotePix%1").arg(i),
                                       kLetterPictures[i], u.toPixels(540, 4800, 405, 315));
        imgNotePix[i]->hide();
    }
    imgNote =
        new SvgPicture(&m_window, "imgNote", kLetterPictures[7], u.toPixels(540, 1050, 405, 315));
    m_host.addTroubleDisplay(imgNote);
    imgMusicalNote = new SvgPicture(&m_window, "imgMusicalNote", ":/assets/musical-note.svg",
                                    u.toPixels(1440, 810, 330, 435));
    imgMusicalNote->hide();
}

void Tuner::createStrings(const ScreenUnits& u) {
    for (int16_t i = 0; i < kStringCount; ++i) {
        auto* string = new HitArea(&m_window, QString("imgString%1").arg(i), tr(kStringNames[i]),
                                   tr("Select and sound the %1").arg(tr(kStringNames[i])),
                                   u.toPixels(1830 + 150 * i, 840, 135, 645));
        const auto click = [this, i] { imgString_Click(i); };
        connect(string, &HitArea::clicked, this, click);
        // Guitarists count strings from the high E: the 6th is the low E on the left.
        m_host.shortcuts().add({Qt::Key_6 - i}, tr("Sound the %1").arg(tr(kStringNames[i])), click,
                               {string});
    }
}

void Tuner::createButtons(const ScreenUnits& u) {
    const struct {
        const char* name;
        const char* accessible;
        const char* tip;
        QList<QKeySequence> keys;
        QRect geometry;
        void (Tuner::*handler)();
    } buttons[] = {
        {"imgNoteUp", "Note up", "Select the note one semitone higher", keys(Qt::Key_Up),
         u.toPixels(990, 1050, 135, 165), &Tuner::imgNoteUp_Click},
        {"imgNoteDown", "Note down", "Select the note one semitone lower", keys(Qt::Key_Down),
         u.toPixels(990, 1290, 135, 135), &Tuner::imgNoteDown_Click},
        {"imgPlaynote", "Play", "Sound the selected note", keys(Qt::Key_Return, Qt::Key_Enter),
         u.toPixels(330, 2310, 555, 255), &Tuner::imgPlaynote_Click},
        {"imgLoop", "Loop", "Repeat the selected note at the LOOP rate", keys(Qt::Key_L),
         u.toPixels(930, 2310, 555, 315), &Tuner::imgLoop_Click},
        {"imgStopnote", "Stop", "Stop the loop and silence every note", keys(Qt::Key_S),
         u.toPixels(1470, 2310, 525, 315), &Tuner::imgStopnote_Click},
    };
    for (const auto& b : buttons) {
        auto* area = new HitArea(&m_window, b.name, tr(b.accessible), tr(b.tip), b.geometry);
        const auto click = [this, handler = b.handler] { (this->*handler)(); };
        connect(area, &HitArea::clicked, this, click);
        m_host.shortcuts().add(b.keys, tr(b.tip), click, {area});
    }
}

void Tuner::createBars(const ScreenUnits& u) {
    for (int16_t i = 0; i < 2; ++i) {
        m_barWidthTwips[i] = LoopBars::kFullWidthTwips;
        imgVolLoop[i] = new DragPicture(
            &m_window, QString("imgVolLoop%1").arg(i), ":/assets/bar.svg",
            u.toPixels(kBarLeftTwips[i], kBarTopTwips, LoopBars::kFullWidthTwips, kBarHeightTwips),
            u, DragPicture::Track::FirstGeometry);
        imgVolLoop[i]->setAccessibleName(i == 0 ? tr("Volume") : tr("Loop speed"));
        imgVolLoop[i]->setToolTip(i == 0 ? tr("Drag to set the note volume")
                                         : tr("Drag to set the time between repeated notes"));
        connect(imgVolLoop[i], &DragPicture::mouseMoved, this,
                [this, i](int16_t button, int16_t shift, float x, float y) {
                    imgVolLoop_MouseMove(i, button, shift, x, y);
                });
    }
}

void Tuner::connectTimers() {
    tmrLoopSpeed.setTimerType(Qt::PreciseTimer);
    tmrNote.setInterval(1000);
    connect(&tmrNote, &QTimer::timeout, this, &Tuner::tmrNote_Timer);
}

void Tuner::soundSelectedNote(NoteOutput::Due due) {
    m_output.noteOn(m_voice.channel, m_voice.CurrentNote, m_voice.NoteVelocity, due);
    imgMusicalNote->show();
    // Restarted by every note, so the icon stays lit for a full second after the latest one.
    tmrNote.start();
}

NoteSelection Tuner::selection() const {
    return {m_voice.CurrentNote, NotePicture};
}

void Tuner::select(const NoteSelection& selection) {
    m_voice.CurrentNote = selection.note;
    NotePicture = selection.picture;
    checknotepix();
}

void Tuner::imgString_Click(int16_t Index) {
    const int note = m_strings.at(Index);
    select(selectionOf(static_cast<int16_t>(note)));
    soundSelectedNote();
    emit stringSounded(Index, note);
}

void Tuner::setStrings(const Tunings::Strings& notes) {
    m_strings = notes;
}

void Tuner::imgNoteUp_Click() {
    NoteSelection next = selection();
    if (stepUp(next)) {
        select(next);
    }
}

void Tuner::imgNoteDown_Click() {
    NoteSelection next = selection();
    if (stepDown(next)) {
        select(next);
    }
}

void Tuner::imgPlaynote_Click() {
    soundSelectedNote();
}

void Tuner::imgStopnote_Click() {
    m_loop->stop();
    m_output.allNotesOff();
}

void Tuner::imgLoop_Click() {
    // Enabling a running loop changes nothing: the beat goes on undisturbed.
    m_loop->start();
}

void Tuner::tmrNote_Timer() {
    imgMusicalNote->hide();
    tmrNote.stop();
}

void Tuner::tmrLoopSpeed_Timer(NoteOutput::Due due) {
    m_loop->setInterval(BeatClock::Milliseconds(LoopInterval));
    soundSelectedNote(due);
}

void Tuner::imgVolLoop_MouseMove(int16_t Index, int16_t Button, int16_t, float X, float) {
    if (!LoopBars::acceptsMove(Button, X)) {
        return;
    }
    m_barWidthTwips[Index] = X;
    DragPicture* bar = imgVolLoop[Index];
    bar->resize(m_host.environment().units.toPixelsX(X), bar->height());
    if (Index == 0) {
        m_voice.NoteVelocity = LoopBars::velocityForWidth(m_barWidthTwips[0]);
    } else {
        LoopInterval = LoopBars::intervalForWidth(m_barWidthTwips[1]);
    }
}

void Tuner::checknotepix() {
    imgNote->setPicture(imgNotePix[NotePicture]->picture());
}
