#pragma once

#include "app/ScreenUnits.h"
#include "app/SvgPicture.h"

// A picture that reports pointer moves while a button held on it, as the classic mouse-move
// event does: button mask (1 left, 2 right, 4 middle), shift mask (1 Shift, 2 Ctrl, 4 Alt) and
// the position in twips from the picture's top-left corner. Moves keep coming while the pointer
// is outside the picture, until the button is released.
//
// With a track, the picture's first geometry stays part of the control after the picture has
// been narrowed: a press on the uncovered part is the picture's own, so it never moves the
// window, and the moves it starts are reported the same way.
class DragPicture : public SvgPicture {
    Q_OBJECT
public:
    enum class Track { None, FirstGeometry };

    DragPicture(QWidget* parent, const QString& objectName, const QString& resource,
                const QRect& geometry, const ScreenUnits& units, Track track = Track::None);

    void reportMove(const QMouseEvent& event);

signals:
    void mouseMoved(int16_t button, int16_t shift, float x, float y);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    ScreenUnits m_units;
};
