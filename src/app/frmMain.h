#pragma once

#include <QTimer>
#include <QWidget>

#include "app/AppEnvironment.h"
#include "app/MainState.h"
#include "app/ShortcutKeys.h"
#include "app/WindowOutline.h"

class MainMenu;
class SkinnedWindow;

// The skinned main window: its state record, timers, outline, moving by the body, and the
// minimise and exit buttons, the context menu and the keyboard shortcuts. The tools on it add
// their own controls and keys.
class frmMain : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(AppEnvironment environment, QWidget* parent = nullptr);
    ~frmMain() override;

    QRegion MakeRegion(float scaleX, float scaleY, int16_t offsetX, int16_t offsetY);

    void Form_Load();
    void Form_Unload();
    void Form_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void imgExit_Click();
    void imgMin_Click();

    const AppEnvironment& environment() const { return m_environment; }
    ShortcutKeys& shortcuts() { return m_shortcuts; }
    MainMenu& contextMenu() { return *m_menu; }

    // A display whose lettering turns red, with the error as its tooltip, while the MIDI output
    // keeps failing after its first report.
    void addTroubleDisplay(QWidget* display);
    void showMidiTrouble(const QString& text);

    MainState state;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setUpControls();
    void applyOutline();
    void loadSettings();
    void setUpMenu();

    AppEnvironment m_environment;
    SkinnedWindow* m_skin;
    QList<QWidget*> m_troubleDisplays;
    ShortcutKeys m_shortcuts;
    MainMenu* m_menu = nullptr;
};
