#pragma once

#include <QPoint>
#include <QSvgRenderer>
#include <QTimer>
#include <QWidget>
#include <optional>

#include "AppEnvironment.h"
#include "MainState.h"
#include "ShortcutKeys.h"
#include "WindowOutline.h"

class MainMenu;

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

    MainState state;
    QTimer tmrLoopSpeed;
    QTimer tmrBPM;
    QTimer tmrNote;
    QTimer tmrInfoScroll;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void setUpTimers();
    void setUpControls();
    void applyOutline();
    void loadSettings();
    void setUpMenu();

    AppEnvironment m_environment;
    QSvgRenderer m_skin;
    ShortcutKeys m_shortcuts;
    MainMenu* m_menu = nullptr;
    bool m_movingByHand = false;
    QPoint m_grabOffset;
    // A right-button press waits here: it becomes a move once the pointer leaves the click's spot.
    std::optional<QPoint> m_rightPressAt;
};
