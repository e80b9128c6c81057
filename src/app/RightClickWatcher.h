#pragma once

#include <QObject>
#include <QPoint>
#include <optional>

class QWidget;

// Tells of a right-button click anywhere on a window, its controls included: press and release
// without the pointer leaving the platform's drag distance. A right-button drag is no click, so
// a menu opened on the click can never take an entry from the release of a drag.
class RightClickWatcher : public QObject {
    Q_OBJECT
public:
    explicit RightClickWatcher(QWidget& window);

signals:
    void clicked(const QPoint& globalPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool isPlainPartOfWindow(QObject* watched) const;

    QWidget& m_window;
    std::optional<QPoint> m_pressedAt;
};
