#pragma once

#include <QPoint>
#include <QSvgRenderer>
#include <QTimer>
#include <QWidget>

#include "AppEnvironment.h"
#include "MainState.h"
#include "WindowOutline.h"

// The skinned main window: its state record, timers, outline, moving by the body, and the
// minimise and exit buttons. The tools on it add their own controls.
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

    // A display whose lettering turns red, with the error as its tooltip, while the MIDI output
    // keeps failing after its first report.
    void addTroubleDisplay(QWidget* display);
    void showMidiTrouble(const QString& text);

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

private:
    void setUpTimers();
    void setUpControls();
    void applyOutline();
    void loadSettings();

    AppEnvironment m_environment;
    QSvgRenderer m_skin;
    QList<QWidget*> m_troubleDisplays;
    bool m_movingByHand = false;
    QPoint m_grabOffset;
};
