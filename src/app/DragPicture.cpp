#include "app/DragPicture.h"

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

// The uncovered part of a narrowed picture: invisible, under the picture, with the same
// top-left corner, so its positions are the picture's own.
class PictureTrack : public QWidget {
public:
    PictureTrack(DragPicture& picture, const QRect& geometry)
        : QWidget(picture.parentWidget()), m_picture(picture) {
        setGeometry(geometry);
        setCursor(picture.cursor());
        stackUnder(&picture);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }
    void mouseMoveEvent(QMouseEvent* event) override { m_picture.reportMove(*event); }

private:
    DragPicture& m_picture;
};

}  // namespace

DragPicture::DragPicture(QWidget* parent, const QString& objectName, const QString& resource,
                         const QRect& geometry, const ScreenUnits& units, Track track)
    : SvgPicture(parent, objectName, resource, geometry), m_units(units) {
    setCursor(Qt::SizeHorCursor);
    if (track == Track::FirstGeometry) {
        new PictureTrack(*this, geometry);
    }
}

void DragPicture::reportMove(const QMouseEvent& event) {
    const QPointF at = event.position();
    emit mouseMoved(buttonMask(event.buttons()), shiftMask(event.modifiers()),
                    static_cast<float>(at.x() * m_units.twipsPerPixelX),
                    static_cast<float>(at.y() * m_units.twipsPerPixelY));
}

// Taking the press keeps it from reaching the window body, which would start a window move.
void DragPicture::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void DragPicture::mouseMoveEvent(QMouseEvent* event) {
    reportMove(*event);
}
