#include "metronome/Metronome.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

#include "app/DisplayLettering.h"
#include "app/DragPicture.h"
#include "app/GridTicker.h"
#include "app/HitArea.h"
#include "app/frmMain.h"
#include "metronome/TempoMath.h"
#include "midi/MIDI_CMD.h"

namespace {

constexpr float kKnobDesignLeft = 930;
constexpr int kKnobTop = 3180;
constexpr int kKnobWidth = 75;
constexpr int kKnobHeight = 150;
constexpr int16_t kClickNote = 127;
constexpr int16_t kEnter = 13;
constexpr int16_t kEscape = 27;

// The tempo box over the display: typed digits on a dark field.
const char* kEntryStyle =
    "color: #8CFF64; background: #0E2A12; border: 1px solid #8CFF64;"
    "font-family: 'DejaVu Sans Mono', monospace; font-weight: bold; font-size: 9px; padding: 0;";

}  // namespace

Metronome::Metronome(frmMain& window, Now now)
    : QObject(&window),
      m_window(window),
      m_state(window.state),
      // Until a tempo is set the metronome runs at the timer's design interval.
      m_ticker(new GridTicker(
          tmrBPM, std::move(now), [this] { tmrBPM_Timer(); }, this)),
      m_knobLeftTwips(kKnobDesignLeft) {
    tmrBPM.setTimerType(Qt::PreciseTimer);
    tmrBPM.setInterval(60000);
    createControls();
}

void Metronome::createControls() {
    const ScreenUnits& u = m_window.environment().units;
    auto* play = new HitArea(&m_window, "imgBPMPlay", tr("Start metronome"),
                             tr("Start the metronome"), u.toPixels(330, 2850, 555, 255));
    auto* stop = new HitArea(&m_window, "imgBPMStop", tr("Stop metronome"),
                             tr("Stop the metronome and silence every note"),
                             u.toPixels(930, 2850, 525, 225));
    connect(play, &HitArea::clicked, this, &Metronome::imgBPMPlay_Click);
    connect(stop, &HitArea::clicked, this, &Metronome::imgBPMStop_Click);

    lblBPM = new QLabel("000", &m_window);
    lblBPM->setObjectName("lblBPM");
    lblBPM->setTextFormat(Qt::PlainText);
    lblBPM->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblBPM->setStyleSheet(displayLettering(11, "0 2px 0 0"));
    lblBPM->setGeometry(u.toPixels(2100, 2880, 690, 195));
    // No name of its own: a screen reader then reads the tempo shown.
    lblBPM->setAccessibleDescription(tr("Tempo"));
    lblBPM->setToolTip(tr("Tempo in beats per minute; click to type one"));
    lblBPM->setCursor(Qt::IBeamCursor);
    lblBPM->installEventFilter(this);
    m_window.addTroubleDisplay(lblBPM);

    txtBPM = new QLineEdit(&m_window);
    txtBPM->setObjectName("txtBPM");
    txtBPM->setStyleSheet(kEntryStyle);
    txtBPM->setGeometry(u.toPixels(2040, 2910, 705, 165));
    txtBPM->setAccessibleName(tr("Tempo entry"));
    txtBPM->setToolTip(tr("Type a tempo and press Enter, or Escape to cancel"));
    txtBPM->hide();
    txtBPM->installEventFilter(this);

    imgBPMslider =
        new DragPicture(&m_window, "imgBPMslider", ":/assets/slider-knob.svg",
                        u.toPixels(kKnobDesignLeft, kKnobTop, kKnobWidth, kKnobHeight), u);
    imgBPMslider->setAccessibleName(tr("Tempo slider"));
    imgBPMslider->setToolTip(tr("Drag to set the tempo"));
    connect(imgBPMslider, &DragPicture::mouseMoved, this, &Metronome::imgBPMslider_MouseMove);
    addShortcuts(play, stop);
}

void Metronome::addShortcuts(HitArea* play, HitArea* stop) {
    ShortcutKeys& keys = m_window.shortcuts();
    keys.add({Qt::Key_Space}, tr("Start the metronome, or stop it when it runs"),
             [this] { tmrBPM.isActive() ? imgBPMStop_Click() : imgBPMPlay_Click(); }, {play, stop});
    keys.add({Qt::Key_T}, tr("Type a tempo"), [this] { lblBPM_Click(); }, {lblBPM});
    keys.add({Qt::Key_PageUp}, tr("One beat per minute faster"), [this] { stepTempo(1); },
             {imgBPMslider});
    keys.add({Qt::Key_PageDown}, tr("One beat per minute slower"), [this] { stepTempo(-1); },
             {imgBPMslider});
}

// The tempo is taken from the display, as the user reads it; before any tempo is set the display
// shows no tempo, and the one the metronome runs at is used. The new tempo then goes the way of a
// typed one, refused like it when out of range.
void Metronome::stepTempo(int change) {
    const auto shown = TempoMath::typedTempo(lblBPM->text().toStdString());
    const int tempo = shown ? *shown : TempoMath::tempoForInterval(beatInterval());
    txtBPM->setText(QString::number(tempo + change));
    txtBPM_KeyPress(kEnter);
}

void Metronome::imgBPMPlay_Click() {
    // Starting a running metronome changes nothing: the beat goes on undisturbed.
    m_ticker->start();
}

void Metronome::imgBPMStop_Click() {
    m_ticker->stop();
    MIDI_CMD::AllNotesOff();
}

void Metronome::tmrBPM_Timer() {
    MIDI_CMD::NoteOn(MainState::kClickChannel, kClickNote, m_state.NoteVelocity);
}

void Metronome::imgBPMslider_MouseMove(int16_t Button, int16_t, float X, float) {
    if (Button != 1) {
        return;
    }
    const float left = m_knobLeftTwips + X;
    const auto tempo = TempoMath::tempoForKnob(left);
    if (!tempo) {
        return;
    }
    m_knobLeftTwips = left;
    const ScreenUnits& u = m_window.environment().units;
    imgBPMslider->move(u.toPixelsX(left), imgBPMslider->y());
    m_state.BeatInterval = tempo->BeatInterval;
    m_state.Bpm = tempo->Bpm;
    lblBPM->setText(QString::number(m_state.Bpm));
    setBeatInterval(m_state.BeatInterval);
}

void Metronome::lblBPM_Click() {
    txtBPM->setSelection(0, 3);
    txtBPM->show();
    txtBPM->setFocus();
}

void Metronome::txtBPM_KeyPress(int16_t KeyAscii) {
    if (KeyAscii == kEscape) {
        txtBPM->hide();
        return;
    }
    if (KeyAscii != kEnter) {
        return;
    }
    txtBPM->hide();
    // Text that gives no usable interval is refused: the tempo and the display stay as they were.
    const auto interval = TempoMath::intervalForTyped(txtBPM->text().toStdString());
    if (!interval) {
        return;
    }
    m_state.BeatInterval = *interval;
    lblBPM->setText(txtBPM->text());
    setBeatInterval(m_state.BeatInterval);
}

int Metronome::beatInterval() const {
    return static_cast<int>(m_ticker->interval().count());
}

void Metronome::setBeatInterval(int milliseconds) {
    m_ticker->setInterval(BeatClock::Milliseconds(milliseconds));
}

bool Metronome::eventFilter(QObject* watched, QEvent* event) {
    // A click is the left button's; the right one opens the window's menu.
    if (watched == lblBPM && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        lblBPM_Click();
        return true;
    }
    if (watched == lblBPM && event->type() == QEvent::MouseButtonPress) {
        return true;  // a click on the display is not a window move
    }
    if (watched == txtBPM && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            txtBPM_KeyPress(kEnter);
            return true;
        }
        if (key == Qt::Key_Escape) {
            txtBPM_KeyPress(kEscape);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
