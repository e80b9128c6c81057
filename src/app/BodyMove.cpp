#include "app/BodyMove.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

bool BodyMove::takesPress(Qt::MouseButton button, QPoint at) {
    if (button == Qt::RightButton) {
        m_rightPressAt = at;
        return false;
    }
    return true;
}

std::optional<QPoint> BodyMove::rightDragBegins(QPoint at) {
    if (!m_rightPressAt ||
        (at - *m_rightPressAt).manhattanLength() < QApplication::startDragDistance()) {
        return std::nullopt;
    }
    return std::exchange(m_rightPressAt, std::nullopt);
}

void BodyMove::start(QPoint at) {
    QWindow* handle = m_window.windowHandle();
    if (handle != nullptr && handle->startSystemMove()) {
        return;
    }
    m_byHand = true;
    m_grabOffset = m_window.mapToGlobal(at) - m_window.pos();
}

void BodyMove::follow(QPoint globalPointer) {
    if (m_byHand) {
        m_window.move(globalPointer - m_grabOffset);
    }
}

void BodyMove::stop() {
    m_byHand = false;
    m_rightPressAt.reset();
}
