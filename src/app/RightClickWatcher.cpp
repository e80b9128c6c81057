#include "app/RightClickWatcher.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

RightClickWatcher::RightClickWatcher(QWidget& window) : QObject(&window), m_window(window) {
    // Watching the application sees presses that the window's controls take for themselves.
    qApp->installEventFilter(this);
}

bool RightClickWatcher::eventFilter(QObject* watched, QEvent* event) {
    const bool press = event->type() == QEvent::MouseButtonPress;
    if (!press && event->type() != QEvent::MouseButtonRelease) {
        return false;
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::RightButton || !isPlainPartOfWindow(watched)) {
        return false;
    }
    const QPoint at = mouse->globalPosition().toPoint();
    if (press) {
        m_pressedAt = at;
    } else if (m_pressedAt) {
        const bool still =
            (at - *m_pressedAt).manhattanLength() < QApplication::startDragDistance();
        // A release seen again on its way up to the parent widgets is the same click.
        m_pressedAt.reset();
        if (still) {
            emit clicked(at);
        }
    }
    return false;
}

// Text entries keep their own editing menu.
bool RightClickWatcher::isPlainPartOfWindow(QObject* watched) const {
    const auto* widget = qobject_cast<QWidget*>(watched);
    return widget != nullptr && widget->window() == &m_window &&
           !widget->testAttribute(Qt::WA_InputMethodEnabled);
}
