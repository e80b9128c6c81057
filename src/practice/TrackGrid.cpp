#include "practice/TrackGrid.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <cmath>

#include "analysis/TrackAnalyzer.h"
#include "app/ScreenUnits.h"
#include "metronome/ClickPlanner.h"
#include "mp3/TrackPlaybackControl.h"
#include "practice/RecordingTuning.h"
#include "practice/TrackOverview.h"

namespace {

// The analysis' progress moves on smoothly enough at this pace; without one running, a new track
// is looked for less often, for a program that rests while nothing plays.
constexpr int kAnalysingPollMs = 200;
constexpr int kRestingPollMs = 1000;
constexpr double kNudgeSeconds = 0.005;
constexpr const char* kClickKey = "track/songClick";
// The count-in's levels, so that the click on the song sounds as the count-in before it.
constexpr float kAccentGain = 0.5f;
constexpr float kBeatGain = 0.3f;
constexpr float kSubdivisionGain = 0.17f;

QRect at(const ScreenUnits& u, int x, int y, int width, int height) {
    return u.toPixels(x * 15, y * 15, width * 15, height * 15);
}

}  // namespace

TrackGrid::TrackGrid(QWidget& page, TrackPlaybackControl& track, TrackOverview& overview,
                     QSettings& settings, const ScreenUnits& u)
    : QObject(&page),
      m_page(page),
      m_track(track),
      m_overview(overview),
      m_settings(settings),
      m_units(u) {
    m_shown = PanelControls::display(page, u, "gridShown",
                                     tr("The track's tempo, and the bar and beat it is at"),
                                     at(u, 18, 311, 98, 12));
    m_double = button(tr("x2"), "gridDouble", tr("Twice the tempo: a beat between each two (D)"),
                      at(u, 122, 310, 22, 14));
    m_halve = button(tr("/2"), "gridHalve", tr("Half the tempo: every other beat (H)"),
                     at(u, 146, 310, 22, 14));
    m_one = button(tr("ONE"), "gridOne", tr("The beat at the play head is the bar's one (N)"),
                   at(u, 170, 310, 28, 14));
    m_earlier =
        button("<", "gridEarlier", tr("The beats 5 ms earlier (U)"), at(u, 200, 310, 18, 14));
    m_later = button(">", "gridLater", tr("The beats 5 ms later (I)"), at(u, 220, 310, 18, 14));
    m_click = button(tr("CLICK"), "songClick",
                     tr("A click on the track's beats, accents on the ones (M)"),
                     at(u, 242, 310, 40, 14));
    m_click->setCheckable(true);
    m_click->setChecked(PanelControls::storedFlag(settings, kClickKey, false));
    m_tuningShown = PanelControls::display(page, u, "recordingTuning",
                                           tr("How the recording is tuned against A440"),
                                           at(u, 18, 331, 150, 12));
    m_toA440 = button(tr("TO A440"), "playAtA440",
                      tr("Transpose and fine-tune the track to play at A440 (A)"),
                      at(u, 174, 330, 50, 14));
    m_toTuner = button(tr("TUNER"), "tunerToRecording",
                       tr("Set the tuner's reference and tuning to the recording's (Q)"),
                       at(u, 228, 330, 54, 14));

    connect(m_double, &QPushButton::clicked, this, &TrackGrid::doubleTempo);
    connect(m_halve, &QPushButton::clicked, this, &TrackGrid::halveTempo);
    connect(m_one, &QPushButton::clicked, this, &TrackGrid::oneAtPlayHead);
    connect(m_earlier, &QPushButton::clicked, this, [this] { nudge(-kNudgeSeconds); });
    connect(m_later, &QPushButton::clicked, this, [this] { nudge(kNudgeSeconds); });
    connect(m_click, &QPushButton::toggled, this, [this](bool on) {
        m_settings.setValue(kClickKey, on);
        applyClick();
    });
    connect(m_toA440, &QPushButton::clicked, this, &TrackGrid::playAtA440);
    connect(m_toTuner, &QPushButton::clicked, this, &TrackGrid::tuneTunerToRecording);
    // While the panel is open the analysis follows the track, whichever page is shown; a user who
    // never opens the panel has no analysis run, kept or loaded.
    m_poll.setInterval(kRestingPollMs);
    connect(&m_poll, &QTimer::timeout, this, &TrackGrid::refresh);
    m_page.window()->installEventFilter(this);
    showGrid();
    showTuning();
}

TrackGrid::~TrackGrid() = default;

bool TrackGrid::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show) {
        m_poll.start();
        refresh();
    } else if (event->type() == QEvent::Hide) {
        m_poll.stop();
    }
    return QObject::eventFilter(watched, event);
}

QPushButton* TrackGrid::button(const QString& text, const QString& name, const QString& tip,
                               const QRect& place) {
    return PanelControls::button(m_page, m_units, text, name, tip, place);
}

void TrackGrid::addKeys(PanelControls::PageKeys& keys) {
    keys.add(Qt::Key_D, [this] { doubleTempo(); });
    keys.add(Qt::Key_H, [this] { halveTempo(); });
    keys.add(Qt::Key_N, [this] { oneAtPlayHead(); });
    keys.add(Qt::Key_U, [this] { nudge(-kNudgeSeconds); });
    keys.add(Qt::Key_I, [this] { nudge(kNudgeSeconds); });
    keys.add(Qt::Key_M, [this] { toggleClick(); });
    keys.add(Qt::Key_A, [this] { playAtA440(); });
    keys.add(Qt::Key_Q, [this] { tuneTunerToRecording(); });
}

double TrackGrid::snapped(double seconds, bool exact) const {
    return m_grid && !exact ? BeatGrids::snapToBeat(*m_grid, seconds) : seconds;
}

void TrackGrid::refresh() {
    follow(m_track.loaded() ? m_track.file() : std::string());
    if (m_analysing) {
        m_overview.setAnalysisProgress(m_analyzer->progress());
        if (auto result = m_analyzer->result()) {
            m_analysing = false;
            m_overview.setAnalysisProgress(std::nullopt);
            m_analysis = std::move(result);
            setGrid(m_analysis->grid);
            showTuning();
        } else if (!m_analyzer->error().empty()) {
            m_analysing = false;
            m_overview.setAnalysisProgress(std::nullopt);
            showGrid();
        }
    }
    applyClick();  // the metronome page's accents may have changed
    showGrid();
    if (const int wanted = m_analysing ? kAnalysingPollMs : kRestingPollMs;
        m_poll.interval() != wanted) {
        m_poll.setInterval(wanted);
    }
}

// A new track forgets the last one's grid at once: its beats are not this track's.
void TrackGrid::follow(const std::string& file) {
    if (file == m_file) {
        return;
    }
    m_file = file;
    m_analysis.reset();
    setGrid(std::nullopt);
    showTuning();
    m_analysing = !file.empty();
    m_overview.setAnalysisProgress(m_analysing ? std::optional(0.0) : std::nullopt);
    if (file.empty()) {
        if (m_analyzer) {
            m_analyzer->cancel();
        }
        return;
    }
    if (!m_analyzer) {
        const QDir beside = QFileInfo(m_settings.fileName()).dir();
        m_analyzer = std::make_unique<TrackAnalyzer>(beside.filePath("tracks").toStdString());
    }
    m_analyzer->analyse(file);
}

void TrackGrid::setGrid(std::optional<BeatGrid> grid) {
    if (grid && !BeatGrids::usable(*grid)) {
        grid.reset();
    }
    m_grid = std::move(grid);
    m_track.setGrid(m_grid);
    m_overview.setGrid(m_grid);
    for (QPushButton* correction : {m_double, m_halve, m_one, m_earlier, m_later}) {
        correction->setEnabled(m_grid.has_value());
    }
    showGrid();
    emit gridChanged();
}

void TrackGrid::correct(const BeatGrid& corrected) {
    if (!m_grid || !BeatGrids::usable(corrected)) {
        return;
    }
    m_analyzer->keepCorrected(corrected);
    setGrid(corrected);
}

void TrackGrid::doubleTempo() {
    if (m_grid) {
        correct(BeatGrids::doubled(*m_grid));
    }
}

void TrackGrid::halveTempo() {
    if (m_grid) {
        correct(BeatGrids::halved(*m_grid));
    }
}

void TrackGrid::oneAtPlayHead() {
    if (m_grid) {
        correct(BeatGrids::withDownbeat(
            *m_grid, BeatGrids::nearestBeat(*m_grid, m_track.positionSeconds())));
    }
}

void TrackGrid::nudge(double seconds) {
    if (m_grid) {
        correct(BeatGrids::nudged(*m_grid, seconds));
    }
}

void TrackGrid::toggleClick() {
    m_click->toggle();
}

// Through the metronome page's settings where they apply: its subdivision, and its accents when
// its bar has the song's beats.
void TrackGrid::applyClick() {
    std::optional<TrackTimeline::SongClick> click;
    if (m_click->isChecked() && m_grid) {
        click.emplace();
        const int beats = m_grid->beatsPerBar;
        const bool accents = PanelControls::storedFlag(m_settings, "metronome/accents", false) &&
                             m_settings.value("metronome/beats", 4).toInt() == beats;
        const auto marks = MetronomeTrainer::marksFromText(
            m_settings.value("metronome/marks").toString().toStdString());
        for (int beat = 0; beat < beats; ++beat) {
            using MetronomeTrainer::Mark;
            const Mark mark = !accents ? (beat == 0 ? Mark::Accent : Mark::Normal)
                                       : marks[static_cast<size_t>(beat) % marks.size()];
            click->beatGains.push_back(mark == Mark::Accent   ? kAccentGain
                                       : mark == Mark::Normal ? kBeatGain
                                                              : 0.0f);
        }
        const int subdivision = m_settings.value("metronome/subdivision", 1).toInt();
        click->subdivision = subdivision >= 1 && subdivision <= 4 ? subdivision : 1;
        click->subdivisionGain = kSubdivisionGain;
    }
    if (click != m_sentClick) {
        m_sentClick = click;
        m_track.setSongClick(click);
    }
}

void TrackGrid::showGrid() {
    QString text = tr("NO TRACK");
    if (m_grid) {
        const long beat = BeatGrids::beatAt(*m_grid, m_track.positionSeconds());
        text = tr("%1 BPM  BAR %2.%3")
                   .arg(BeatGrids::beatsPerMinute(*m_grid), 0, 'f', 1)
                   .arg(BeatGrids::barOfBeat(*m_grid, beat))
                   .arg(BeatGrids::beatInBar(*m_grid, beat) + 1);
    } else if (m_analysing) {
        text = tr("ANALYSING %1 %").arg(std::lround(100 * m_analyzer->progress()));
    } else if (m_analysis) {
        text = tr("NO BEAT FOUND");
    } else if (!m_file.empty()) {
        text = tr("NO ANALYSIS");
    }
    PanelControls::show(*m_shown, text);
}

void TrackGrid::showTuning() {
    const bool known = m_analysis && m_analysis->tuningCents;
    const QString key = m_analysis ? QString::fromStdString(m_analysis->key).toUpper() : QString();
    QString text = m_analysing ? QString() : tr("TUNING NOT KNOWN");
    if (known) {
        text = QString::fromStdString(recordingTuning(*m_analysis->tuningCents).words) +
               (key.isEmpty() ? QString() : tr(", IN %1").arg(key));
    } else if (!key.isEmpty()) {
        text = tr("IN %1").arg(key);
    }
    PanelControls::show(*m_tuningShown, text);
    m_toA440->setEnabled(known);
    m_toTuner->setEnabled(known);
}

void TrackGrid::playAtA440() {
    if (m_analysis && m_analysis->tuningCents) {
        const RecordingTuning tuning = recordingTuning(*m_analysis->tuningCents);
        emit pitchWanted(tuning.semitones, tuning.cents);
    }
}

void TrackGrid::tuneTunerToRecording() {
    if (m_analysis && m_analysis->tuningCents) {
        const RecordingTuning tuning = recordingTuning(*m_analysis->tuningCents);
        emit tunerWanted(tuning.referenceA4,
                         QString::fromStdString(tuning.tuning.value_or(std::string())));
    }
}
