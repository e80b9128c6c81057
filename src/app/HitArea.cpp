#include "app/HitArea.h"

#include <QMouseEvent>

HitArea::HitArea(QWidget* parent, const QString& objectName, const QString& accessibleName,
                 const QString& toolTip, const QRect& geometry)
    : QWidget(parent) {
    setObjectName(objectName);
    setAccessibleName(accessibleName);
    setToolTip(toolTip);
    setCursor(Qt::PointingHandCursor);
    setGeometry(geometry);
}

// Taking the press keeps it from reaching the window body, which would start a window move.
void HitArea::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void HitArea::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}
