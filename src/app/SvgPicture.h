#pragma once

#include <QSvgRenderer>
#include <QWidget>

// An image control showing vector art, crisp at any device pixel ratio. The art is drawn at
// its natural size from the left edge, so a picture narrower than its art shows its left part.
class SvgPicture : public QWidget {
    Q_OBJECT
public:
    SvgPicture(QWidget* parent, const QString& objectName, const QString& resource,
               const QRect& geometry);

    void setPicture(const QString& resource);
    QString picture() const { return m_resource; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_resource;
    QSvgRenderer m_renderer;
    QSize m_artSize;
};
