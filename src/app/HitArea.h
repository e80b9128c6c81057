#pragma once

#include <QWidget>

// An invisible click area laid over a skin that draws the button beneath it. It names itself
// for assistive technology and explains itself in a tooltip.
class HitArea : public QWidget {
    Q_OBJECT
public:
    HitArea(QWidget* parent, const QString& objectName, const QString& accessibleName,
            const QString& toolTip, const QRect& geometry);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};
