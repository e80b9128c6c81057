#pragma once

#include <QPoint>
#include <optional>

class QWidget;

// Moves a frameless window by a press on its body: the window system's own move where it offers
// one, otherwise the window follows the pointer until the button is released. A right-button
// press moves the window only once it is dragged, so that a right click stays free for the menu.
class BodyMove {
public:
    explicit BodyMove(QWidget& window) : m_window(window) {}

    // True when the press starts a move at once (any button but the right one).
    bool takesPress(Qt::MouseButton button, QPoint at);
    // Where a right-button press went down, once the pointer has left the drag distance.
    std::optional<QPoint> rightDragBegins(QPoint at);

    // at: where the button went down, in the window's coordinates.
    void start(QPoint at);
    void follow(QPoint globalPointer);
    void stop();

private:
    QWidget& m_window;
    bool m_byHand = false;
    QPoint m_grabOffset;
    std::optional<QPoint> m_rightPressAt;
};
