#include "practice/TunerPage.h"

#include <QApplication>

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "app/DisplayLettering.h"
#include "app/MainWindowHost.h"
#include "app/ScreenUnits.h"
#include "midi/NoteOutput.h"
#include "midi/ReferenceVoice.h"
#include "practice/TunerMeter.h"
#include "tuner/Tuner.h"

namespace {

constexpr int kRefreshMs = 33;  // the needle and strobe move smoothly at 30 frames a second
constexpr int kRestingRefreshMs = 100;
constexpr int kFramesPerNumbers = 3;       // numbers that change faster than 10 times a second blur
constexpr int16_t kSustainedProgram = 16;  // General MIDI's drawbar organ: rings until stopped
constexpr const char* kCustomName = "CUSTOM";

QString key(const char* name) {
    return QString("tuner/") + name;
}

QRect at(const ScreenUnits& u, int x, int y, int width, int height) {
    return u.toPixels(x * 15, y * 15, width * 15, height * 15);
}

const char* kEntryStyle =
    "QLineEdit { color: #8CFF64; background: #0E2A12; border: 1px solid #0B0C0E; "
    "selection-background-color: #2E6B28; font-family: 'DejaVu Sans Mono', monospace; "
    "font-weight: bold; font-size: %1px; padding: 0 1px; }"
    "QLineEdit:focus { border-color: #FF9F2E; }";

}  // namespace

TunerPage::TunerPage(QWidget& panel, MainWindowHost& main, Tuner& tuner, ReferenceVoice& voice,
                     NoteOutput& output, QSettings& settings, const ScreenUnits& units)
    : QWidget(&panel),
      m_main(main),
      m_tuner(tuner),
      m_voice(voice),
      m_output(output),
      m_settings(settings),
      m_units(units) {
    setObjectName("tunerPage");
    setGeometry(panel.rect());
    setFocusPolicy(Qt::StrongFocus);
    createControls();
    addKeys();
    connect(&tuner, &Tuner::stringSounded, this, [this](int, int note) {
        m_followed = note;
        refresh();
    });
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &TunerPage::refresh);

    m_reference->setText(
        QString::number(settings.value(key("reference"), 440.0).toDouble(), 'f', 1));
    applyReference();
    if (const auto custom =
            Tunings::parse(settings.value(key("custom")).toString().toStdString())) {
        m_customNotes = *custom;
    }
    const QString tuning = settings.value(key("tuning"), "STANDARD").toString();
    const auto& known = Tunings::known();
    const auto found = std::find_if(known.begin(), known.end(),
                                    [&](const Tunings::Tuning& t) { return tuning == t.name; });
    applyTuning(tuning == kCustomName
                    ? static_cast<int>(known.size())
                    : static_cast<int>(std::max<long>(0, found - known.begin()) % known.size()));
    // A sustained sound set at the last run is selected once the main window has loaded its own.
    main.widget().installEventFilter(this);
    refresh();
}

bool TunerPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_main.widget() && event->type() == QEvent::Show) {
        m_main.widget().removeEventFilter(this);
        if (m_sustain->isChecked()) {
            applySustain();
        }
    }
    return false;
}

TunerPage::~TunerPage() = default;

QPushButton* TunerPage::toggle(const QString& text, const QString& name, const QString& tip,
                               const QRect& place, const char* settingsKey) {
    auto* made = PanelControls::button(*this, m_units, text, name, tip, place);
    made->setCheckable(true);
    made->setChecked(m_settings.value(key(settingsKey), false).toBool());
    connect(made, &QPushButton::toggled, this,
            [this, settingsKey](bool on) { m_settings.setValue(key(settingsKey), on); });
    return made;
}

QLineEdit* TunerPage::entry(const QString& name, const QString& tip, const QRect& place) {
    auto* made = new QLineEdit(this);
    made->setObjectName(name);
    made->setGeometry(place);
    made->setToolTip(tip);
    made->setAccessibleName(tip);
    made->setStyleSheet(QString(kEntryStyle).arg(m_units.fontPixels(8)));
    PanelControls::cancelOnEscape(*this, *made);
    return made;
}

void TunerPage::createControls() {
    const ScreenUnits& u = m_units;
    m_listen = toggle(tr("LISTEN"), "listen", tr("Listen to the sound input (L)"),
                      at(u, 16, 50, 60, 14), "listen");
    connect(m_listen, &QPushButton::toggled, this, &TunerPage::listenWhileShown);
    m_source = PanelControls::display(*this, u, "tunerSource", tr("What the tuner listens to"),
                                      at(u, 80, 50, 202, 14));
    m_meter = new TunerMeter(this);
    m_meter->setObjectName("tunerMeter");
    m_meter->setGeometry(at(u, 18, 70, 262, 66));
    m_meter->setToolTip(tr("The needle shows ±50 cents; the strobe stands still in tune"));
    m_note =
        PanelControls::display(*this, u, "tunerNote", tr("The note heard"), at(u, 16, 142, 70, 22));
    m_cents = PanelControls::display(*this, u, "tunerCents", tr("Cents from the note"),
                                     at(u, 90, 142, 100, 22));
    m_hz = PanelControls::display(*this, u, "tunerHz", tr("The frequency heard"),
                                  at(u, 194, 142, 88, 22));
    for (QLabel* big : {m_note, m_cents}) {
        big->setStyleSheet(displayLettering(u.fontPixels(14), "0"));
    }

    m_reference = entry("reference",
                        tr("A4 in hertz, 415 to 466, for the tuner and the built-in synthesizer "
                           "(MIDI ports keep 440); Enter applies it (R)"),
                        at(u, 16, 180, 70, 14));
    connect(m_reference, &QLineEdit::returnPressed, this, &TunerPage::applyReference);
    m_tuning = PanelControls::button(*this, u, "", "tuning", "", at(u, 16, 208, 90, 14));
    connect(m_tuning, &QPushButton::clicked, this,
            [this] { applyTuning((m_tuningIndex + 1) % (Tunings::known().size() + 1)); });
    m_custom =
        entry("customTuning", tr("The six strings' notes, low to high, as E2 A2 D3 G3 B3 E4 (C)"),
              at(u, 110, 208, 172, 14));
    connect(m_custom, &QLineEdit::returnPressed, this, &TunerPage::applyCustom);
    m_follow = toggle(tr("FOLLOW"), "follow", tr("Tune to the string last clicked (W)"),
                      at(u, 16, 236, 60, 14), "follow");
    connect(m_follow, &QPushButton::toggled, this, &TunerPage::refresh);
    m_target = PanelControls::display(*this, u, "tunerTarget", tr("The note tuned to"),
                                      at(u, 80, 236, 100, 14));
    m_sustain = toggle(tr("SUSTAIN"), "sustain", tr("The reference note rings until STOP (S)"),
                       at(u, 194, 236, 88, 14), "sustain");
    connect(m_sustain, &QPushButton::toggled, this, &TunerPage::applySustain);
    m_word = PanelControls::display(*this, u, "tunerWord", tr("What the tuner has to say"),
                                    at(u, 16, 258, 266, 12));
}

void TunerPage::addKeys() {
    const auto focus = [](QLineEdit* box) {
        return [box] {
            box->setFocus();
            box->selectAll();
        };
    };
    m_keys.add(Qt::Key_L, [this] { m_listen->toggle(); });
    m_keys.add(Qt::Key_R, focus(m_reference));
    m_keys.add(Qt::Key_T, [this] { m_tuning->click(); });
    m_keys.add(Qt::Key_C, focus(m_custom));
    m_keys.add(Qt::Key_W, [this] { m_follow->toggle(); });
    m_keys.add(Qt::Key_S, [this] { m_sustain->toggle(); });
}

bool TunerPage::event(QEvent* event) {
    return m_keys.claim(*event) || QWidget::event(event);
}

void TunerPage::keyPressEvent(QKeyEvent* event) {
    if (!m_keys.press(*event)) {
        QWidget::keyPressEvent(event);
    }
}

void TunerPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    listenWhileShown();
}

void TunerPage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    listenWhileShown();
}

// No capture while nobody looks: the page hidden, the panel closed or LISTEN off.
void TunerPage::listenWhileShown() {
    if (isVisible() && m_listen->isChecked() && m_listening.listen()) {
        m_sinceRefresh.start();
        m_refresh.start();
    } else {
        m_listening.stop();
        m_refresh.stop();
    }
    refresh();
}

void TunerPage::refresh() {
    showListening();
    const auto reading = m_listening.latest();
    const bool heard = reading.has_value();
    const double hz = heard ? reading->hz : 0;
    const int note = m_follow->isChecked() && m_followed
                         ? *m_followed
                         : (heard ? Tunings::nearest(hz, m_a4).note : -1);
    PanelControls::show(
        *m_target, note >= 0 ? QString::fromStdString(Tunings::noteName(note)) : tr("ANY STRING"));
    const double seconds = m_sinceRefresh.isValid() ? m_sinceRefresh.restart() / 1000.0 : 0;
    const int interval = heard ? kRefreshMs : kRestingRefreshMs;
    if (m_refresh.interval() != interval) {
        m_refresh.setInterval(interval);
    }
    if (!heard || note < 0) {
        PanelControls::show(*m_note, "--");
        PanelControls::show(*m_cents, "--");
        PanelControls::show(*m_hz, "--");
        m_meter->show(std::nullopt, false, seconds);
        m_framesToNumbers = 0;
        return;
    }
    const double cents = Tunings::centsFrom(hz, note, m_a4);
    m_meter->show(cents, reading->stable, seconds);
    if (m_framesToNumbers-- > 0) {
        return;
    }
    m_framesToNumbers = kFramesPerNumbers - 1;
    PanelControls::show(*m_note, QString::fromStdString(Tunings::noteName(note)));
    PanelControls::show(*m_cents, QString("%1%2").arg(cents >= 0 ? "+" : "").arg(cents, 0, 'f', 1));
    PanelControls::show(*m_hz, tr("%1 HZ").arg(hz, 0, 'f', 2));
}

void TunerPage::showListening() {
    if (!m_listening.missingLibrary().empty()) {
        PanelControls::show(*m_source, tr("NOT LISTENING: THE PITCH LIBRARY IS MISSING"));
        PanelControls::show(*m_word,
                            QString::fromStdString(m_listening.missingLibrary()).toUpper());
        return;
    }
    switch (m_listening.state()) {
        case CaptureStream::State::Failed:
            PanelControls::show(*m_source, tr("NO INPUT: CHECK THE SOUND SETTINGS"));
            PanelControls::show(*m_word, QString::fromStdString(m_listening.error()).toUpper());
            break;
        case CaptureStream::State::Listening:
        case CaptureStream::State::Opening:
            PanelControls::show(*m_source, tr("LISTENING TO THE DEFAULT INPUT"));
            break;
        case CaptureStream::State::Stopped:
            PanelControls::show(*m_source, tr("NOT LISTENING: L LISTENS"));
            break;
    }
}

// The keys stay where they were: on the track page that asked.
void TunerPage::matchRecording(double referenceA4, const QString& tuning) {
    QWidget* focused = QApplication::focusWidget();
    m_reference->setText(QString::number(referenceA4, 'f', 1));
    applyReference();
    const auto& known = Tunings::known();
    const auto found = std::find_if(known.begin(), known.end(),
                                    [&](const Tunings::Tuning& t) { return tuning == t.name; });
    if (found != known.end()) {
        applyTuning(static_cast<int>(found - known.begin()));
    }
    if (focused) {
        focused->setFocus();
    }
}

// A reference outside the range is refused, and the one in use stays.
void TunerPage::applyReference() {
    const auto typed = Tunings::reference(m_reference->text().toDouble());
    if (typed) {
        m_a4 = *typed;
        m_settings.setValue(key("reference"), m_a4);
        m_voice.referencePitch = m_a4;
        m_output.setReferencePitch(m_a4);
        PanelControls::show(*m_word,
                            m_a4 == Tunings::kStandardA4
                                ? tr("A4 = 440.0 HZ")
                                : tr("A4 = %1 HZ; MIDI PORTS KEEP 440").arg(m_a4, 0, 'f', 1));
    } else {
        PanelControls::show(*m_word, tr("THE REFERENCE IS 415 TO 466 HZ"));
    }
    m_reference->setText(QString::number(m_a4, 'f', 1));
    setFocus();
}

void TunerPage::applyTuning(int index) {
    const auto& known = Tunings::known();
    m_tuningIndex = index;
    const bool custom = index == static_cast<int>(known.size());
    const Tunings::Strings notes = custom ? m_customNotes : known[index].notes;
    const QString name = custom ? kCustomName : known[index].name;
    m_tuning->setText(name);
    const QString tip = tr("Tuning of the six strings: %1 (T)").arg(name.toLower());
    m_tuning->setToolTip(tip);
    m_tuning->setAccessibleName(tip);
    m_custom->setText(QString::fromStdString(Tunings::text(notes)));
    m_custom->setReadOnly(!custom);
    m_settings.setValue(key("tuning"), name);
    m_tuner.setStrings(notes);
}

// A note outside the MIDI range, or not six of them, is refused with a word.
void TunerPage::applyCustom() {
    const auto notes = Tunings::parse(m_custom->text().toUpper().replace("B", "b").toStdString());
    setFocus();
    if (!notes) {
        PanelControls::show(*m_word, tr("SIX NOTES, C-1 TO G9, AS E2 A2 D3 G3 B3 E4"));
        m_custom->setText(QString::fromStdString(Tunings::text(m_customNotes)));
        return;
    }
    m_customNotes = *notes;
    m_settings.setValue(key("custom"), QString::fromStdString(Tunings::text(m_customNotes)));
    applyTuning(static_cast<int>(Tunings::known().size()));
}

// The sustained instrument on the notes' channel while on; when off, the instrument the channel
// had before, unless one has been chosen in Setup since.
void TunerPage::applySustain() {
    const int16_t current = m_voice.program;
    if (m_sustain->isChecked()) {
        m_programBeforeSustain = current == kSustainedProgram ? m_main.startupSound() : current;
        select(kSustainedProgram);
    } else if (current == kSustainedProgram) {
        select(m_programBeforeSustain);
    }
}

void TunerPage::select(int16_t program) {
    m_output.programChange(m_voice.channel, 0, program);
    m_voice.selected(m_voice.channel, program);
}
