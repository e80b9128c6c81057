#pragma once

#include <QSettings>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <optional>
#include <string>

#include "app/MessageBoxReporter.h"
#include "practice/PanelControls.h"
#include "practice/PracticeCounter.h"
#include "practice/PracticeLog.h"
#include "practice/SectionList.h"

class QLabel;
class QLineEdit;
class QListWidget;
class SpeedPlot;
class TrackPage;
class TrackPlaybackControl;
struct ScreenUnits;

// The practice panel's page for the named loops of the track that is open, kept per track in
// tracks/<key>.sections beside practice.conf, so that a song finds its sections wherever its file
// now lives. A section is chosen by a click or by its number (1 to 9, on the track page too) and
// then loops on the track page, at its speed and transpose where it keeps them. Time practised on
// a section and its fastest whole pass go to the practice log, which the page plots for the
// chosen section. Below, the tracks opened lately, which open again with a click.
class SectionsPage : public QWidget {
    Q_OBJECT
public:
    SectionsPage(QWidget& panel, TrackPlaybackControl& track, TrackPage& trackPage,
                 QSettings& settings, const ScreenUnits& units);
    // A session under way goes to the log, at quit or at the latest here.
    ~SectionsPage() override;

    void choose(int index);
    void addFromLoop();
    void startRename();
    void removeChosen();
    void moveChosen(int by);
    void openRecent(int row);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The page's controls are made when it first shows: until then it costs the program's start
    // no memory beyond what it keeps.
    void showEvent(QShowEvent* event) override;

private:
    class Layout;
    void build();
    void buildSections(const Layout& layout);
    void buildStatus(const Layout& layout);
    void buildRecent(const Layout& layout);
    void addKeys();
    void follow();
    void followTrack();
    void followSession(double elapsedSeconds);
    void openSections(const std::string& file);
    QString tellKeptAside(const std::string& file, const SectionsFile::Loaded& loaded);
    void save();
    void showSections();
    void showPlot();
    void tell(const QString& text);
    void endSession();
    void log(const PracticeSession& session);
    std::optional<PracticeSession> chosenLooping();
    void finishRename(bool keep);
    void rememberRecent(const std::string& file);
    QStringList recentTracks() const;
    void showRecent();

    TrackPlaybackControl& m_track;
    TrackPage& m_trackPage;
    QSettings& m_settings;
    const ScreenUnits& m_units;
    const std::string m_folder;  // practice.conf's
    // Made when the page first shows.
    QListWidget* m_sectionsShown = nullptr;
    QLineEdit* m_nameEntry = nullptr;
    QLabel* m_status = nullptr;
    SpeedPlot* m_plot = nullptr;
    QListWidget* m_recentShown = nullptr;
    QString m_told;
    int m_recentPicked = 0;
    PanelControls::PageKeys m_keys;
    QTimer m_follow;
    std::chrono::steady_clock::time_point m_lastLook = std::chrono::steady_clock::now();
    std::string m_file;
    std::string m_key;           // the track's, by its content
    std::string m_sectionsPath;  // empty while no track is open, or its key cannot be read
    SectionList m_sections;
    int m_chosen = -1;
    std::vector<PracticeSession> m_trackLog;
    PracticeCounter m_counter;
    MessageBoxReporter m_reporter;
};
