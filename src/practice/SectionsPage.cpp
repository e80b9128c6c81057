#include "practice/SectionsPage.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <type_traits>

#include "app/DisplayLettering.h"
#include "app/ScreenUnits.h"
#include "common/TrackKey.h"
#include "mp3/TrackPlaybackControl.h"
#include "practice/SpeedPlot.h"
#include "practice/TrackControls.h"
#include "practice/TrackPage.h"
#include "practice/TrackPeaks.h"

namespace {

// Often enough for the practice time; what the user does follows the track at once.
constexpr int kFollowMs = 1000;
// A longer wait for a look (a modal dialog held the timer) is not counted as practice.
constexpr double kLongestLookSeconds = 2;
constexpr int kMostRecent = 10;
constexpr int kNumberedSections = 9;
constexpr const char* kRecentKey = "recent/tracks";
constexpr const char* kLogFile = "practice-log.csv";
// The page is designed on the panel's 300 x 307 pixels at 96 dpi and stretched to its rect.
constexpr double kDesignWidth = 300, kDesignHeight = 307;

const char* kListStyle =
    "QListWidget { color: #8CFF64; background: #0E2A12; border: 1px solid #0B0C0E; "
    "font-family: 'DejaVu Sans Mono', monospace; font-weight: bold; font-size: %1px; }"
    "QListWidget::item:selected { background: #2E6B28; color: #FFFFFF; }";
const char* kEntryStyle =
    "QLineEdit { color: #8CFF64; background: #0E2A12; border: 1px solid #FF9F2E; "
    "selection-background-color: #2E6B28; font-family: 'DejaVu Sans Mono', monospace; "
    "font-weight: bold; font-size: %1px; }";
const char* kCaptionStyle =
    "color: %1; background: transparent; font-family: 'DejaVu Sans'; font-weight: %2; "
    "font-size: %3px;";

QString sectionLine(int number, const Section& s) {
    QString line = QString("%1 %2  %3-%4")
                       .arg(number <= kNumberedSections ? QString::number(number) : " ")
                       .arg(QString::fromStdString(s.name))
                       .arg(QString::fromStdString(formatTrackTime(s.a)))
                       .arg(QString::fromStdString(formatTrackTime(s.b)));
    if (s.speedPercent) {
        line += QString("  %1 %").arg(*s.speedPercent);
    }
    if (s.semitones) {
        line += QString("  %1%2 st").arg(*s.semitones > 0 ? "+" : "").arg(*s.semitones);
    }
    return line;
}

bool near(double one, double other) {
    return std::abs(one - other) < 1e-3;
}

}  // namespace

SectionsPage::SectionsPage(QWidget& panel, TrackPlaybackControl& track, TrackPage& trackPage,
                           QSettings& settings, const ScreenUnits& u)
    : QWidget(&panel),
      m_track(track),
      m_trackPage(trackPage),
      m_settings(settings),
      m_units(u),
      m_folder(QFileInfo(settings.fileName()).absolutePath().toStdString()) {
    setObjectName("sectionsPage");
    setGeometry(panel.rect());
    setFocusPolicy(Qt::StrongFocus);
    addKeys();
    m_follow.setInterval(kFollowMs);
    connect(&m_follow, &QTimer::timeout, this, &SectionsPage::follow);
    // Practice is logged whichever page shows, and while the panel is closed; with no track open
    // there is nothing to log, and the program rests until the player (which may outlive the
    // page) opens one.
    m_track.setFileListener([page = QPointer(this)] {
        if (page) {
            page->follow();
        }
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        follow();
        endSession();
    });
    follow();
}

// The player may be gone by now: what it played since the last look was counted at quit.
SectionsPage::~SectionsPage() {
    endSession();
}

void SectionsPage::showEvent(QShowEvent* event) {
    if (m_plot == nullptr) {
        build();
    }
    QWidget::showEvent(event);
}

// Places the page's controls by the design's pixels, stretched to the page's rect.
class SectionsPage::Layout {
public:
    Layout(QWidget& page, const ScreenUnits& units)
        : m_page(page),
          m_units(units),
          m_sx(page.width() / kDesignWidth),
          m_sy(page.height() / kDesignHeight) {}

    template <typename Widget>
    Widget* place(Widget* widget, double x, double y, double w, double h) const {
        widget->setGeometry(QRectF(x * m_sx, y * m_sy, w * m_sx, h * m_sy).toRect());
        return widget;
    }
    // A heading in the skin's orange, or a grey line of keys aligned right.
    void caption(const QString& text, bool heading, double x, double y, double w) const {
        auto* label = new QLabel(text, &m_page);
        label->setStyleSheet(QString(kCaptionStyle)
                                 .arg(heading ? "#FF9F2E" : "#9AA1A8", heading ? "bold" : "normal")
                                 .arg(m_units.fontPixels(heading ? 8 : 7)));
        label->setAlignment(heading ? Qt::AlignLeft : Qt::AlignRight);
        place(label, x, y, w, 11);
    }
    QPushButton* button(const QString& text, const QString& name, const QString& tip,
                        double y) const {
        return place(PanelControls::button(m_page, m_units, text, name, tip, {}), 228, y, 56, 16);
    }
    QListWidget* list(const QString& name, const QString& accessibleName,
                      const QString& tip) const {
        auto* made = new QListWidget(&m_page);
        made->setObjectName(name);
        made->setAccessibleName(accessibleName);
        made->setToolTip(tip);
        made->setFocusPolicy(Qt::NoFocus);  // the page keeps the keys
        made->setStyleSheet(QString(kListStyle).arg(m_units.fontPixels(8)));
        made->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        return made;
    }
    const ScreenUnits& units() const { return m_units; }

private:
    QWidget& m_page;
    const ScreenUnits& m_units;
    double m_sx, m_sy;
};

void SectionsPage::build() {
    const Layout layout(*this, m_units);
    buildSections(layout);
    buildStatus(layout);
    layout.caption(tr("PRACTICE LOG"), true, 18, 170, 120);
    m_plot = layout.place(new SpeedPlot(this), 16, 182, 268, 56);
    m_plot->setObjectName("speedPlot");
    buildRecent(layout);
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        child->setVisible(child != m_nameEntry);
    }
    showSections();
    showRecent();
    tell(m_told);
}

void SectionsPage::buildSections(const Layout& layout) {
    layout.caption(tr("SECTIONS"), true, 18, 37, 80);
    layout.caption(tr("1-9 CHOOSE  A ADD  N NAME  DEL  SHIFT+\u2191\u2193 MOVE"), false, 98, 37,
                   186);
    m_sectionsShown = layout.place(
        layout.list("sections", tr("Sections of the track"),
                    tr("The track's sections: click one, or press its number, to loop it (Up "
                       "and Down for the one before or after)")),
        16, 50, 206, 96);
    connect(m_sectionsShown, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { choose(m_sectionsShown->row(item)); });
    const struct {
        const char* text;
        const char* name;
        const char* tip;
        std::function<void()> action;
    } buttons[] = {
        {"ADD", "addSection", "Add the track page's A-B loop, speed and transpose as a section (A)",
         [this] { addFromLoop(); }},
        {"NAME", "renameSection", "Rename the chosen section (N)", [this] { startRename(); }},
        {"DELETE", "deleteSection", "Delete the chosen section (Delete)",
         [this] { removeChosen(); }},
        {"UP", "sectionUp", "Move the chosen section up (Shift+Up)", [this] { moveChosen(-1); }},
        {"DOWN", "sectionDown", "Move the chosen section down (Shift+Down)",
         [this] { moveChosen(1); }},
    };
    double y = 50;
    for (const auto& b : buttons) {
        connect(layout.button(tr(b.text), b.name, tr(b.tip), y), &QPushButton::clicked, this,
                b.action);
        y += 20;
    }
}

// What the page did last, where the name entry opens over it.
void SectionsPage::buildStatus(const Layout& layout) {
    const int fontPixels = layout.units().fontPixels(8);
    m_status = layout.place(
        PanelControls::display(*this, layout.units(), "sectionStatus",
                               tr("What the sections page did last, or the chosen section"), {}),
        16, 150, 268, 15);
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_status->setStyleSheet(displayLettering(fontPixels, "0 2px") + "background: #0E2A12;");
    m_nameEntry = layout.place(new QLineEdit(this), 16, 150, 268, 15);
    m_nameEntry->setObjectName("sectionName");
    m_nameEntry->setAccessibleName(tr("The chosen section's name"));
    m_nameEntry->setToolTip(tr("Type the section's name: Return keeps it, Escape leaves it"));
    m_nameEntry->setStyleSheet(QString(kEntryStyle).arg(fontPixels));
    m_nameEntry->installEventFilter(this);
    connect(m_nameEntry, &QLineEdit::returnPressed, this, [this] { finishRename(true); });
}

void SectionsPage::buildRecent(const Layout& layout) {
    layout.caption(tr("RECENT TRACKS"), true, 18, 242, 120);
    layout.caption(tr("PAGE UP/DOWN PICK  O OPEN"), false, 138, 242, 146);
    m_recentShown = layout.place(
        layout.list("recentTracks", tr("Recent tracks"),
                    tr("Tracks opened lately: click one to open it (Page Up and Page Down pick "
                       "one, O opens it)")),
        16, 254, 268, 43);
    connect(m_recentShown, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { openRecent(m_recentShown->row(item)); });
}

// Keys the windows have (1 to 6, Up, Down, Page Up, Page Down, O) are the page's only while there
// is something here for them.
void SectionsPage::addKeys() {
    const auto key = [this](int code, std::function<bool()> wanted, auto action) {
        m_keys.addWhile(code, std::move(wanted), [action](const QKeyEvent& event) {
            if constexpr (std::is_invocable_v<decltype(action), const QKeyEvent&>) {
                action(event);
            } else {
                action();
            }
        });
    };
    const auto hasSections = [this] { return !m_sections.empty(); };
    const auto hasChosen = [this] { return m_chosen >= 0; };
    const auto hasRecent = [this] { return !recentTracks().isEmpty(); };
    for (int number = 1; number <= kNumberedSections; ++number) {
        const auto exists = [this, number] {
            followTrack();  // a track opened a moment ago has its own sections
            return number <= static_cast<int>(m_sections.size());
        };
        const auto loop = [this, number] { choose(number - 1); };
        key(Qt::Key_0 + number, exists, loop);
    }
    const auto neighbour = [this](int by) {
        return [this, by](const QKeyEvent& event) {
            if (event.modifiers() & Qt::ShiftModifier) {
                moveChosen(by);
            } else {
                choose(std::clamp(m_chosen + by, 0, static_cast<int>(m_sections.size()) - 1));
            }
        };
    };
    key(Qt::Key_Up, hasSections, neighbour(-1));
    key(Qt::Key_Down, hasSections, neighbour(1));
    m_keys.add(Qt::Key_A, [this] { addFromLoop(); });
    key(Qt::Key_N, hasChosen, [this] { startRename(); });
    key(Qt::Key_Delete, hasChosen, [this] { removeChosen(); });
    const auto pick = [this](int by) {
        return [this, by] {
            const auto rows = static_cast<int>(recentTracks().size());
            m_recentPicked = (m_recentPicked + by + rows) % rows;
            m_recentShown->setCurrentRow(m_recentPicked);
        };
    };
    key(Qt::Key_PageUp, hasRecent, pick(-1));
    key(Qt::Key_PageDown, hasRecent, pick(1));
    key(Qt::Key_O, hasRecent, [this] { openRecent(m_recentPicked); });
}

bool SectionsPage::event(QEvent* event) {
    return m_keys.claim(*event) || QWidget::event(event);
}

void SectionsPage::keyPressEvent(QKeyEvent* event) {
    // A key the name entry passes on (Up, Page Down...) is not the page's while it is open.
    const bool naming = m_nameEntry != nullptr && !m_nameEntry->isHidden();
    if (naming || !m_keys.press(*event)) {
        QWidget::keyPressEvent(event);
    }
}

bool SectionsPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_nameEntry && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        finishRename(false);
        return true;
    }
    if (watched == m_nameEntry && event->type() == QEvent::FocusOut) {
        finishRename(true);
    }
    return false;
}

// The track the player holds, and the session of practice on the chosen section.
void SectionsPage::follow() {
    const auto now = std::chrono::steady_clock::now();
    const double elapsed =
        std::min(kLongestLookSeconds, std::chrono::duration<double>(now - m_lastLook).count());
    m_lastLook = now;
    followTrack();
    followSession(elapsed);
    if (m_file.empty() && !m_counter.underWay()) {
        m_follow.stop();
    } else if (!m_follow.isActive()) {
        m_follow.start();
    }
}

void SectionsPage::followTrack() {
    const std::string file = m_track.loaded() ? m_track.file() : std::string();
    if (file != m_file) {
        endSession();
        openSections(file);
    }
}

void SectionsPage::followSession(double elapsedSeconds) {
    const auto passes = m_track.takePassesHeard();
    const auto before = m_counter.underWay();
    PracticeCounter::Look look{chosenLooping(),
                               m_track.playing(),
                               elapsedSeconds,
                               passes.count,
                               passes.fastest,
                               PracticeLog::today(),
                               PracticeCounter::Clock::now()};
    if (const auto ended = m_counter.look(look)) {
        log(*ended);
    }
    const auto now = m_counter.underWay();
    const auto minutes = [](const auto& session) { return session ? session->seconds / 60 : -1; };
    if (passes.count > 0 || minutes(before) != minutes(now)) {
        showPlot();
    }
}

// The chosen section, while the track page loops it.
std::optional<PracticeSession> SectionsPage::chosenLooping() {
    if (m_chosen < 0 || m_chosen >= static_cast<int>(m_sections.size())) {
        return std::nullopt;
    }
    const Section& s = m_sections[static_cast<size_t>(m_chosen)];
    const auto loop = m_trackPage.loop();
    if (!loop || !near(loop->first, s.a) || !near(loop->second, s.b)) {
        return std::nullopt;
    }
    return PracticeSession{{}, m_key, s.id, 0, std::nullopt, s.name};
}

void SectionsPage::endSession() {
    if (const auto ended = m_counter.end()) {
        log(*ended);
    }
}

void SectionsPage::log(const PracticeSession& session) {
    try {
        PracticeLog::append(m_folder + "/" + kLogFile, session);
    } catch (const std::system_error& error) {
        tell(tr("THE PRACTICE LOG CANNOT BE WRITTEN: %1").arg(error.what()));
    }
    if (session.track == m_key) {
        m_trackLog.push_back(session);
        showPlot();
    }
}

void SectionsPage::openSections(const std::string& file) {
    m_file = file;
    m_key.clear();
    m_sectionsPath.clear();
    m_sections = {};
    m_chosen = -1;
    m_trackLog.clear();
    QString told;
    const auto key = file.empty() ? std::nullopt : trackKey(file);
    if (key) {
        rememberRecent(file);
        m_key = *key;
        const std::string path = m_folder + "/tracks/" + *key + ".sections";
        try {
            auto loaded = SectionsFile::load(path);
            m_sections = std::move(loaded.list);
            m_sectionsPath = path;
            told = tellKeptAside(file, loaded);
        } catch (const std::system_error& error) {
            told = tr("THE SECTIONS CANNOT BE READ: %1").arg(error.what());
        }
        m_trackLog = PracticeLog::read(m_folder + "/" + kLogFile, *key);
    }
    showSections();
    tell(told);
}

// A box says it once, after whatever opened the track is done; the status line keeps it.
QString SectionsPage::tellKeptAside(const std::string& file, const SectionsFile::Loaded& loaded) {
    using State = SectionsFile::Loaded::State;
    if (loaded.state != State::Damaged && loaded.state != State::Newer) {
        return {};
    }
    const bool newer = loaded.state == State::Newer;
    const std::string why = newer ? "were written by a newer RZ77" : "are damaged";
    const std::string text = "The sections kept for \"" + file + "\" " + why +
                             ". They are kept as\n" + loaded.keptAs +
                             "\nand the track starts with no sections.";
    QTimer::singleShot(0, this, [this, text] { m_reporter.show(text); });
    const QString aside = QFileInfo(QString::fromStdString(loaded.keptAs)).fileName();
    return newer ? tr("SECTIONS FROM A NEWER RZ77: KEPT AS %1, STARTED ANEW").arg(aside)
                 : tr("SECTIONS FILE DAMAGED: KEPT AS %1, STARTED ANEW").arg(aside);
}

void SectionsPage::save() {
    if (m_sectionsPath.empty()) {
        tell(tr("NO TRACK WHOSE SECTIONS COULD BE KEPT"));
        return;
    }
    try {
        SectionsFile::save(m_sectionsPath, m_sections);
    } catch (const std::system_error& error) {
        tell(tr("THE SECTIONS CANNOT BE KEPT: %1").arg(error.what()));
    }
}

void SectionsPage::choose(int index) {
    follow();  // what was practised until now is counted
    if (index < 0 || index >= static_cast<int>(m_sections.size())) {
        return;
    }
    endSession();
    m_chosen = index;
    const Section& s = m_sections[static_cast<size_t>(index)];
    m_trackPage.setLoop(s.a, s.b);
    m_trackPage.controls().setSpeedAndTranspose(s.speedPercent, s.semitones);
    m_trackPage.seekTo(s.a);
    showSections();
    tell({});
}

// Speed and transpose are kept with the section only where they are not the track's own.
void SectionsPage::addFromLoop() {
    follow();
    const auto marked = m_trackPage.markers();
    if (m_sectionsPath.empty() || !marked) {
        tell(m_sectionsPath.empty() ? tr("OPEN A TRACK FIRST")
                                    : tr("MARK A AND B ON THE TRACK PAGE FIRST"));
        return;
    }
    const TrackControls& controls = m_trackPage.controls();
    Section section{
        0,
        tr("Section %1").arg(m_sections.nextId()).toStdString(),
        marked->first,
        marked->second,
        controls.speedPercent() != 100 ? std::optional(controls.speedPercent()) : std::nullopt,
        controls.semitones() != 0 ? std::optional(controls.semitones()) : std::nullopt};
    endSession();
    m_chosen = static_cast<int>(m_sections.add(std::move(section)));
    save();
    showSections();
    tell({});
}

void SectionsPage::startRename() {
    if (m_chosen < 0 || m_nameEntry == nullptr) {
        return;
    }
    m_nameEntry->setText(QString::fromStdString(m_sections[static_cast<size_t>(m_chosen)].name));
    m_nameEntry->show();
    m_nameEntry->selectAll();
    m_nameEntry->setFocus();
}

void SectionsPage::finishRename(bool keep) {
    if (m_nameEntry == nullptr || m_nameEntry->isHidden()) {
        return;
    }
    m_nameEntry->hide();  // first: the focus leaving it comes back here
    const QString name = m_nameEntry->text().trimmed();
    if (keep && !name.isEmpty() && m_chosen >= 0) {
        m_sections.rename(static_cast<size_t>(m_chosen), name.toStdString());
        save();
        showSections();
    }
    setFocus();
}

void SectionsPage::removeChosen() {
    follow();
    if (m_chosen < 0) {
        return;
    }
    endSession();
    m_sections.remove(static_cast<size_t>(m_chosen));
    m_chosen = -1;
    save();
    showSections();
    tell({});
}

void SectionsPage::moveChosen(int by) {
    if (m_chosen >= 0 && m_sections.move(static_cast<size_t>(m_chosen), by)) {
        m_chosen += by;
        save();
        showSections();
    }
}

void SectionsPage::showSections() {
    if (m_sectionsShown == nullptr) {
        return;
    }
    m_sectionsShown->clear();
    for (size_t i = 0; i < m_sections.size(); ++i) {
        m_sectionsShown->addItem(sectionLine(static_cast<int>(i) + 1, m_sections[i]));
    }
    m_sectionsShown->setCurrentRow(m_chosen);
    showPlot();
}

void SectionsPage::showPlot() {
    if (m_plot == nullptr) {
        return;
    }
    if (m_chosen < 0) {
        m_plot->showDays({}, {});
        return;
    }
    const Section& s = m_sections[static_cast<size_t>(m_chosen)];
    std::vector<PracticeDay> days = PracticeLog::daysOf(m_trackLog, s.id);
    const auto session = m_counter.underWay();
    if (session && session->track == m_key && session->section == s.id) {  // and today's so far
        if (days.empty() || days.back().day != session->day) {
            days.push_back({session->day, 0, std::nullopt});
        }
        days.back().seconds += session->seconds;
        if (session->fastest) {
            days.back().fastest = std::max(days.back().fastest.value_or(0), *session->fastest);
        }
    }
    m_plot->showDays(QString::fromStdString(s.name), std::move(days));
}

// Empty text shows where the page stands.
void SectionsPage::tell(const QString& text) {
    m_told = text;
    if (m_status == nullptr) {
        return;
    }
    QString shown = text;
    if (shown.isEmpty()) {
        shown = m_file.empty()       ? tr("NO TRACK")
                : m_sections.empty() ? tr("NO SECTIONS: MARK A AND B, THEN ADD")
                : m_chosen < 0       ? tr("%1 SECTIONS").arg(m_sections.size())
                                     : tr("SECTION %1 CHOSEN").arg(m_chosen + 1);
    }
    PanelControls::show(*m_status, shown);
}

void SectionsPage::rememberRecent(const std::string& file) {
    QStringList recent = recentTracks();
    const QString path = QString::fromStdString(file);
    // The program's own files there (a coach's take, replaced by the next) are no user's track.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (!cache.isEmpty() && path.startsWith(cache + '/')) {
        return;
    }
    recent.removeAll(path);
    recent.prepend(path);
    m_settings.setValue(kRecentKey, recent.mid(0, kMostRecent));
    showRecent();
}

QStringList SectionsPage::recentTracks() const {
    return m_settings.value(kRecentKey).toStringList();
}

void SectionsPage::showRecent() {
    m_recentPicked = 0;
    if (m_recentShown == nullptr) {
        return;
    }
    m_recentShown->clear();
    for (const QString& path : recentTracks()) {
        auto* item = new QListWidgetItem(QFileInfo(path).fileName(), m_recentShown);
        item->setToolTip(path);
    }
}

void SectionsPage::openRecent(int row) {
    const QStringList recent = recentTracks();
    if (row < 0 || row >= recent.size()) {
        return;
    }
    m_trackPage.open(recent[row].toStdString());
    follow();
}
