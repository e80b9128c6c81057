#include "practice/CoachPlot.h"

#include <QPainter>
#include <algorithm>

namespace {
constexpr double kRangeMs = 50;
}

CoachPlot::CoachPlot(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CoachPlot::setNotes(std::vector<Coach::NoteTiming> notes) {
    m_notes = std::move(notes);
    update();
}

void CoachPlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor("#0E2A12"));
    const double middle = height() / 2.0;
    const double perMs = (height() / 2.0 - 2) / kRangeMs;
    painter.setPen(QColor("#1F4A22"));
    for (double ms : {-20.0, -10.0, 10.0, 20.0}) {
        painter.drawLine(QPointF(0, middle - ms * perMs), QPointF(width(), middle - ms * perMs));
    }
    painter.setPen(QColor("#2E6B28"));
    painter.drawLine(QPointF(0, middle), QPointF(width(), middle));
    if (m_notes.empty()) {
        return;
    }
    const auto [first, last] = std::minmax_element(
        m_notes.begin(), m_notes.end(), [](const auto& a, const auto& b) { return a.at < b.at; });
    const double from = first->at, span = std::max(1.0, last->at - first->at);
    const auto x = [&](double at) { return 2 + (at - from) / span * (width() - 4); };
    painter.setPen(QColor("#3C5A3C"));
    long bar = -1;
    for (const auto& note : m_notes) {
        if (note.nearest.bar != bar && note.nearest.subdivision == 0) {
            bar = note.nearest.bar;
            const double lineAt = x(note.nearest.at - note.nearest.beat * note.beatSeconds);
            painter.drawLine(QPointF(lineAt, 0), QPointF(lineAt, height()));
        }
    }
    painter.setRenderHint(QPainter::Antialiasing);
    for (const auto& note : m_notes) {
        const double ms = std::clamp(note.offsetMs, -kRangeMs, kRangeMs);
        const QColor colour = std::abs(ms) <= 10 ? QColor("#8CFF64") : QColor("#FF9F2E");
        painter.setPen(colour);
        painter.setBrush(note.nearest.heard ? QBrush(colour) : Qt::NoBrush);
        painter.drawEllipse(QPointF(x(note.at), middle - ms * perMs), 1.8, 1.8);
    }
}
