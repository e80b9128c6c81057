#include "practice/CoachTake.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextStream>
#include <QWidget>
#include <utility>

#include "app/ScreenUnits.h"
#include "coach/TakeMix.h"
#include "mp3/QtFileDialog.h"

namespace {

constexpr const char* kTakeFile = "coach-take.wav";
constexpr const char* kMixPattern = "take-*.wav";
constexpr const char* kWavFilter = "WAV audio|*.wav";

QRect at(const ScreenUnits& u, int x, int y, int width, int height) {
    return u.toPixels(x * 15, y * 15, width * 15, height * 15);
}

QString pathOf(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string pathOf(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString lengthText(double seconds) {
    const int whole = static_cast<int>(seconds);
    return QString("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QChar('0'));
}

QString endingText(const Coach::RecordedTake& take) {
    using Ending = Coach::RecordedTake::Ending;
    switch (take.ending) {
        case Ending::Full:
            return CoachTake::tr(", THE FIRST HOUR");
        case Ending::Overrun:
            return CoachTake::tr(", CUT SHORT: THE DISK DID NOT KEEP UP");
        case Ending::WriteFailed:
            return CoachTake::tr(", CUT SHORT: %1")
                .arg(QString::fromStdString(take.error).toUpper());
        case Ending::Stopped:
            break;
    }
    return {};
}

}  // namespace

CoachTake::CoachTake(QWidget& page, const ScreenUnits& u, PanelControls::PageKeys& keys,
                     std::function<void()> endListening)
    : QObject(&page),
      m_endListening(std::move(endListening)),
      m_dialog(std::make_unique<QtFileDialog>(&page, tr("Keep the take"))),
      m_folder(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + "/coach") {
    m_play = PanelControls::button(page, u, tr("PLAY TAKE"), "coachPlayTake",
                                   tr("Play the last take back: the guitar with the click (T)"),
                                   at(u, 16, 285, 56, 12));
    m_keep = PanelControls::button(page, u, tr("KEEP TAKE"), "coachKeepTake",
                                   tr("Keep the last take as a WAV, its report beside it (K)"),
                                   at(u, 74, 285, 56, 12));
    m_shown = PanelControls::display(page, u, "coachTake",
                                     tr("The last take recorded while the coach listened"),
                                     at(u, 132, 285, 150, 12));
    connect(m_play, &QPushButton::clicked, this, &CoachTake::play);
    connect(m_keep, &QPushButton::clicked, this, &CoachTake::keep);
    keys.add(Qt::Key_T, [this] { play(); });
    keys.add(Qt::Key_K, [this] { keep(); });
    enable(false);
    tell(tr("NO TAKE"));
}

CoachTake::~CoachTake() {
    if (m_mixer.joinable()) {
        m_mixer.join();
    }
}

void CoachTake::setFileDialog(std::unique_ptr<FileDialog> dialog) {
    m_dialog = std::move(dialog);
}

std::string CoachTake::beginRecording(double correctionMs, const QString& latency) {
    if (m_mixer.joinable()) {
        m_mixer.join();
    }
    ++m_generation;
    m_afterMix = {};
    m_take = {};
    m_recording = true;
    m_report.clear();
    m_mixPath.clear();
    m_correctionMs = correctionMs;
    m_latency = latency;
    enable(false);
    tell(tr("RECORDING"));
    QDir().mkpath(m_folder);
    return pathOf(m_folder + "/" + kTakeFile);
}

void CoachTake::recordingRefused(const QString& why) {
    m_recording = false;
    tell(tr("NOT RECORDED: %1").arg(why.toUpper()));
}

void CoachTake::runBegins() {
    if (m_recording) {
        m_report.clear();
        enable(false);
        tell(tr("RECORDING"));
    }
}

void CoachTake::setReport(const QString& report, const QString& tempo) {
    if (!m_recording) {
        return;
    }
    m_report = report;
    m_tempo = tempo;
    m_ended = QDateTime::currentDateTime();
    enable(true);
    tell(tr("TAKE READY: T PLAYS IT, K KEEPS IT"));
}

void CoachTake::setRecorded(Coach::RecordedTake take) {
    if (!m_recording) {
        return;
    }
    m_recording = false;
    m_take = std::move(take);
    const bool ready = !m_report.isEmpty() && !m_take.grid.empty();
    enable(ready);
    if (!ready) {
        tell(m_take.frames == 0 ? tr("NO TAKE") : tr("NO TAKE: NO METRONOME OR TRACK RAN"));
        return;
    }
    tell(summary());
}

QString CoachTake::summary() const {
    const double seconds = m_take.grid.back().at - m_take.grid.front().at;
    return tr("TAKE %1%2").arg(lengthText(seconds), endingText(m_take));
}

void CoachTake::play() {
    if (readyToMix()) {
        whenMixed([this] { emit playWanted(m_mixPath); });
    }
}

void CoachTake::keep() {
    if (readyToMix()) {
        whenMixed([this] { keepMixed(); });
    }
}

// The listening ends first; the take it leaves may still be none (no click was recorded).
bool CoachTake::readyToMix() {
    if (!m_play->isEnabled()) {
        return false;
    }
    m_endListening();
    return m_play->isEnabled();
}

void CoachTake::keepMixed() {
    const QString name = QFileInfo(pathOf(m_mixPath)).fileName();
    const QString folder = m_keptPath.isEmpty() ? QDir::homePath() : QFileInfo(m_keptPath).path();
    m_dialog->Filter(kWavFilter);
    QString chosen = pathOf(m_dialog->ShowSave(pathOf(folder + "/" + name)));
    if (chosen.isEmpty()) {
        return;
    }
    if (!chosen.endsWith(".wav", Qt::CaseInsensitive)) {
        chosen += ".wav";
    }
    QFile::remove(chosen);  // the dialog has asked before a file is overwritten
    if (!QFile::copy(pathOf(m_mixPath), chosen) || !writeReport(chosen)) {
        tell(tr("NOT KEPT: %1 CANNOT BE WRITTEN").arg(QFileInfo(chosen).fileName()));
        return;
    }
    m_keptPath = chosen;
    tell(tr("KEPT AS %1").arg(QFileInfo(chosen).fileName()));
}

// Mixed once per take, at the first call for it; only the last take's mix stays in the cache.
void CoachTake::whenMixed(std::function<void()> then) {
    if (!m_mixPath.empty()) {
        then();
        return;
    }
    m_afterMix = std::move(then);
    if (m_mixer.joinable()) {
        return;  // on its way
    }
    QDir folder(m_folder);
    for (const QString& old : folder.entryList({kMixPattern}, QDir::Files)) {
        folder.remove(old);
    }
    const QString path = folder.filePath("take-" + m_ended.toString("yyyy-MM-dd-HHmmss") + ".wav");
    enable(false);
    tell(tr("MIXING THE TAKE"));
    m_mixer = std::thread(
        [this, take = m_take, correction = m_correctionMs / 1000, path, generation = m_generation] {
            Coach::TakeMix mix;
            std::string error;
            const bool mixed = Coach::renderTakeMix(take, correction, pathOf(path), mix, error);
            QMetaObject::invokeMethod(
                this,
                [this, generation, mixed, path, error = QString::fromStdString(error)] {
                    mixDone(generation, mixed, path, error);
                },
                Qt::QueuedConnection);
        });
}

void CoachTake::mixDone(int generation, bool mixed, const QString& path, const QString& error) {
    if (generation != m_generation) {
        return;  // a fresh take has begun meanwhile
    }
    m_mixer.join();
    enable(true);
    if (!mixed) {
        m_afterMix = {};
        tell(tr("THE TAKE CANNOT BE MIXED: %1").arg(error.toUpper()));
        return;
    }
    m_mixPath = pathOf(path);
    tell(summary());
    if (const auto then = std::exchange(m_afterMix, {})) {
        then();
    }
}

bool CoachTake::writeReport(const QString& wavPath) const {
    const QFileInfo wav(wavPath);
    QFile file(wav.path() + "/" + wav.completeBaseName() + ".txt");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        return false;
    }
    QTextStream out(&file);
    out << tr("RZ77 timing coach: %1").arg(wav.fileName()) << "\n"
        << tr("Date: %1").arg(m_ended.toString("yyyy-MM-dd HH:mm:ss")) << "\n"
        << tr("Tempo: %1").arg(m_tempo) << "\n"
        << tr("Latency: %1").arg(m_latency) << "\n"
        << m_report << "\n";
    out.flush();
    return file.error() == QFileDevice::NoError;
}

void CoachTake::enable(bool on) {
    m_play->setEnabled(on);
    m_keep->setEnabled(on);
}

void CoachTake::tell(const QString& text) {
    PanelControls::show(*m_shown, text);
}
