#pragma once

#include <QTimer>
#include <QWidget>

#include "app/AppEnvironment.h"
#include "app/MainState.h"
#include "app/MainWindowHost.h"
#include "app/ShortcutKeys.h"
#include "app/WindowOutline.h"
#include "midi/ReferenceVoice.h"

class MainMenu;
class MidiOutput;
class SkinnedWindow;

// The skinned main window: its start-up settings, the reference voice, outline, moving by the
// body, and the minimise and exit buttons, the context menu and the keyboard shortcuts. It opens
// the MIDI output at its load and closes it at its unload. The tools on it add their own controls
// and keys through the host's services.
class frmMain : public QWidget, public MainWindowHost {
    Q_OBJECT
public:
    frmMain(AppEnvironment environment, MidiOutput& output, QWidget* parent = nullptr);
    ~frmMain() override;

    QRegion MakeRegion(float scaleX, float scaleY, int16_t offsetX, int16_t offsetY);

    void Form_Load();
    void Form_Unload();
    void Form_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) override;
    void imgExit_Click();
    void imgMin_Click();

    QWidget& widget() override { return *this; }
    const AppEnvironment& environment() const override { return m_environment; }
    ShortcutKeys& shortcuts() override { return m_shortcuts; }
    MainMenu& contextMenu() override { return *m_menu; }
    void addTroubleDisplay(QWidget* display) override;
    int16_t startupSound() const override { return state.Sound; }
    void showMidiTrouble(const QString& text);

    MainState state;
    ReferenceVoice voice;
    QRegion MainRegion;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setUpControls();
    void applyOutline();
    void loadSettings();
    void selectInstrument(int16_t channel, int16_t program);
    void setUpMenu();

    AppEnvironment m_environment;
    MidiOutput& m_output;
    SkinnedWindow* m_skin;
    QList<QWidget*> m_troubleDisplays;
    ShortcutKeys m_shortcuts;
    MainMenu* m_menu = nullptr;
};
