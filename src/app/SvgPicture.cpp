#include "app/SvgPicture.h"

#include <QPainter>

SvgPicture::SvgPicture(QWidget* parent, const QString& objectName, const QString& resource,
                       const QRect& geometry)
    : QWidget(parent), m_artSize(geometry.size()) {
    setObjectName(objectName);
    setGeometry(geometry);
    setPicture(resource);
}

void SvgPicture::setPicture(const QString& resource) {
    m_resource = resource;
    m_renderer.load(resource);
    update();
}

void SvgPicture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    m_renderer.render(&painter, QRectF(QPointF(0, 0), m_artSize));
}
