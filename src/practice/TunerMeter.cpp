#include "practice/TunerMeter.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
const QColor kFace("#0E2A12");
const QColor kLit("#8CFF64");
const QColor kDim("#2E6B28");
const QColor kInTune("#FF9F2E");
constexpr double kRange = 50;            // cents each side
constexpr double kStripesPerCent = 0.5;  // strobe turns per second for each cent off
constexpr double kInTuneCents = 1;
}  // namespace

TunerMeter::TunerMeter(QWidget* parent) : QWidget(parent) {}

void TunerMeter::show(std::optional<double> cents, bool stable, double seconds) {
    if (!cents && !m_cents) {
        return;  // resting: nothing to draw again
    }
    m_cents = cents;
    m_stable = stable;
    if (cents) {
        m_phase = std::fmod(m_phase + *cents * kStripesPerCent * seconds, 1.0);
    }
    setAccessibleName(cents ? tr("%1%2 cents").arg(*cents >= 0 ? "+" : "").arg(*cents, 0, 'f', 1)
                            : tr("No note"));
    update();
}

void TunerMeter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), kFace);
    const QRectF all(rect());
    const double strobeHeight = all.height() * 0.22;
    paintScale(painter, all.adjusted(0, 0, 0, -strobeHeight - 2));
    paintStrobe(painter,
                QRectF(all.left(), all.bottom() - strobeHeight, all.width(), strobeHeight));
}

// Ticks every 10 cents on an arc, the needle from its foot below the middle.
void TunerMeter::paintScale(QPainter& painter, const QRectF& area) {
    const QPointF foot(area.center().x(), area.bottom() + area.height() * 0.35);
    const double radius = area.height() * 1.2;
    const auto at = [&](double cents, double r) {
        const double angle = cents / kRange * 0.6;  // radians each side
        return foot + QPointF(r * std::sin(angle), -r * std::cos(angle));
    };
    for (int cents = -50; cents <= 50; cents += 10) {
        painter.setPen(QPen(cents == 0 ? kInTune : kDim, cents == 0 ? 2 : 1));
        painter.drawLine(at(cents, radius * 0.86), at(cents, radius * (cents % 50 ? 0.93 : 0.97)));
    }
    const bool inTune = m_cents && std::abs(*m_cents) < kInTuneCents && m_stable;
    const double shown = m_cents ? std::clamp(*m_cents, -kRange, kRange) : 0;
    painter.setPen(QPen(!m_cents ? kDim : inTune ? kInTune : kLit, 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(at(shown, radius * 0.3), at(shown, radius * 0.95));
}

void TunerMeter::paintStrobe(QPainter& painter, const QRectF& area) {
    painter.save();
    painter.setClipRect(area);
    const double stripe = area.height();
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_cents ? kLit : kDim);
    for (double x = area.left() - 2 * stripe + m_phase * 2 * stripe; x < area.right();
         x += 2 * stripe) {
        painter.drawRect(QRectF(x, area.top(), stripe, area.height()));
    }
    painter.restore();
}
