#pragma once

#include <QMenu>
#include <functional>
#include <string>

class ShortcutKeys;

// The main window's context menu: Setup…, Minimise, Keyboard shortcuts…, About RZ77 and Exit.
// Setup… stays hidden until the setup dialog is connected.
class MainMenu : public QMenu {
    Q_OBJECT
public:
    using Text = std::function<std::string()>;

    MainMenu(QWidget& window, const ShortcutKeys& keys);

    void setSetupHandler(const std::function<void()>& openSetup);
    // Where About finds the sound font in use and the name of the MIDI device open now.
    void setAboutSources(Text soundFontPath, Text openMidiDevice);

    void showShortcuts();
    void showAbout();

    QAction* const setupAction;
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
