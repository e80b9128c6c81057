#pragma once

#include <QSettings>
#include <QWidget>

class SkinnedWindow;
class TrackPage;
class TrackPlaybackControl;
class frmMain;

// A second skinned window beside the main window, docked to its right edge and moving with it,
// for the practice tools. Opened and closed by F2 and the menu's "Practice…"; whether it was open
// is kept in practice.conf beside the settings file, never in rz77.rz.
class PracticePanel : public QWidget {
    Q_OBJECT
public:
    PracticePanel(frmMain& main, TrackPlaybackControl& track);

    void toggle();
    TrackPage& trackPage() { return *m_trackPage; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setOpen(bool open);
    void dock();

    frmMain& m_main;
    SkinnedWindow* m_skin;
    QSettings m_settings;
    TrackPage* m_trackPage;
};
