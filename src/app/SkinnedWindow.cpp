#include "app/SkinnedWindow.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWidget>

#include "app/RightClickWatcher.h"

SkinnedWindow::SkinnedWindow(QWidget& window, const QString& skin, QSizeF skinSize,
                             MouseDown mouseDown)
    : QObject(&window),
      m_window(window),
      m_skin(skin),
      m_skinSize(skinSize),
      m_move(window),
      m_mouseDown(std::move(mouseDown)) {
    window.setAttribute(Qt::WA_TranslucentBackground);
    window.installEventFilter(this);
}

void SkinnedWindow::setOutline(const QRegion& outline) {
    m_outline = outline;
    m_window.setMask(outline);
}

void SkinnedWindow::startMove(QPoint at) {
    m_move.start(at);
}

void SkinnedWindow::setMenu(QMenu& menu) {
    m_menu = &menu;
    auto* rightClicks = new RightClickWatcher(m_window);
    connect(rightClicks, &RightClickWatcher::clicked, &menu,
            [&menu](const QPoint& at) { menu.popup(at); });
}

// Presses that no control takes come up to the window: they are presses on its body.
bool SkinnedWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &m_window) {
        return false;
    }
    switch (event->type()) {
        case QEvent::Paint:
            paint();
            return false;
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint at = mouse->position().toPoint();
            if (m_move.takesPress(mouse->button(), at)) {
                m_mouseDown(mouse->button(), mouse->modifiers(), at.x(), at.y());
            }
            return true;
        }
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (const auto from = m_move.rightDragBegins(mouse->position().toPoint())) {
                m_mouseDown(Qt::RightButton, mouse->modifiers(), from->x(), from->y());
            }
            m_move.follow(mouse->globalPosition().toPoint());
            return true;
        }
        case QEvent::MouseButtonRelease:
            m_move.stop();
            return true;
        case QEvent::ContextMenu:
            // The pointer's menu opens on a right click (RightClickWatcher), never on the press.
            if (m_menu != nullptr &&
                static_cast<QContextMenuEvent*>(event)->reason() != QContextMenuEvent::Mouse) {
                m_menu->popup(m_window.mapToGlobal(m_window.rect().center()));
            }
            return true;
        default:
            return false;
    }
}

void SkinnedWindow::paint() {
    QPainter painter(&m_window);
    // The skin's own transparency cuts the picture where the window system only cuts input.
    painter.setClipRegion(m_outline);
    painter.drawPixmap(0, 0, picture());
}

void SkinnedWindow::setSkin(const QString& skin) {
    m_skin.load(skin);
    m_picture = QPixmap();
    m_window.update();
}

const QPixmap& SkinnedWindow::picture() {
    const qreal ratio = m_window.devicePixelRatioF();
    if (m_picture.size() != m_window.size() * ratio || m_picture.devicePixelRatio() != ratio) {
        m_picture = QPixmap(m_window.size() * ratio);
        m_picture.setDevicePixelRatio(ratio);
        m_picture.fill(Qt::transparent);
        QPainter painter(&m_picture);
        m_skin.render(&painter, QRectF(QPointF(0, 0), m_skinSize));
    }
    return m_picture;
}

void centreOnScreen(QWidget& window, const QScreen* screen) {
    if (screen != nullptr) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
}
