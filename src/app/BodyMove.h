#pragma once

#include <QPoint>

class QWidget;

// Moves a frameless window by a press on its body: the window system's own move where it offers
// one, otherwise the window follows the pointer until the button is released.
class BodyMove {
public:
    explicit BodyMove(QWidget& window) : m_window(window) {}

    // at: where the button went down, in the window's coordinates.
    void start(QPoint at);
    void follow(QPoint globalPointer);
    void stop() { m_byHand = false; }

private:
    QWidget& m_window;
    bool m_byHand = false;
    QPoint m_grabOffset;
};
