#include "practice/CoachPart.h"

#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QWidget>
#include <cmath>

#include "app/ScreenUnits.h"
#include "coach/Calibration.h"
#include "coach/TakeReport.h"
#include "common/ClickProgram.h"
#include "metronome/Metronome.h"
#include "midi/NoteOutput.h"
#include "mp3/TrackPlaybackControl.h"
#include "practice/CoachPlot.h"
#include "practice/CoachTake.h"

namespace {

constexpr int kPollMs = 15;  // a note's mark is shown within this of the analyser placing it
constexpr int kMarkShownMs = 2000;
constexpr int kCalibrationClicks = 16;
constexpr auto kCalibrationSpacing = std::chrono::milliseconds(500);
constexpr auto kCalibrationLead = std::chrono::milliseconds(1000);  // the input opens meanwhile
constexpr auto kSendAhead = std::chrono::milliseconds(150);
constexpr auto kLastNoteWait = std::chrono::milliseconds(600);
constexpr double kCalibrationReachMs = 150;
constexpr int16_t kCalibrationVelocity = 100;

QRect at(const ScreenUnits& u, int x, int y, int width, int height) {
    return u.toPixels(x * 15, y * 15, width * 15, height * 15);
}

QString signedMs(double ms, int decimals = 1) {
    return QString("%1%2").arg(ms < 0 ? "\u2212" : "+").arg(std::abs(ms), 0, 'f', decimals);
}

QString positionName(const Coach::TempoPartReport::Position& p) {
    return QString::number(p.beat + 1) +
           (p.subdivision > 0 ? QString("+%1").arg(p.subdivision) : "");
}

QString bpmText(const Coach::TempoPartReport& part) {
    return part.bpm > 0 ? QString::number(part.bpm, 'f', 0) : QString("?");
}

QString figuresText(const Coach::Figures& f) {
    return CoachPart::tr(
               "%1 notes, mean %2 ms, spread %3, drift %4, \u00b110 ms %5 %, \u00b120 ms %6 %")
        .arg(f.notes)
        .arg(signedMs(f.meanMs))
        .arg(f.spreadMs, 0, 'f', 1)
        .arg(signedMs(f.driftMs))
        .arg(std::lround(100 * f.within10))
        .arg(std::lround(100 * f.within20));
}

QString reportText(const std::vector<Coach::TempoPartReport>& parts) {
    QStringList lines;
    for (const auto& part : parts) {
        lines << CoachPart::tr("%1 BPM: %2").arg(bpmText(part), figuresText(part.all));
        QStringList positions;
        for (const auto& p : part.perPosition) {
            positions << QString("%1: %2").arg(positionName(p), signedMs(p.meanMs));
        }
        lines << CoachPart::tr("By position: %1").arg(positions.join("  "));
        if (part.muted.notes > 0) {
            lines << CoachPart::tr("Muted bars: %1").arg(figuresText(part.muted));
        }
    }
    return lines.isEmpty() ? CoachPart::tr("No notes were placed on the grid.") : lines.join("\n");
}

// The same figures for a file beside the take, one to a line.
QStringList figureLines(const QString& of, const Coach::Figures& f) {
    return {CoachPart::tr("%1notes: %2").arg(of).arg(f.notes),
            CoachPart::tr("%1mean: %2 ms").arg(of, signedMs(f.meanMs)),
            CoachPart::tr("%1spread: %2 ms").arg(of).arg(f.spreadMs, 0, 'f', 1),
            CoachPart::tr("%1drift: %2 ms").arg(of, signedMs(f.driftMs)),
            CoachPart::tr("%1within \u00b110 ms: %2 %").arg(of).arg(std::lround(100 * f.within10)),
            CoachPart::tr("%1within \u00b120 ms: %2 %").arg(of).arg(std::lround(100 * f.within20))};
}

QString reportFileText(const std::vector<Coach::TempoPartReport>& parts) {
    QStringList lines;
    for (const auto& part : parts) {
        lines << CoachPart::tr("At %1 BPM").arg(bpmText(part)) << figureLines("", part.all);
        for (const auto& p : part.perPosition) {
            lines << CoachPart::tr("position %1: %2 ms").arg(positionName(p), signedMs(p.meanMs));
        }
        if (part.muted.notes > 0) {
            lines << figureLines(CoachPart::tr("muted bars, "), part.muted);
        }
    }
    return lines.isEmpty() ? CoachPart::tr("No notes were placed on the grid.") : lines.join("\n");
}

QString tempoText(const std::vector<Coach::TempoPartReport>& parts) {
    QStringList tempos;
    for (const auto& part : parts) {
        tempos << bpmText(part);
    }
    return tempos.isEmpty() ? CoachPart::tr("no notes placed")
                            : CoachPart::tr("%1 BPM").arg(tempos.join(", "));
}

}  // namespace

CoachPart::CoachPart(QWidget& page, Metronome& metronome, TrackPlaybackControl& track,
                     NoteOutput& output, QSettings& settings, const ScreenUnits& units,
                     PanelControls::PageKeys& keys)
    : QObject(&page),
      m_metronome(metronome),
      m_track(track),
      m_output(output),
      m_settings(settings),
      m_units(units) {
    createControls(page, keys);
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &CoachPart::poll);
    m_markFade.setSingleShot(true);
    connect(&m_markFade, &QTimer::timeout, this, [this] { PanelControls::show(*m_mark, ""); });
    connect(&metronome, &Metronome::gridPlanned, this, &CoachPart::planned);
    // Silencing every channel (the metronome's STOP, the note player's STOP) cuts off the
    // metronome's clicks; a track's click is the track player's sound, and goes on.
    m_output.setSilencedSign([this](Clock::time_point heard) {
        if (m_mode == Mode::Take && m_run == Run::Metronome) {
            m_listener.outputSilenced(heard);
        }
    });
    showLatency();
}

CoachPart::~CoachPart() {
    m_output.setSilencedSign(nullptr);
    m_listener.stop();
}

void CoachPart::createControls(QWidget& page, PanelControls::PageKeys& keys) {
    const ScreenUnits& u = m_units;
    m_coach = PanelControls::button(page, u, tr("COACH"), "coach",
                                    tr("Timing coach on and off (C)"), at(u, 16, 257, 44, 12));
    m_coach->setCheckable(true);
    connect(m_coach, &QPushButton::clicked, this, [this] { toggleCoach(); });
    m_mark = PanelControls::display(page, u, "coachMark",
                                    tr("The last note, early or late against the grid"),
                                    at(u, 62, 257, 64, 12));
    m_report = PanelControls::button(page, u, tr("REPORT"), "coachReport",
                                     tr("The last take's report shown and hidden (I)"),
                                     at(u, 128, 257, 44, 12));
    m_report->setCheckable(true);
    connect(m_report, &QPushButton::clicked, this,
            [this] { m_reportPane->setVisible(m_report->isChecked()); });
    m_calibrate = PanelControls::button(
        page, u, tr("CALIBRATE"), "coachCalibrate",
        tr("Calibrate the latency with clicks heard back by the microphone (B)"),
        at(u, 174, 257, 54, 12));
    connect(m_calibrate, &QPushButton::clicked, this, [this] { calibrate(false); });
    m_tapCalibrate = PanelControls::button(
        page, u, tr("BY TAPS"), "coachTapCalibrate",
        tr("Calibrate the latency on headphones: tap or pick along with the clicks (N)"),
        at(u, 230, 257, 52, 12));
    connect(m_tapCalibrate, &QPushButton::clicked, this, [this] { calibrate(true); });
    m_status = PanelControls::display(page, u, "coachStatus",
                                      tr("The coach's calibration, or what it is doing"),
                                      at(u, 16, 271, 266, 12));

    m_reportPane = new QWidget(&page);
    m_reportPane->setObjectName("coachReportPane");
    m_reportPane->setGeometry(at(u, 16, 98, 266, 154));
    m_reportPane->setAutoFillBackground(true);
    m_reportPane->setStyleSheet("#coachReportPane { background: #0B0C0E; }");
    m_reportText = new QLabel(m_reportPane);
    m_reportText->setObjectName("coachReportText");
    m_reportText->setWordWrap(true);
    m_reportText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_reportText->setStyleSheet(
        QString("color: #8CFF64; font-family: 'DejaVu Sans'; font-size: %1px;")
            .arg(u.toPixelsY(8 * 15)));
    m_reportText->setGeometry(at(u, 2, 2, 262, 80));
    m_reportText->setToolTip(
        tr("The last take: mean offset, spread, drift and the share of notes close to the grid"));
    m_plot = new CoachPlot(m_reportPane);
    m_plot->setObjectName("coachPlot");
    m_plot->setGeometry(at(u, 2, 84, 262, 68));
    m_plot->setAccessibleName(tr("Offset of each note over the take, with the bar lines"));
    m_plot->setToolTip(
        tr("Each note early (down) or late (up), ±50 ms; bar lines behind; muted bars hollow"));
    m_reportPane->hide();
    // The microphone would hear the take played back: whatever listens ends first.
    m_takePart = new CoachTake(page, u, keys, [this] {
        if (m_mode == Mode::Take) {
            endTake();
        } else if (m_mode == Mode::Calibrating) {
            endCalibration();
        }
    });

    keys.add(Qt::Key_C, [this] { toggleCoach(); });
    keys.add(Qt::Key_B, [this] { calibrate(false); });
    keys.add(Qt::Key_N, [this] { calibrate(true); });
    keys.add(Qt::Key_I, [this] { toggleReport(); });
}

QString CoachPart::deviceKey(const QString& name) const {
    QString device = name;
    device.replace('/', '_');
    return QString("coach/input/%1/").arg(device);
}

// What a take's notes are taken back by, with the latencies the calibration found.
QString CoachPart::latencyText(const QString& group) const {
    if (!m_settings.contains(group + "correctionMs")) {
        return tr("not calibrated, notes taken as the sound server times them");
    }
    return tr("notes taken back by %1 ms (round trip %2 ms, input %3 ms)")
        .arg(signedMs(m_settings.value(group + "correctionMs").toDouble(), 2))
        .arg(m_settings.value(group + "roundTripMs").toDouble(), 0, 'f', 1)
        .arg(m_settings.value(group + "inputMs").toDouble(), 0, 'f', 1);
}

bool CoachPart::startListening(const Coach::TakeAnalyser::Options& options,
                               const std::string& takePath) {
    if (!m_listener.listen(options, takePath)) {
        PanelControls::show(*m_status, QString::fromStdString(m_listener.missingLibrary()));
        return false;
    }
    m_take.clear();
    m_poll.start();
    return true;
}

void CoachPart::toggleCoach() {
    if (m_mode == Mode::Take) {
        endTake();
        return;
    }
    if (m_mode == Mode::Calibrating) {
        m_coach->setChecked(false);
        return;
    }
    const QString group = deviceKey(m_settings.value("coach/lastInput").toString());
    const double correctionMs = m_settings.value(group + "correctionMs", 0).toDouble();
    const std::string takePath = m_takePart->beginRecording(correctionMs, latencyText(group));
    if (!startListening({true, correctionMs / 1000}, takePath)) {
        m_takePart->setRecorded({});
        m_coach->setChecked(false);
        return;
    }
    if (!m_listener.takeError().empty()) {
        m_takePart->recordingRefused(QString::fromStdString(m_listener.takeError()));
    }
    m_mode = Mode::Take;
    m_run = Run::None;
    m_coach->setChecked(true);
    PanelControls::show(*m_status, tr("LISTENING: PLAY THE TRACK OR START THE METRONOME"));
}

void CoachPart::toggleReport() {
    m_report->toggle();
    m_reportPane->setVisible(m_report->isChecked());
}

// A fresh take begins with the metronome's first position after a stop, or the first beat of the
// track after it started; a take of the track cut short by the metronome is reported first.
void CoachPart::beginRun(Run run) {
    if (m_run != Run::None) {
        showReport();
    }
    m_take.clear();
    m_run = run;
    m_takePart->runBegins();
}

bool CoachPart::runEnded() const {
    return (m_run == Run::Metronome && !m_metronome.isRunning()) ||
           (m_run == Run::Track && !m_track.playing());
}

void CoachPart::planned(const MetronomeTrainer::Click& click) {
    if (m_mode == Mode::Calibrating) {
        cancelCalibration();  // the metronome's clicks would be heard as the calibration's
        return;
    }
    if (m_mode != Mode::Take) {
        return;
    }
    const bool beginsTake = m_run != Run::Metronome;
    if (beginsTake) {
        beginRun(Run::Metronome);
    }
    const Coach::GridPoint point{0,
                                 click.bar,
                                 click.beat,
                                 click.subdivision,
                                 click.sounds,
                                 click.kind == MetronomeTrainer::Kind::Accent};
    m_listener.addGridPoint(click.due + m_output.heardAfter(), point, beginsTake);
}

// While the metronome rests, the grid is the beats of the track that plays, as they are heard,
// and the subdivisions its click divides them into: the click, on or off, changes nothing but
// what the microphone hears.
void CoachPart::followTrack() {
    if (m_metronome.isRunning()) {
        return;
    }
    for (const auto& coming : m_track.takeComingBeats()) {
        const bool beginsTake = m_run != Run::Track;
        if (beginsTake) {
            beginRun(Run::Track);
        }
        const TrackTimeline::BeatPlayed& beat = coming.beat;
        Coach::GridPoint point{0,
                               beat.bar,
                               beat.beatInBar,
                               beat.subdivision,
                               true,
                               beat.beatInBar == 0 && beat.subdivision == 0};
        point.beatSeconds = beat.beatSeconds;
        point.clicked = beat.clicked;
        m_listener.addGridPoint(coming.heardAt, point, beginsTake);
    }
}

void CoachPart::poll() {
    if (m_listener.state() == CaptureStream::State::Failed) {
        const QString error = QString::fromStdString(m_listener.error());
        m_mode == Mode::Calibrating ? endCalibration() : endTake();
        PanelControls::show(*m_status, error);
        return;
    }
    while (const auto note = m_listener.takeNote()) {
        m_take.push_back(*note);
        if (m_mode == Mode::Take) {
            showMark(*note);
        }
    }
    if (m_mode == Mode::Calibrating) {
        sendCalibrationClicks();
        if (m_clicksSent == m_calibrationClicks.size() &&
            Clock::now() > m_calibrationClicks.back() + kLastNoteWait) {
            endCalibration();
        }
    } else if (m_mode == Mode::Take && runEnded()) {
        m_run = Run::None;
        showReport();
    } else if (m_mode == Mode::Take) {
        followTrack();
        PanelControls::show(*m_status,
                            m_run == Run::None
                                ? tr("LISTENING: PLAY THE TRACK OR START THE METRONOME")
                                : tr("LISTENING: %n NOTES", "", static_cast<int>(m_take.size())));
    }
}

void CoachPart::showMark(const Coach::NoteTiming& note) {
    const QString side = std::abs(note.offsetMs) < 2 ? tr("ON")
                         : note.offsetMs < 0         ? tr("EARLY")
                                                     : tr("LATE");
    PanelControls::show(*m_mark, QString("%1 %2").arg(signedMs(note.offsetMs, 0), side));
    m_markFade.start(kMarkShownMs);
}

void CoachPart::showReport() {
    const auto parts = Coach::reportTake(m_take);
    m_plot->setNotes(m_take);
    m_reportText->setText(reportText(parts));
    m_reportText->setAccessibleName(m_reportText->text());
    m_report->setChecked(true);
    m_reportPane->show();
    m_takePart->setReport(reportFileText(parts), tempoText(parts));
}

// The take in the making ends with the listening, its run of the grid too.
void CoachPart::endTake() {
    auto recorded = m_listener.stop();
    m_poll.stop();
    m_mode = Mode::Off;
    m_coach->setChecked(false);
    if (!m_take.empty() || m_run != Run::None) {
        showReport();
    }
    m_run = Run::None;
    m_takePart->setRecorded(std::move(recorded));
    showLatency();
}

void CoachPart::calibrate(bool byTaps) {
    if (m_mode != Mode::Off) {
        return;
    }
    if (m_metronome.isRunning()) {
        m_metronome.imgBPMStop_Click();
    }
    if (!startListening({false, 0})) {
        return;
    }
    m_mode = Mode::Calibrating;
    m_byTaps = byTaps;
    m_calibrationClicks.clear();
    const auto first = Clock::now() + kCalibrationLead;
    for (int i = 0; i < kCalibrationClicks; ++i) {
        m_calibrationClicks.push_back(first + i * kCalibrationSpacing);
    }
    m_clicksSent = 0;
    PanelControls::show(*m_status, byTaps ? tr("CALIBRATING: TAP OR PICK WITH THE CLICKS")
                                          : tr("CALIBRATING: QUIET PLEASE"));
}

// Each click goes out a little ahead with its due time, as the metronome's do, and its grid
// position with it.
void CoachPart::sendCalibrationClicks() {
    const auto now = Clock::now();
    for (; m_clicksSent < m_calibrationClicks.size() &&
           m_calibrationClicks[m_clicksSent] - now < kSendAhead;
         ++m_clicksSent) {
        const auto due = m_calibrationClicks[m_clicksSent];
        m_output.noteOn(kClickChannel, Metronome::kClickNote, kCalibrationVelocity, due);
        m_listener.addGridPoint(due + m_output.heardAfter(),
                                {0, static_cast<long>(m_clicksSent), 0, 0, true});
    }
}

void CoachPart::stopCalibrating() {
    m_listener.stop();
    m_poll.stop();
    m_mode = Mode::Off;
}

void CoachPart::endCalibration() {
    stopCalibrating();
    std::vector<double> offsets;
    for (const auto& note : m_take) {
        if (std::abs(note.offsetMs) <= kCalibrationReachMs) {
            offsets.push_back(note.offsetMs);
        }
    }
    const auto result = Coach::calibrate(offsets, kCalibrationClicks);
    if (!result.good) {
        showLatency();
        PanelControls::show(*m_status, tr("%1: THE LAST CALIBRATION IS KEPT")
                                           .arg(QString::fromStdString(result.problem).toUpper()));
        return;
    }
    const QString device = QString::fromStdString(m_listener.sourceName());
    const double inputMs = m_listener.inputLatencyMs() + result.correctionMs;
    const std::chrono::duration<double, std::milli> output = m_output.heardAfter();
    const QString group = deviceKey(device);
    m_settings.setValue("coach/lastInput", device);
    m_settings.setValue(group + "correctionMs", result.correctionMs);
    m_settings.setValue(group + "spreadMs", result.spreadMs);
    m_settings.setValue(group + "inputMs", inputMs);
    m_settings.setValue(group + "roundTripMs", output.count() + inputMs);
    m_settings.setValue(group + "byTaps", m_byTaps);
    showLatency();
}

void CoachPart::cancelCalibration() {
    stopCalibrating();
    showLatency();
    PanelControls::show(*m_status, tr("CALIBRATION STOPPED: THE LAST CALIBRATION IS KEPT"));
}

void CoachPart::showLatency() {
    const QString group = deviceKey(m_settings.value("coach/lastInput").toString());
    if (!m_settings.contains(group + "correctionMs")) {
        PanelControls::show(*m_status, tr("NOT CALIBRATED: B (SPEAKERS) OR N (HEADPHONES)"));
        return;
    }
    PanelControls::show(*m_status,
                        tr("ROUND TRIP %1 MS, INPUT %2 MS (\u00b1%3)")
                            .arg(m_settings.value(group + "roundTripMs").toDouble(), 0, 'f', 1)
                            .arg(m_settings.value(group + "inputMs").toDouble(), 0, 'f', 1)
                            .arg(m_settings.value(group + "spreadMs").toDouble(), 0, 'f', 1));
}
