#include "practice/TrackPage.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <cmath>

#include "app/DisplayLettering.h"
#include "app/ScreenUnits.h"
#include "mp3/QtFileDialog.h"
#include "mp3/TrackPlaybackControl.h"
#include "practice/TrackControls.h"
#include "practice/TrackGrid.h"
#include "practice/TrackOverview.h"

namespace {
constexpr int kRefreshMs = 50;  // the play head moves smoothly enough to follow by eye
constexpr const char* kFileKey = "track/file";
constexpr const char* kAKey = "track/a";
constexpr const char* kBKey = "track/b";
constexpr const char* kLoopKey = "track/loop";
// A marker kept in practice.conf further on than this is taken for damage, not for a place.
constexpr double kLatestMarkerSeconds = 1e6;
constexpr const char* kAudioFilter =
    "Audio files (MP3, M4A, FLAC, WAV, AIFF, Ogg, Opus)|*.mp3;*.m4a;*.aac;*.mp4;*.flac;*.wav;"
    "*.aif;*.aiff;*.aifc;*.ogg;*.oga;*.opus|All files|*";

// The loops of whole bars, and the moves of a loop, each on the key of its number.
constexpr int kBarLoops[] = {1, 2, 4, 8};
constexpr int kLoopBackKey = Qt::Key_9;
constexpr int kLoopOnKey = Qt::Key_0;

// A marker as practice.conf keeps it, if it is a time on a track.
std::optional<double> storedMarker(const QVariant& value) {
    bool number = false;
    const double seconds = value.toDouble(&number);
    if (!number || !std::isfinite(seconds) || seconds < 0 || seconds > kLatestMarkerSeconds) {
        return std::nullopt;
    }
    return seconds;
}

}  // namespace

TrackPage::TrackPage(QWidget& panel, TrackPlaybackControl& track, QSettings& settings,
                     const ScreenUnits& u)
    : QWidget(&panel),
      m_track(track),
      m_settings(settings),
      m_overview(new TrackOverview(this)),
      m_position(new QLabel(this)),
      m_loopShown(new QLabel(this)) {
    setObjectName("trackPage");
    setGeometry(panel.rect());
    setFocusPolicy(Qt::StrongFocus);
    m_overview->setObjectName("trackOverview");
    m_overview->setGeometry(u.toPixels(270, 780, 3930, 1140));
    m_overview->setAccessibleName(tr("Backing track"));
    m_overview->setToolTip(tr("The whole backing track: click to go there (Left, Right, Home)"));
    connect(m_overview, &TrackOverview::seekRequested, this, &TrackPage::seekTo);
    connect(m_overview, &TrackOverview::loopChosen, this, [this](double a, double b) {
        const bool exact = QGuiApplication::keyboardModifiers() & Qt::ShiftModifier;
        applyLoop(m_markers.setBoth(m_grid->snapped(a, exact), m_grid->snapped(b, exact)));
    });

    m_position->setObjectName("trackPosition");
    m_position->setGeometry(u.toPixels(270, 2265, 1740, 180));
    m_position->setStyleSheet(displayLettering(u.fontPixels(10), "0 2px"));
    // No name of its own: a screen reader then reads the position shown.
    m_position->setAccessibleDescription(tr("Position in the backing track and its length"));
    m_position->setToolTip(tr("Position and length of the backing track"));

    m_loopShown->setObjectName("trackLoop");
    m_loopShown->setGeometry(u.toPixels(270, 2550, 3930, 180));
    m_loopShown->setStyleSheet(displayLettering(u.fontPixels(9), "0 2px"));
    m_loopShown->setAccessibleDescription(tr("The A-B loop"));
    m_loopShown->setToolTip(tr("The A-B loop: [ sets A, ] sets B, \\ turns it on and off"));

    auto* openButton =
        PanelControls::button(*this, u, tr("OPEN"), "trackOpen",
                              tr("Open an audio file: MP3, M4A, FLAC, WAV, AIFF, Ogg or Opus (O)"),
                              u.toPixels(3570, 570, 630, 180));
    connect(openButton, &QPushButton::clicked, this, &TrackPage::openFromDialog);
    m_dialog = std::make_unique<QtFileDialog>(this, tr("Open a backing track"));

    m_controls = new TrackControls(*this, track, settings, u);
    m_grid = new TrackGrid(*this, track, *m_overview, settings, u);
    connect(m_grid, &TrackGrid::gridChanged, this, &TrackPage::followGrid);
    connect(m_grid, &TrackGrid::pitchWanted, m_controls, &TrackControls::setPitch);
    connect(m_grid, &TrackGrid::tunerWanted, this, &TrackPage::tunerWanted);
    addKeys();
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &TrackPage::refresh);
    applyLoop();
    refresh();
}

// A load under way ends before the page: its report back is then dropped with the page's events.
TrackPage::~TrackPage() {
    if (m_loading.joinable()) {
        m_loading.join();
    }
}

void TrackPage::open(const std::string& path) {
    if (trackDecoderNeedsLoading(path)) {
        openOnceLoaded(path);
        return;
    }
    m_openWhenLoaded.clear();  // the choice made last is the one that opens
    m_track.setFile(path);
    if (m_track.decodes()) {
        emit trackOpened(path, m_track.tags());
    }
    refresh();
}

// FFmpeg's libraries take a quarter of a second to load the first time, which would hold the
// windows still: they load on a thread of their own, and the track opens here once they are in.
void TrackPage::openOnceLoaded(const std::string& path) {
    m_openWhenLoaded = path;
    if (m_loading.joinable()) {
        return;  // the load under way opens it
    }
    m_loading = std::thread([this, path] {
        loadTrackDecoders(path);
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_loading.join();
                if (!m_openWhenLoaded.empty()) {
                    open(std::exchange(m_openWhenLoaded, {}));
                }
            },
            Qt::QueuedConnection);
    });
}

void TrackPage::openFromDialog() {
    const std::string before = m_dialog->FileName();
    m_dialog->Filter(kAudioFilter);
    m_dialog->ShowOpen();
    // The dialog reports the previous choice after a cancel.
    const std::string chosen = m_dialog->FileName();
    if (!chosen.empty() && chosen != before) {
        open(chosen);
    }
}

void TrackPage::setFileDialog(std::unique_ptr<FileDialog> dialog) {
    m_dialog = std::move(dialog);
}

void TrackPage::seekTo(double seconds) {
    m_track.seek(std::clamp(seconds, 0.0, lengthSeconds()));
    refresh();
}

// Until the overview has read the whole track, as the file tells it.
double TrackPage::lengthSeconds() const {
    const double scanned = m_overview->lengthSeconds();
    return scanned > 0 ? scanned : m_track.estimatedSeconds();
}

void TrackPage::setA() {
    applyLoop(m_markers.setA(m_grid->snapped(m_track.positionSeconds(), false)));
}

void TrackPage::setB() {
    applyLoop(m_markers.setB(m_grid->snapped(m_track.positionSeconds(), false)));
}

void TrackPage::loopBars(int bars) {
    if (const auto& grid = m_grid->grid()) {
        const auto loop = BeatGrids::barsFrom(*grid, m_track.positionSeconds(), bars);
        applyLoop(m_markers.setBoth(loop.from, loop.to));
    }
}

void TrackPage::moveLoop(int direction) {
    const auto& grid = m_grid->grid();
    if (!grid || !m_markers.a() || !m_markers.b()) {
        return;
    }
    const bool wasOn = m_markers.on();
    const auto moved =
        BeatGrids::moved(*grid, {*m_markers.a(), *m_markers.b()}, direction, lengthSeconds());
    if (moved && m_markers.setBoth(moved->from, moved->to)) {
        if (!wasOn) {
            m_markers.toggle();  // a loop that was off stays off where it went
        }
        applyLoop();
    }
}

void TrackPage::followGrid() {
    showLoop();  // the loop itself stays: the grid may belong to a track the page has not seen
}

void TrackPage::toggleLoop() {
    m_markers.toggle();
    applyLoop();
}

std::optional<std::pair<double, double>> TrackPage::markers() {
    followTrack();
    if (!m_markers.a() || !m_markers.b()) {
        return std::nullopt;
    }
    return std::pair(*m_markers.a(), *m_markers.b());
}

std::optional<std::pair<double, double>> TrackPage::loop() {
    followTrack();
    return m_markers.loop();
}

void TrackPage::setLoop(double a, double b) {
    followTrack();
    applyLoop(m_markers.setBoth(a, b));
}

// A refused marker leaves the loop as it was, with a word why.
void TrackPage::applyLoop(bool placed) {
    m_track.setLoop(m_markers.loop());
    m_overview->setLoop(m_markers.a(), m_markers.b(), m_markers.on());
    showLoop(placed);
    if (!m_file.empty()) {
        m_settings.setValue(kAKey, m_markers.a() ? QVariant(*m_markers.a()) : QVariant());
        m_settings.setValue(kBKey, m_markers.b() ? QVariant(*m_markers.b()) : QVariant());
        m_settings.setValue(kLoopKey, m_markers.on());
    }
}

void TrackPage::showLoop(bool placed) {
    const QString state = !placed          ? tr("TOO SHORT")
                          : m_markers.on() ? tr("LOOP ON")
                                           : tr("LOOP OFF");
    m_loopShown->setText(QString("%1   %2").arg(loopText(), state));
    m_loopShown->setAccessibleName(m_loopShown->text());
}

// "BARS 17-20" for a loop on the grid's bar lines, else where A and B stand.
QString TrackPage::loopText() const {
    const auto& a = m_markers.a();
    const auto& b = m_markers.b();
    if (const auto& grid = m_grid->grid(); grid && a && b) {
        if (const auto bars = BeatGrids::barsOf(*grid, {*a, *b})) {
            return bars->first == bars->last
                       ? tr("BAR %1").arg(bars->first)
                       : tr("BARS %1\u2013%2").arg(bars->first).arg(bars->last);
        }
    }
    const auto mark = [](const char* name, const std::optional<double>& at) {
        return QString("%1 %2").arg(name, at ? QString::fromStdString(formatTrackTime(*at)) : "-");
    };
    return QString("%1   %2").arg(mark("A", a), mark("B", b));
}

void TrackPage::seekBy(double seconds) {
    seekTo(m_track.positionSeconds() + seconds);
}

void TrackPage::addKeys() {
    const auto seek = [this](double seconds) {
        return [this, seconds](const QKeyEvent& event) {
            seekBy(event.modifiers() & Qt::ShiftModifier ? seconds / 5 : seconds);
        };
    };
    m_keys.add(Qt::Key_Left, seek(-5));
    m_keys.add(Qt::Key_Right, seek(5));
    m_keys.add(Qt::Key_Home, [this] { seekTo(m_markers.a().value_or(0)); });
    m_keys.add(Qt::Key_BracketLeft, [this] { setA(); });
    m_keys.add(Qt::Key_BracketRight, [this] { setB(); });
    m_keys.add(Qt::Key_Backslash, [this] { toggleLoop(); });
    m_keys.add(Qt::Key_O, [this] { openFromDialog(); });
    m_controls->addKeys(m_keys);
    m_grid->addKeys(m_keys);
    // The keys of a grid's loops are the page's only while it has a grid: without one the digits
    // stay the main window's strings.
    const auto hasGrid = [this] { return m_grid->grid().has_value(); };
    const auto gridKey = [this, hasGrid](int key, std::function<void()> action) {
        m_keys.addWhile(key, hasGrid, [action = std::move(action)](const QKeyEvent&) { action(); });
    };
    for (const int bars : kBarLoops) {
        gridKey(Qt::Key_0 + bars, [this, bars] { loopBars(bars); });
    }
    gridKey(kLoopBackKey, [this] { moveLoop(-1); });
    gridKey(kLoopOnKey, [this] { moveLoop(1); });
}

bool TrackPage::event(QEvent* event) {
    return m_keys.claim(*event) || QWidget::event(event);
}

void TrackPage::keyPressEvent(QKeyEvent* event) {
    if (!m_keys.press(*event)) {
        QWidget::keyPressEvent(event);
    }
}

void TrackPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    m_refresh.start();
}

void TrackPage::hideEvent(QHideEvent* event) {
    m_refresh.stop();
    QWidget::hideEvent(event);
}

void TrackPage::refresh() {
    followTrack();
    m_grid->refresh();
    m_controls->refresh();
    const double position = m_track.positionSeconds();
    m_overview->setPosition(position);
    const double length = lengthSeconds();
    const QString shown =
        length > 0
            ? QString::fromStdString(formatTrackTime(position) + " / " + formatTrackTime(length))
            : tr("no track");
    if (m_position->text() != shown) {
        m_position->setText(shown);
    }
}

// A new track has no loop yet, but the track last practised gets its loop back.
void TrackPage::followTrack() {
    const std::string file = m_track.loaded() ? m_track.file() : std::string();
    if (file != m_file) {
        m_file = file;
        m_markers.clear();
        m_markers.setLength(m_length = 0);
        if (!file.empty() && m_settings.value(kFileKey).toString().toStdString() == file) {
            const auto a = storedMarker(m_settings.value(kAKey));
            const auto b = storedMarker(m_settings.value(kBKey));
            if (a && b && m_markers.setBoth(*a, *b) &&
                !PanelControls::storedFlag(m_settings, kLoopKey, false)) {
                m_markers.toggle();
            }
        }
        if (!file.empty()) {
            m_settings.setValue(kFileKey, QString::fromStdString(file));
        }
        applyLoop();
    }
    m_overview->showTrack(file);
    if (m_overview->lengthSeconds() != m_length) {  // the scan of the track is done
        m_markers.setLength(m_length = m_overview->lengthSeconds());
        applyLoop();
    }
}
