#pragma once

#include <QObject>
#include <QPixmap>
#include <QRegion>
#include <QSvgRenderer>
#include <functional>

#include "app/BodyMove.h"

class QMenu;
class QScreen;
class QWidget;

// What every skinned window of RZ77 has, laid over the window as an event filter so that the
// window may be a plain widget or a dialog: the skin (vector art drawn once into a cached
// picture, since copying it costs far less than drawing it), the outline the window is cut to,
// the move by a press on the body (reported to the window's Form_MouseDown, which calls
// startMove), and the right-click menu.
class SkinnedWindow : public QObject {
public:
    using MouseDown = std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)>;

    // skinSize: the skin's art in pixels of the window, which may reach past its outline.
    SkinnedWindow(QWidget& window, const QString& skin, QSizeF skinSize, MouseDown mouseDown);

    // Another skin of the same size, for a window with pages.
    void setSkin(const QString& skin);
    // The window system cuts input to the outline; the skin is drawn only inside it.
    void setOutline(const QRegion& outline);
    void startMove(QPoint at);
    // Opened by a right click (never by the release of a drag) and by the keyboard's menu key.
    void setMenu(QMenu& menu);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void paint();
    const QPixmap& picture();

    QWidget& m_window;
    QSvgRenderer m_skin;
    QSizeF m_skinSize;
    QPixmap m_picture;
    QRegion m_outline;
    BodyMove m_move;
    MouseDown m_mouseDown;
    QMenu* m_menu = nullptr;
};

// Puts the window in the middle of the screen's free area.
void centreOnScreen(QWidget& window, const QScreen* screen);
