#include "practice/TrackControls.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <cmath>
#include <functional>

#include "app/ScreenUnits.h"
#include "mp3/TrackPlaybackControl.h"
#include "practice/PanelControls.h"

namespace {

constexpr int kSpeedStep = 5;  // percent
constexpr int kMinSpeed = 25;
constexpr int kMaxSpeed = 150;
constexpr int kMaxSemitones = 12;
constexpr int kMaxCents = 50;

constexpr const char* kSpeedKey = "track/speed";
constexpr const char* kSemitonesKey = "track/semitones";
constexpr const char* kCentsKey = "track/cents";
constexpr const char* kTrainerKey = "track/trainer";
constexpr const char* kTrainerStepKey = "track/trainerStep";
constexpr const char* kTrainerTargetKey = "track/trainerTarget";
constexpr const char* kCountInKey = "track/countIn";
constexpr const char* kTempoKey = "track/tempo";
constexpr const char* kFasterKey = "track/fasterStretch";

// A whole number kept in practice.conf, on its range; anything else there gives the default.
int storedCount(const QSettings& settings, const char* key, int fallback, int lowest, int highest) {
    bool number = false;
    const int count = settings.value(key, fallback).toInt(&number);
    return number ? std::clamp(count, lowest, highest) : fallback;
}

QString signedCount(int count, const char* unit) {
    return QString("%1%2 %3").arg(count > 0 ? "+" : "").arg(count).arg(unit);
}

}  // namespace

TrackControls::TrackControls(QWidget& page, TrackPlaybackControl& track, QSettings& settings,
                             const ScreenUnits& u)
    : QObject(&page),
      m_page(page),
      m_track(track),
      m_settings(settings),
      m_units(u),
      m_speedPercent(storedCount(settings, kSpeedKey, 100, kMinSpeed, kMaxSpeed)),
      m_semitoneCount(storedCount(settings, kSemitonesKey, 0, -kMaxSemitones, kMaxSemitones)),
      m_centCount(storedCount(settings, kCentsKey, 0, -kMaxCents, kMaxCents)) {
    const auto stepper = [this, &u](int left, const QString& what, const QString& keys,
                                    const char* name, auto step) {
        auto* down = button("-", QString("%1Down").arg(name), tr("%1 down (%2)").arg(what, keys[0]),
                            u.toPixels(left, 3135, 210, 210));
        auto* up = button("+", QString("%1Up").arg(name), tr("%1 up (%2)").arg(what, keys[1]),
                          u.toPixels(left + 960, 3135, 210, 210));
        connect(down, &QPushButton::clicked, this, [this, step] { (this->*step)(-1); });
        connect(up, &QPushButton::clicked, this, [this, step] { (this->*step)(1); });
        return display(QString("%1Shown").arg(name),
                       tr("%1 (%2 and %3)").arg(what, keys[0], keys[1]),
                       u.toPixels(left + 225, 3135, 720, 210));
    };
    m_speed = stepper(270, tr("Speed"), "-=", "speed", &TrackControls::stepSpeed);
    m_semitones = stepper(1650, tr("Transpose"), ",.", "semitones", &TrackControls::stepSemitones);
    m_cents = stepper(3030, tr("Fine tune"), "<>", "cents", &TrackControls::stepCents);

    m_trainer = button(tr("TRAINER"), "trainer", tr("Speed trainer on and off (R)"),
                       u.toPixels(270, 3720, 630, 210));
    m_trainer->setCheckable(true);
    m_trainer->setChecked(PanelControls::storedFlag(settings, kTrainerKey, false));
    connect(m_trainer, &QPushButton::toggled, this, &TrackControls::apply);
    m_step = spinBox("trainerStep", tr("Speed added each pass (_ and +)"),
                     u.toPixels(930, 3720, 600, 210), 1, 20, 1);
    m_step->setPrefix("+");
    m_step->setSuffix(tr(" %"));
    m_step->setValue(
        storedCount(settings, kTrainerStepKey, 5, m_step->minimum(), m_step->maximum()));
    m_target = spinBox("trainerTarget", tr("Speed the trainer goes up to ({ and })"),
                       u.toPixels(1560, 3720, 630, 210), kMinSpeed, kMaxSpeed, kSpeedStep);
    m_target->setSuffix(tr(" %"));
    m_target->setValue(
        storedCount(settings, kTrainerTargetKey, 100, m_target->minimum(), m_target->maximum()));
    m_pass = display("trainerPass", tr("The speed of this pass of the loop"),
                     u.toPixels(270, 3990, 1920, 180));

    m_countIn =
        button(tr("COUNT-IN"), "countIn", tr("A bar of clicks before the track and each pass (C)"),
               u.toPixels(2790, 3720, 750, 210));
    m_countIn->setCheckable(true);
    m_countIn->setChecked(PanelControls::storedFlag(settings, kCountInKey, false));
    connect(m_countIn, &QPushButton::toggled, this, &TrackControls::apply);
    m_tempo = spinBox("trackTempo", tr("The track's tempo in BPM: type it (B) or tap it (T)"),
                      u.toPixels(3570, 3720, 630, 210), 30, 300, 1);
    m_tempo->setValue(
        storedCount(settings, kTempoKey, 120, m_tempo->minimum(), m_tempo->maximum()));
    auto* tapButton = button(tr("TAP"), "tapTempo", tr("Tap the track's tempo (T)"),
                             u.toPixels(2790, 3990, 750, 180));
    connect(tapButton, &QPushButton::clicked, this, &TrackControls::tap);
    m_faster = button(tr("FASTER"), "fasterStretch",
                      tr("Slow down and transpose with half the processor time, a little less "
                         "finely (F)"),
                      u.toPixels(3570, 3990, 630, 180));
    m_faster->setCheckable(true);
    m_faster->setChecked(PanelControls::storedFlag(settings, kFasterKey, false));
    connect(m_faster, &QPushButton::toggled, this, &TrackControls::apply);
    for (QSpinBox* box : {m_step, m_target, m_tempo}) {
        connect(box, &QSpinBox::valueChanged, this, &TrackControls::apply);
    }
    apply();
}

QPushButton* TrackControls::button(const QString& text, const QString& name, const QString& tip,
                                   const QRect& at) {
    return PanelControls::button(m_page, m_units, text, name, tip, at);
}

QLabel* TrackControls::display(const QString& name, const QString& tip, const QRect& at) {
    return PanelControls::display(m_page, m_units, name, tip, at);
}

QSpinBox* TrackControls::spinBox(const QString& name, const QString& tip, const QRect& at, int from,
                                 int to, int step) {
    return PanelControls::spinBox(m_page, m_units, name, tip, at, from, to, step);
}

void TrackControls::setSpeedAndTranspose(std::optional<int> speedPercent,
                                         std::optional<int> semitones) {
    m_speedPercent = std::clamp(speedPercent.value_or(m_speedPercent), kMinSpeed, kMaxSpeed);
    m_semitoneCount =
        std::clamp(semitones.value_or(m_semitoneCount), -kMaxSemitones, kMaxSemitones);
    apply();
}

void TrackControls::stepSpeed(int steps) {
    m_speedPercent = std::clamp(m_speedPercent + steps * kSpeedStep, kMinSpeed, kMaxSpeed);
    apply();
}

void TrackControls::stepSemitones(int steps) {
    m_semitoneCount = std::clamp(m_semitoneCount + steps, -kMaxSemitones, kMaxSemitones);
    apply();
}

void TrackControls::stepCents(int steps) {
    m_centCount = std::clamp(m_centCount + steps, -kMaxCents, kMaxCents);
    apply();
}

void TrackControls::setPitch(int semitones, int cents) {
    m_semitoneCount = std::clamp(semitones, -kMaxSemitones, kMaxSemitones);
    m_centCount = std::clamp(cents, -kMaxCents, kMaxCents);
    apply();
}

void TrackControls::toggleTrainer() {
    m_trainer->toggle();
}

void TrackControls::toggleCountIn() {
    m_countIn->toggle();
}

void TrackControls::tap() {
    const std::chrono::duration<double> at = std::chrono::steady_clock::now() - m_tapsBegan;
    if (const auto bpm = m_taps.tap(at.count())) {
        m_tempo->setValue(static_cast<int>(std::lround(*bpm)));
    }
}

void TrackControls::addKeys(PanelControls::PageKeys& keys) {
    const std::pair<int, std::function<void()>> actions[] = {
        {Qt::Key_Minus, [this] { stepSpeed(-1); }},
        {Qt::Key_Equal, [this] { stepSpeed(1); }},
        {Qt::Key_Comma, [this] { stepSemitones(-1); }},
        {Qt::Key_Period, [this] { stepSemitones(1); }},
        {Qt::Key_Less, [this] { stepCents(-1); }},
        {Qt::Key_Greater, [this] { stepCents(1); }},
        {Qt::Key_R, [this] { toggleTrainer(); }},
        {Qt::Key_Underscore, [this] { m_step->stepBy(-1); }},
        {Qt::Key_Plus, [this] { m_step->stepBy(1); }},
        {Qt::Key_BraceLeft, [this] { m_target->stepBy(-1); }},
        {Qt::Key_BraceRight, [this] { m_target->stepBy(1); }},
        {Qt::Key_C, [this] { toggleCountIn(); }},
        {Qt::Key_F, [this] { m_faster->toggle(); }},
        {Qt::Key_T, [this] { tap(); }},
        {Qt::Key_B,
         [this] {
             m_tempo->setFocus();
             m_tempo->selectAll();
         }},
    };
    for (const auto& [key, action] : actions) {
        keys.add(key, action);
    }
}

void TrackControls::apply() {
    m_settings.setValue(kSpeedKey, m_speedPercent);
    m_settings.setValue(kSemitonesKey, m_semitoneCount);
    m_settings.setValue(kCentsKey, m_centCount);
    m_settings.setValue(kTrainerKey, m_trainer->isChecked());
    m_settings.setValue(kTrainerStepKey, m_step->value());
    m_settings.setValue(kTrainerTargetKey, m_target->value());
    m_settings.setValue(kCountInKey, m_countIn->isChecked());
    m_settings.setValue(kTempoKey, m_tempo->value());
    m_settings.setValue(kFasterKey, m_faster->isChecked());
    m_track.setTuning({m_speedPercent / 100.0, m_semitoneCount, m_centCount});
    m_track.setTrainer(m_trainer->isChecked() ? std::optional(SpeedTrainer{
                                                    m_speedPercent / 100.0, m_step->value() / 100.0,
                                                    m_target->value() / 100.0})
                                              : std::nullopt);
    m_track.setCountIn(m_countIn->isChecked() ? std::optional<double>(m_tempo->value())
                                              : std::nullopt);
    m_track.setFasterStretch(m_faster->isChecked());
    show(m_speed, tr("%1 %").arg(m_speedPercent));
    show(m_semitones, signedCount(m_semitoneCount, "st"));
    show(m_cents, signedCount(m_centCount, "ct"));
    refresh();
}

void TrackControls::refresh() {
    show(m_pass, m_trainer->isChecked()
                     ? tr("PASS AT %1 %").arg(std::lround(m_track.playingSpeed() * 100))
                     : tr("TRAINER OFF"));
}

void TrackControls::show(QLabel* label, const QString& text) {
    PanelControls::show(*label, text);
}
