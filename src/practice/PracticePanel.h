#pragma once

#include <QSettings>
#include <QWidget>
#include <vector>

class MainWindowHost;
class Metronome;
class NoteOutput;
class QPushButton;
class SkinnedWindow;
class TrackPage;
class TrackPlaybackControl;
class Tuner;
struct ReferenceVoice;

// A second skinned window beside the main window, docked to its right edge and moving with it,
// for the practice tools. Opened and closed by F2 and the menu's "Practice…"; whether it was open
// is kept in practice.conf beside the settings file, never in rz77.rz. Its pages, one shown at a
// time under tabs in its header: the backing track, the metronome, the listening tuner and the
// track's sections. A file dropped on the panel or the main window opens on the track page.
class PracticePanel : public QWidget {
    Q_OBJECT
public:
    PracticePanel(MainWindowHost& main, TrackPlaybackControl& track, Metronome& metronome,
                  Tuner& tuner, ReferenceVoice& voice, NoteOutput& output);

    void toggle();
    void showPage(int index);
    TrackPage& trackPage() { return *m_trackPage; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setOpen(bool open);
    void dock();
    void addPage(QWidget* page, const QString& skin, const QString& tab, const QRect& tabAt);

    struct Page {
        QWidget* widget;
        QString skin;
        QPushButton* tab;
    };

    MainWindowHost& m_host;
    QWidget& m_main;
    SkinnedWindow* m_skin;
    QSettings m_settings;
    TrackPage* m_trackPage;
    std::vector<Page> m_pages;
    int m_page = 0;
};
