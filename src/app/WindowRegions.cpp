#include "app/WindowRegions.h"

#include <QPainterPath>
#include <QPolygon>

QRegion polygonRegion(const std::vector<OutlinePoint>& points) {
    QPolygon polygon;
    for (const OutlinePoint& p : points) {
        polygon << QPoint(p.x, p.y);
    }
    return QRegion(polygon, Qt::OddEvenFill);
}

QRegion roundRectRegion(const RoundRect& r) {
    QPainterPath path;
    path.addRoundedRect(QRectF(r.left, r.top, r.right - r.left, r.bottom - r.top),
                        r.ellipseWidth / 2.0, r.ellipseHeight / 2.0);
    return QRegion(path.toFillPolygon().toPolygon(), Qt::OddEvenFill);
}
