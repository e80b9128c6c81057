#include "practice/BeatDots.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace {
using MetronomeTrainer::Mark;
const QColor kAccent("#FF9F2E");
const QColor kNormal("#8CFF64");
const QColor kDim("#2E6B28");
const QColor kLit("#F2FFE8");
}  // namespace

BeatDots::BeatDots(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
    name();
}

void BeatDots::setBar(int beats, const Marks& marks) {
    m_beats = std::clamp(beats, 1, MetronomeTrainer::kMaxBeats);
    m_marks = marks;
    m_chosen = std::min(m_chosen, m_beats - 1);
    name();
    update();
}

void BeatDots::choose(int beat) {
    m_chosen = std::clamp(beat, 0, m_beats - 1);
    update();
}

void BeatDots::light(int beat) {
    if (beat != m_lit) {
        m_lit = beat;
        repaint();  // now, as the beat is heard
    }
}

// Every beat has the same share of the width; the dot sits in the middle of it.
QRectF BeatDots::dotArea(int beat) const {
    const double share = static_cast<double>(width()) / MetronomeTrainer::kMaxBeats;
    const double size = std::min(share, static_cast<double>(height())) * 0.7;
    const QPointF centre(share * (beat + 0.5), height() / 2.0);
    return QRectF(centre - QPointF(size / 2, size / 2), QSizeF(size, size));
}

void BeatDots::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int beat = 0; beat < m_beats; ++beat) {
        const Mark mark = m_marks[beat];
        const bool lit = beat == m_lit;
        QRectF dot = dotArea(beat);
        if (mark != Mark::Accent) {
            dot = dot.marginsRemoved(QMarginsF(1, 1, 1, 1) * dot.width() / 6);
        }
        const QColor colour = mark == Mark::Accent ? kAccent : kNormal;
        painter.setPen(QPen(lit ? kLit : mark == Mark::Silent ? kDim : colour, dot.width() / 8));
        painter.setBrush(mark == Mark::Silent
                             ? QBrush(Qt::NoBrush)
                             : QBrush(lit ? kLit : colour.darker(lit ? 100 : 130)));
        painter.drawEllipse(dot);
        if (beat == m_chosen) {
            painter.setPen(QPen(kAccent, 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(dotArea(beat).marginsAdded(QMarginsF(2, 2, 2, 2)));
        }
    }
}

// A left press on a dot is not a window move; the right button still opens the menu.
void BeatDots::mousePressEvent(QMouseEvent* event) {
    event->setAccepted(event->button() == Qt::LeftButton);
}

void BeatDots::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const double share = static_cast<double>(width()) / MetronomeTrainer::kMaxBeats;
    const int beat = static_cast<int>(event->position().x() / share);
    if (beat >= 0 && beat < m_beats) {
        choose(beat);
        emit dotClicked(beat);
    }
}

// What a screen reader says: the beats in order, as the dots show them.
void BeatDots::name() {
    QStringList beats;
    for (int beat = 0; beat < m_beats; ++beat) {
        beats << (m_marks[beat] == Mark::Accent   ? tr("accent")
                  : m_marks[beat] == Mark::Silent ? tr("silent")
                                                  : tr("beat"));
    }
    setAccessibleName(tr("Bar: %1").arg(beats.join(", ")));
}
