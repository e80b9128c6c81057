#include "practice/MetronomePage.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <functional>

#include "app/ScreenUnits.h"
#include "metronome/Metronome.h"
#include "practice/BeatDots.h"
#include "practice/CoachPart.h"
#include "practice/CoachTake.h"
#include "practice/PanelControls.h"

namespace {

using MetronomeTrainer::kMaxTempo;
using MetronomeTrainer::kMinTempo;

constexpr int kSwingStep = 1;  // percent
constexpr const char* kGroup = "metronome/";

QString key(const char* name) {
    return QString(kGroup) + name;
}

const char* subdivisionName(int count) {
    switch (count) {
        case 2:
            return QT_TRANSLATE_NOOP("MetronomePage", "2 EIGHTHS");
        case 3:
            return QT_TRANSLATE_NOOP("MetronomePage", "3 TRIPLETS");
        case 4:
            return QT_TRANSLATE_NOOP("MetronomePage", "4 SIXTEENTHS");
        default:
            return QT_TRANSLATE_NOOP("MetronomePage", "OFF");
    }
}

// Positions in pixels of the skin at 96 dpi.
QRect at(const ScreenUnits& u, int x, int y, int width, int height) {
    return u.toPixels(x * 15, y * 15, width * 15, height * 15);
}

}  // namespace

MetronomePage::MetronomePage(QWidget& panel, Metronome& metronome, TrackPlaybackControl& track,
                             NoteOutput& output, QSettings& settings, const ScreenUnits& units)
    : QWidget(&panel), m_metronome(metronome), m_settings(settings), m_units(units) {
    setObjectName("metronomePage");
    setGeometry(panel.rect());
    setFocusPolicy(Qt::StrongFocus);
    createBarControls();
    createTrainerControls();
    addKeys();
    auto* coach = new CoachPart(*this, metronome, track, output, settings, units, m_keys);
    connect(&coach->take(), &CoachTake::playWanted, this, &MetronomePage::takePlaybackWanted);
    load();
    connect(&metronome, &Metronome::beatHeard, this, &MetronomePage::showHeard);
    connect(&metronome, &Metronome::trainerTempo, this, [this](int bpm) { m_tempoShown = bpm; });
    apply();
}

void MetronomePage::createBarControls() {
    const ScreenUnits& u = m_units;
    auto* fewer = PanelControls::button(*this, u, "-", "beatsDown", tr("Fewer beats per bar (-)"),
                                        at(u, 16, 50, 14, 14));
    m_beatsShown = PanelControls::display(*this, u, "beatsShown", tr("Beats per bar (- and =)"),
                                          at(u, 32, 50, 56, 14));
    auto* more = PanelControls::button(*this, u, "+", "beatsUp", tr("More beats per bar (=)"),
                                       at(u, 90, 50, 14, 14));
    connect(fewer, &QPushButton::clicked, this, [this] { stepBeats(-1); });
    connect(more, &QPushButton::clicked, this, [this] { stepBeats(1); });
    m_accents = toggle(tr("ACCENTS"), "accents", tr("Accents on and off (A)"),
                       at(u, 112, 50, 64, 14), "accents", false);
    m_visualBeat = toggle(tr("VISUAL BEAT"), "visualBeat",
                          tr("The beat shown on the tempo display as it is heard (V)"),
                          at(u, 206, 50, 76, 14), "visualBeat", false);

    m_dots = new BeatDots(this);
    m_dots->setObjectName("beatDots");
    m_dots->setGeometry(at(u, 16, 68, 266, 24));
    m_dots->setToolTip(tr("Click a beat for accent, normal or silent (Left, Right, Up, Down)"));
    connect(m_dots, &BeatDots::dotClicked, this, [this](int beat) {
        m_bar.marks[beat] = MetronomeTrainer::nextMark(m_bar.marks[beat]);
        apply();
    });

    m_subdivision = PanelControls::button(*this, u, "", "subdivision", "", at(u, 16, 118, 78, 14));
    connect(m_subdivision, &QPushButton::clicked, this, &MetronomePage::cycleSubdivision);
    auto* lessSwing = PanelControls::button(*this, u, "-", "swingDown", tr("Less swing (,)"),
                                            at(u, 108, 118, 14, 14));
    m_swingShown = PanelControls::display(*this, u, "swingShown",
                                          tr("Swing of the eighths: 50 % is straight (, and .)"),
                                          at(u, 124, 118, 48, 14));
    auto* moreSwing = PanelControls::button(*this, u, "+", "swingUp", tr("More swing (.)"),
                                            at(u, 174, 118, 14, 14));
    connect(lessSwing, &QPushButton::clicked, this, [this] { stepSwing(-1); });
    connect(moreSwing, &QPushButton::clicked, this, [this] { stepSwing(1); });
    auto* tapButton = PanelControls::button(*this, u, tr("TAP"), "metronomeTap",
                                            tr("Tap the tempo (Y)"), at(u, 200, 118, 30, 14));
    connect(tapButton, &QPushButton::clicked, this, &MetronomePage::tap);
    m_tapShown = PanelControls::display(*this, u, "tapShown", tr("The tapped tempo"),
                                        at(u, 232, 118, 50, 14));
}

void MetronomePage::createTrainerControls() {
    const ScreenUnits& u = m_units;
    m_trainer = toggle(tr("TRAINER"), "tempoTrainer", tr("Tempo trainer on and off (R)"),
                       at(u, 16, 158, 50, 14), "trainer", false);
    m_from = box("trainerFrom", tr("Tempo the trainer starts at (F)"), at(u, 70, 158, 38, 14),
                 kMinTempo, kMaxTempo, "trainerFrom", 80);
    m_step = box("trainerStep", tr("Beats per minute the trainer steps by (D)"),
                 at(u, 112, 158, 38, 14), 1, 20, "trainerStep", 5);
    m_step->setPrefix(QStringLiteral("±"));
    m_every = box("trainerEvery", tr("Bars between the trainer's steps (E)"),
                  at(u, 154, 158, 50, 14), 1, 64, "trainerEvery", 2);
    m_every->setSuffix(tr(" BARS"));
    m_to = box("trainerTo", tr("Tempo the trainer goes to (U)"), at(u, 208, 158, 38, 14), kMinTempo,
               kMaxTempo, "trainerTo", 120);
    m_atEnd = toggle(tr("STOP"), "trainerStop", "", at(u, 250, 158, 32, 14), "trainerStop", false);

    m_gap = toggle(tr("GAP"), "gapTrainer", tr("Gap trainer on and off (G)"),
                   at(u, 16, 198, 50, 14), "gap", false);
    m_play = box("gapPlay", tr("Bars that sound (P)"), at(u, 70, 198, 50, 14), 1, 16, "gapPlay", 2);
    m_play->setSuffix(tr(" BARS"));
    m_mute =
        box("gapMute", tr("Bars that are muted (M)"), at(u, 124, 198, 50, 14), 1, 16, "gapMute", 2);
    m_mute->setSuffix(tr(" BARS"));

    m_now = PanelControls::display(*this, u, "metronomeNow", tr("The bar and beat being heard"),
                                   at(u, 16, 236, 266, 16));
}

QPushButton* MetronomePage::toggle(const QString& text, const QString& name, const QString& tip,
                                   const QRect& place, const char* settingsKey, bool on) {
    auto* made = PanelControls::button(*this, m_units, text, name, tip, place);
    made->setCheckable(true);
    made->setChecked(m_settings.value(key(settingsKey), on).toBool());
    connect(made, &QPushButton::toggled, this, &MetronomePage::apply);
    return made;
}

QSpinBox* MetronomePage::box(const QString& name, const QString& tip, const QRect& place, int from,
                             int to, const char* settingsKey, int value) {
    auto* made = PanelControls::spinBox(*this, m_units, name, tip, place, from, to, 1);
    made->setValue(m_settings.value(key(settingsKey), value).toInt());
    connect(made, &QSpinBox::valueChanged, this, &MetronomePage::apply);
    return made;
}

void MetronomePage::load() {
    m_bar.beats =
        std::clamp(m_settings.value(key("beats"), 4).toInt(), 1, MetronomeTrainer::kMaxBeats);
    m_bar.marks = MetronomeTrainer::marksFromText(
        m_settings.value(key("marks"), "ANNNNNNNNNNNNNNN").toString().toStdString());
    const int subdivision = m_settings.value(key("subdivision"), 1).toInt();
    m_bar.subdivision = subdivision >= 1 && subdivision <= 4 ? subdivision : 1;
    m_bar.swing = std::clamp(m_settings.value(key("swing"), 50).toInt(),
                             MetronomeTrainer::kStraightSwing, MetronomeTrainer::kMaxSwing);
}

MetronomeTrainer::Settings MetronomePage::settings() const {
    MetronomeTrainer::Settings made;
    made.bar = m_bar;
    made.bar.accents = m_accents->isChecked();
    made.visualBeat = m_visualBeat->isChecked();
    if (m_trainer->isChecked()) {
        made.tempo =
            MetronomeTrainer::TempoTrainer{m_from->value(), m_step->value(), m_every->value(),
                                           m_to->value(), m_atEnd->isChecked()};
    }
    if (m_gap->isChecked()) {
        made.gap = MetronomeTrainer::GapTrainer{m_play->value(), m_mute->value()};
    }
    return made;
}

void MetronomePage::apply() {
    m_settings.setValue(key("beats"), m_bar.beats);
    m_settings.setValue(key("marks"),
                        QString::fromStdString(MetronomeTrainer::marksText(m_bar.marks)));
    m_settings.setValue(key("subdivision"), m_bar.subdivision);
    m_settings.setValue(key("swing"), m_bar.swing);
    const struct {
        const char* name;
        QPushButton* button;
    } toggles[] = {{"accents", m_accents},
                   {"visualBeat", m_visualBeat},
                   {"trainer", m_trainer},
                   {"trainerStop", m_atEnd},
                   {"gap", m_gap}};
    for (const auto& t : toggles) {
        m_settings.setValue(key(t.name), t.button->isChecked());
    }
    const struct {
        const char* name;
        QSpinBox* box;
    } boxes[] = {{"trainerFrom", m_from}, {"trainerStep", m_step}, {"trainerEvery", m_every},
                 {"trainerTo", m_to},     {"gapPlay", m_play},     {"gapMute", m_mute}};
    for (const auto& b : boxes) {
        m_settings.setValue(key(b.name), b.box->value());
    }
    m_metronome.setTrainer(settings());
    showStates();
}

void MetronomePage::showStates() {
    PanelControls::show(*m_beatsShown, tr("%n BEATS", "", m_bar.beats));
    PanelControls::show(*m_swingShown, tr("%1 %").arg(m_bar.swing));
    m_dots->setBar(m_bar.beats, m_accents->isChecked() ? m_bar.marks : BeatDots::Marks{});
    m_subdivision->setText(tr(subdivisionName(m_bar.subdivision)));
    const QString subdivisionTip =
        tr("Subdivision: %1; off, 2, 3 or 4 clicks a beat (S)").arg(m_subdivision->text());
    m_subdivision->setToolTip(subdivisionTip);
    m_subdivision->setAccessibleName(subdivisionTip);
    m_atEnd->setText(m_atEnd->isChecked() ? tr("STOP") : tr("HOLD"));
    const QString endTip =
        tr("At the target tempo the trainer %1 (H)")
            .arg(m_atEnd->isChecked() ? tr("stops the metronome") : tr("holds the tempo"));
    m_atEnd->setToolTip(endTip);
    m_atEnd->setAccessibleName(endTip);
    if (!m_metronome.isRunning()) {
        PanelControls::show(*m_now, tr("STOPPED: SPACE STARTS"));
        m_dots->light(-1);
    }
}

void MetronomePage::showHeard(long bar, int beat, bool sounds) {
    m_dots->light(beat);
    QString shown = tr("BAR %1   BEAT %2").arg(bar + 1).arg(beat + 1);
    if (m_tempoShown > 0 && m_trainer->isChecked()) {
        shown += tr("   %1 BPM").arg(m_tempoShown);
    }
    if (!sounds) {
        shown += tr("   REST");
    }
    PanelControls::show(*m_now, shown);
}

void MetronomePage::stepBeats(int change) {
    m_bar.beats = std::clamp(m_bar.beats + change, 1, MetronomeTrainer::kMaxBeats);
    apply();
}

void MetronomePage::stepSwing(int change) {
    m_bar.swing = std::clamp(m_bar.swing + change * kSwingStep, MetronomeTrainer::kStraightSwing,
                             MetronomeTrainer::kMaxSwing);
    apply();
}

void MetronomePage::cycleSubdivision() {
    m_bar.subdivision = m_bar.subdivision % 4 + 1;
    apply();
}

// Up gives the chosen beat the next mark, down the one before; accents come on with it.
void MetronomePage::markChosenBeat(int change) {
    auto& mark = m_bar.marks[m_dots->chosen()];
    for (int i = 0; i < (change > 0 ? 1 : 2); ++i) {
        mark = MetronomeTrainer::nextMark(mark);
    }
    if (!m_accents->isChecked()) {
        m_accents->setChecked(true);  // applies
    } else {
        apply();
    }
}

void MetronomePage::tap() {
    const Metronome::Tap tapped = m_metronome.tapTempo();
    switch (tapped.outcome) {
        case Metronome::TapOutcome::Tempo:
            PanelControls::show(*m_tapShown, tr("%1 BPM").arg(tapped.bpm));
            break;
        case Metronome::TapOutcome::TooFast:
            PanelControls::show(*m_tapShown, tr("TOO FAST"));
            break;
        case Metronome::TapOutcome::TooSlow:
            PanelControls::show(*m_tapShown, tr("TOO SLOW"));
            break;
        case Metronome::TapOutcome::SeriesBegun:
            PanelControls::show(*m_tapShown, tr("TAP ON"));
            break;
    }
}

void MetronomePage::addKeys() {
    const std::pair<int, std::function<void()>> actions[] = {
        {Qt::Key_Minus, [this] { stepBeats(-1); }},
        {Qt::Key_Equal, [this] { stepBeats(1); }},
        {Qt::Key_Left, [this] { m_dots->choose(m_dots->chosen() - 1); }},
        {Qt::Key_Right, [this] { m_dots->choose(m_dots->chosen() + 1); }},
        {Qt::Key_Up, [this] { markChosenBeat(1); }},
        {Qt::Key_Down, [this] { markChosenBeat(-1); }},
        {Qt::Key_A, [this] { m_accents->toggle(); }},
        {Qt::Key_S, [this] { cycleSubdivision(); }},
        {Qt::Key_Comma, [this] { stepSwing(-1); }},
        {Qt::Key_Period, [this] { stepSwing(1); }},
        {Qt::Key_Y, [this] { tap(); }},
        {Qt::Key_V, [this] { m_visualBeat->toggle(); }},
        {Qt::Key_R, [this] { m_trainer->toggle(); }},
        {Qt::Key_H, [this] { m_atEnd->toggle(); }},
        {Qt::Key_G, [this] { m_gap->toggle(); }},
        {Qt::Key_Space,
         [this] {
             m_metronome.isRunning() ? m_metronome.imgBPMStop_Click()
                                     : m_metronome.imgBPMPlay_Click();
             showStates();
         }},
    };
    for (const auto& [key, action] : actions) {
        m_keys.add(key, action);
    }
    // Letters that take the keys to an entry box, which hands them back on Enter.
    const std::pair<int, QSpinBox*> boxes[] = {{Qt::Key_F, m_from},  {Qt::Key_D, m_step},
                                               {Qt::Key_E, m_every}, {Qt::Key_U, m_to},
                                               {Qt::Key_P, m_play},  {Qt::Key_M, m_mute}};
    for (const auto& [key, box] : boxes) {
        m_keys.add(key, [box] {
            box->setFocus();
            box->selectAll();
        });
    }
}

bool MetronomePage::event(QEvent* event) {
    return m_keys.claim(*event) || QWidget::event(event);
}

void MetronomePage::keyPressEvent(QKeyEvent* event) {
    if (!m_keys.press(*event)) {
        QWidget::keyPressEvent(event);
    }
}
