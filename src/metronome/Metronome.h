#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "common/BeatClock.h"

class DragPicture;
class GridTicker;
class HitArea;
class QLabel;
class QLineEdit;
class frmMain;
struct MainState;

// The metronome on the main window: start and stop, the tempo slider, the tempo display that
// can be clicked to type a tempo, and the click on channel 10.
class Metronome : public QObject {
    Q_OBJECT
public:
    using Now = std::function<BeatClock::TimePoint()>;

    explicit Metronome(frmMain& window, Now now = BeatClock::Clock::now);

    void imgBPMPlay_Click();
    void imgBPMStop_Click();
    void tmrBPM_Timer();
    void imgBPMslider_MouseMove(int16_t Button, int16_t Shift, float X, float Y);
    void lblBPM_Click();
    void txtBPM_KeyPress(int16_t KeyAscii);

    // The time between clicks the metronome runs at, in milliseconds.
    int beatInterval() const;
    float knobLeftTwips() const { return m_knobLeftTwips; }

    QTimer tmrBPM;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void addShortcuts(HitArea* play, HitArea* stop);
    void stepTempo(int change);
    void setBeatInterval(int milliseconds);

    frmMain& m_window;
    MainState& m_state;
    GridTicker* m_ticker;
    float m_knobLeftTwips;
    DragPicture* imgBPMslider = nullptr;
    QLabel* lblBPM = nullptr;
    QLineEdit* txtBPM = nullptr;
};
