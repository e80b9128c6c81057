#pragma once

#include <QMenu>
#include <functional>
#include <string>

class ShortcutKeys;

// The main window's context menu: Setup…, Practice…, Minimise, Keyboard shortcuts…, About RZ77
// and Quit. Setup… and Practice… stay hidden until their windows are connected.
class MainMenu : public QMenu {
    Q_OBJECT
public:
    using Text = std::function<std::string()>;

    MainMenu(QWidget& window, const ShortcutKeys& keys);

    void setSetupHandler(const std::function<void()>& openSetup);
    void setPracticeHandler(const std::function<void()>& togglePanel);
    // Where About finds the sound font in use and the name of the MIDI device open now.
    void setAboutSources(Text soundFontPath, Text openMidiDevice);

    void showShortcuts();
    void showAbout();

    QAction* const setupAction;
    QAction* const practiceAction;
    QAction* const minimiseAction;
    QAction* const shortcutsAction;
    QAction* const aboutAction;
    QAction* const exitAction;

private:
    QWidget& m_window;
    const ShortcutKeys& m_keys;
    Text m_soundFontPath;
    Text m_openMidiDevice;
};
