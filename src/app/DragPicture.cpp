#include "DragPicture.h"

#include <QMouseEvent>

namespace {

int16_t buttonMask(Qt::MouseButtons buttons) {
    return static_cast<int16_t>((buttons & Qt::LeftButton ? 1 : 0) |
                                (buttons & Qt::RightButton ? 2 : 0) |
                                (buttons & Qt::MiddleButton ? 4 : 0));
}

int16_t shiftMask(Qt::KeyboardModifiers modifiers) {
    return static_cast<int16_t>((modifiers & Qt::ShiftModifier ? 1 : 0) |
                                (modifiers & Qt::ControlModifier ? 2 : 0) |
                                (modifiers & Qt::AltModifier ? 4 : 0));
}

}  // namespace

DragPicture::DragPicture(QWidget* parent, const QString& objectName, const QString& resource,
                         const QRect& geometry, const ScreenUnits& units)
    : SvgPicture(parent, objectName, resource, geometry), m_units(units) {
    setCursor(Qt::SizeHorCursor);
}

// Taking the press keeps it from reaching the window body, which would start a window move.
void DragPicture::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void DragPicture::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    emit mouseMoved(buttonMask(event->buttons()), shiftMask(event->modifiers()),
                    static_cast<float>(at.x() * m_units.twipsPerPixelX),
                    static_cast<float>(at.y() * m_units.twipsPerPixelY));
}
