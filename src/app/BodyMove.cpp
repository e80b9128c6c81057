#include "BodyMove.h"

#include <QWidget>
#include <QWindow>

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
