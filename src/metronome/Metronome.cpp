#include "metronome/Metronome.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

#include "app/DisplayLettering.h"
#include "app/DragPicture.h"
#include "app/HitArea.h"
#include "app/MainWindowHost.h"
#include "app/ShortcutKeys.h"
#include "common/GridTicker.h"
#include "metronome/TempoMath.h"
#include "metronome/TrainerTicker.h"
#include "midi/ReferenceVoice.h"

namespace {

constexpr float kKnobDesignLeft = 930;
constexpr int kKnobTop = 3180;
constexpr int kKnobWidth = 75;
constexpr int kKnobHeight = 150;
constexpr int16_t kEnter = 13;
constexpr int16_t kEscape = 27;

// The tempo box over the display: typed digits on a dark field.
const char* kEntryStyle =
    "color: #8CFF64; background: #0E2A12; border: 1px solid #8CFF64;"
    "font-family: 'DejaVu Sans Mono', monospace; font-weight: bold; font-size: 9px; padding: 0;";

constexpr BeatClock::Milliseconds kDesignInterval{60000};  // one click a minute
constexpr auto kFlashLength = std::chrono::milliseconds(100);

// The visual beat's number at the left of the tempo display: lit as the beat is heard.
QString beatStyle(bool lit, bool accent) {
    const char* colour = !lit ? "#2E6B28" : accent ? "#FF9F2E" : "#D8FFC8";
    return displayLettering(11, "0 0 0 2px") +
           QString("color: %1; background: transparent;").arg(colour);
}

// Velocity 0 would end the note rather than strike it: a subdivision is softer, never silent,
// while the beat's own velocity is as the volume bar sets it.
int16_t subdivisionVelocity(int16_t beatVelocity) {
    return beatVelocity <= 0 ? beatVelocity
                             : static_cast<int16_t>(std::max(1, beatVelocity * 11 / 20));
}

}  // namespace

Metronome::Metronome(MainWindowHost& window, const ReferenceVoice& voice, NoteOutput& output,
                     Now now)
    : QObject(&window.widget()),
      m_host(window),
      m_window(window.widget()),
      m_voice(voice),
      m_output(output),
      m_now(std::move(now)),
      // Until a tempo is set the metronome runs at the timer's design interval.
      m_ticker(new GridTicker(
          tmrBPM, kDesignInterval, m_now, [this](BeatClock::TimePoint due) { tmrBPM_Timer(due); },
          this)),
      m_trainer(new TrainerTicker(
          m_now, [this](const MetronomeTrainer::Click& click) { playTrainerClick(click); }, this)),
      m_knobLeftTwips(kKnobDesignLeft) {
    tmrBPM.setTimerType(Qt::PreciseTimer);
    m_flashEnd.setSingleShot(true);
    connect(&m_flashEnd, &QTimer::timeout, this,
            [this] { m_beatShown->setStyleSheet(beatStyle(false, false)); });
    createControls();
}

void Metronome::createControls() {
    const ScreenUnits& u = m_host.environment().units;
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
    lblBPM->setToolTip(tr("Tempo in beats per minute; click to type one, or tap it"));
    lblBPM->setCursor(Qt::IBeamCursor);
    lblBPM->installEventFilter(this);
    m_host.addTroubleDisplay(lblBPM);
    m_beatShown = new QLabel(lblBPM);
    m_beatShown->setObjectName("lblBeat");
    m_beatShown->setTextFormat(Qt::PlainText);
    m_beatShown->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_beatShown->setGeometry(lblBPM->rect());
    m_beatShown->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_beatShown->setStyleSheet(beatStyle(false, false));
    m_beatShown->hide();

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
    ShortcutKeys& keys = m_host.shortcuts();
    keys.add({Qt::Key_Space}, tr("Start the metronome, or stop it when it runs"),
             [this] { isRunning() ? imgBPMStop_Click() : imgBPMPlay_Click(); }, {play, stop});
    keys.add({Qt::Key_T}, tr("Type a tempo"), [this] { lblBPM_Click(); }, {lblBPM});
    keys.add({Qt::Key_PageUp}, tr("One beat per minute faster"), [this] { stepTempo(1); },
             {imgBPMslider});
    keys.add({Qt::Key_PageDown}, tr("One beat per minute slower"), [this] { stepTempo(-1); },
             {imgBPMslider});
    keys.add({Qt::Key_Y}, tr("Tap the tempo"), [this] { tapTempo(); }, {lblBPM});
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
    if (isRunning()) {
        return;
    }
    m_plainBeats = 0;
    if (m_trainerSettings.any()) {
        startTrainer(std::nullopt);
    } else {
        m_ticker->start();
    }
}

void Metronome::imgBPMStop_Click() {
    m_ticker->stop();
    m_trainer->stop();
    ++m_flashGeneration;
    m_output.allNotesOff();
}

bool Metronome::isRunning() const {
    return m_ticker->isActive() || m_trainer->isActive();
}

void Metronome::setTrainer(const MetronomeTrainer::Settings& settings) {
    m_trainerSettings = settings;
    m_beatShown->setVisible(settings.visualBeat);
    if (m_ticker->isActive() && settings.any()) {
        const auto nextBeat = m_ticker->nextDue();
        m_ticker->stop();
        startTrainer(nextBeat);
    } else if (m_trainer->isActive() && !settings.any()) {
        const auto nextBeat = m_trainer->planner().nextBeatAfter();
        m_trainer->stop();
        m_ticker->start(nextBeat);
    } else if (m_trainer->isActive()) {
        m_trainer->planner().setSettings(settings);
    }
}

void Metronome::startTrainer(std::optional<BeatClock::TimePoint> firstBeat) {
    if (m_trainerSettings.tempo) {
        showTrainerTempo(m_trainerSettings.tempo->tempoInBar(0));
    }
    m_trainer->planner().start(m_now(), BeatClock::Milliseconds(beatInterval()), m_trainerSettings,
                               firstBeat);
    m_trainer->start();
}

void Metronome::playTrainerClick(const MetronomeTrainer::Click& click) {
    using MetronomeTrainer::Kind;
    if (click.end) {
        imgBPMStop_Click();
        return;
    }
    if (click.newTempo) {
        showTrainerTempo(*click.newTempo);
    }
    if (click.sounds) {
        const int16_t velocity = m_voice.NoteVelocity;
        m_output.noteOn(kClickChannel, click.kind == Kind::Accent ? kAccentNote : kClickNote,
                        click.kind == Kind::Subdivision ? subdivisionVelocity(velocity) : velocity,
                        click.due);
    }
    if (click.subdivision == 0) {
        flashBeat(click);
    }
    emit gridPlanned(click);
}

// Shown as it is heard: the click's due time plus what the device adds before it sounds.
void Metronome::flashBeat(const MetronomeTrainer::Click& click) {
    const auto heard = click.due + m_output.heardAfter();
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(heard - m_now());
    const long bar = click.bar;
    const int beat = click.beat;
    const bool sounds = click.sounds;
    const bool accent = click.kind == MetronomeTrainer::Kind::Accent;
    const int generation = m_flashGeneration;
    QTimer::singleShot(std::max(0, static_cast<int>(wait.count())), Qt::PreciseTimer, this,
                       [=, this] {
                           if (generation != m_flashGeneration) {
                               return;  // stopped since
                           }
                           if (m_trainerSettings.visualBeat) {
                               m_beatShown->setText(QString::number(beat + 1));
                               m_beatShown->setAccessibleName(m_beatShown->text());
                               m_beatShown->setStyleSheet(beatStyle(true, accent));
                               m_beatShown->repaint();
                               m_flashEnd.start(kFlashLength);
                           }
                           emit beatHeard(bar, beat, sounds);
                       });
}

void Metronome::showTrainerTempo(int bpm) {
    const auto interval = MetronomeTrainer::intervalFor(bpm);
    BeatInterval = static_cast<int16_t>(interval.count());
    lblBPM->setText(QString::number(bpm));
    m_ticker->setInterval(interval);
    emit trainerTempo(bpm);
}

Metronome::Tap Metronome::tapTempo() {
    const std::chrono::duration<double> at = m_now().time_since_epoch();
    if (const auto bpm = m_taps.tap(at.count())) {
        const int tempo = static_cast<int>(std::lround(*bpm));
        txtBPM->setText(QString::number(tempo));
        txtBPM_KeyPress(kEnter);
        return {TapOutcome::Tempo, tempo};
    }
    switch (m_taps.lastKind()) {
        case TapTempo::Kind::TooFast:
            return {TapOutcome::TooFast};
        case TapTempo::Kind::TooSlow:
            return {TapOutcome::TooSlow};
        default:
            return {TapOutcome::SeriesBegun};
    }
}

void Metronome::tmrBPM_Timer(NoteOutput::Due due) {
    m_output.noteOn(kClickChannel, kClickNote, m_voice.NoteVelocity, due);
    MetronomeTrainer::Click beat;
    beat.due = due.value_or(m_now());
    beat.bar = m_plainBeats++;
    emit gridPlanned(beat);
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
    const ScreenUnits& u = m_host.environment().units;
    imgBPMslider->move(u.toPixelsX(left), imgBPMslider->y());
    BeatInterval = tempo->BeatInterval;
    Bpm = tempo->Bpm;
    lblBPM->setText(QString::number(Bpm));
    setBeatInterval(BeatInterval);
}

void Metronome::lblBPM_Click() {
    txtBPM->setSelection(0, 3);
    txtBPM->show();
    txtBPM->setFocus();
}

void Metronome::txtBPM_KeyPress(int16_t KeyAscii) {
    if (KeyAscii == kEscape) {
        closeEntry();
        return;
    }
    if (KeyAscii != kEnter) {
        return;
    }
    closeEntry();
    // Text that gives no usable interval is refused: the tempo and the display stay as they were.
    const auto interval = TempoMath::intervalForTyped(txtBPM->text().toStdString());
    if (!interval) {
        return;
    }
    BeatInterval = *interval;
    lblBPM->setText(txtBPM->text());
    setBeatInterval(BeatInterval);
}

// Nothing else on the window takes the focus, so the hidden box would keep it: the keys it does
// not pass on would go into it unseen, and its cursor would go on blinking, two wake-ups a second.
void Metronome::closeEntry() {
    txtBPM->hide();
    m_window.setFocus();
}

int Metronome::beatInterval() const {
    return static_cast<int>(m_ticker->interval().count());
}

void Metronome::setBeatInterval(int milliseconds) {
    m_ticker->setInterval(BeatClock::Milliseconds(milliseconds));
    if (m_trainer->isActive()) {
        m_trainer->planner().setInterval(BeatClock::Milliseconds(milliseconds));
        m_trainer->arm();
    }
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
