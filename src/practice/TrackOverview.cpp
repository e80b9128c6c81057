#include "practice/TrackOverview.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
const QColor kWave(0x8C, 0xFF, 0x64);
const QColor kHead(0xFF, 0x9F, 0x2E);
const QColor kMarker(0xF0, 0xF3, 0xF5);
}  // namespace

TrackOverview::TrackOverview(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
}

TrackOverview::~TrackOverview() {
    stopScan();
}

void TrackOverview::stopScan() {
    m_cancel = true;
    if (m_scan.joinable()) {
        m_scan.join();
    }
    m_cancel = false;
}

void TrackOverview::showTrack(const std::string& path) {
    if (path == m_path) {
        return;
    }
    stopScan();
    m_path = path;
    m_peaks = {};
    update();
    if (path.empty()) {
        return;
    }
    m_scan = std::thread([this, path] {
        TrackPeaks peaks = scanPeaks(path, m_cancel);
        // Handed to the user-interface thread; dropped if the widget has gone meanwhile.
        QMetaObject::invokeMethod(
            this,
            [this, path, peaks = std::move(peaks)]() mutable {
                if (path == m_path) {
                    m_peaks = std::move(peaks);
                    update();
                }
            },
            Qt::QueuedConnection);
    });
}

void TrackOverview::setPosition(double seconds) {
    if (seconds != m_position) {
        m_position = seconds;
        update();
    }
}

void TrackOverview::setLoop(std::optional<double> a, std::optional<double> b, bool on) {
    m_a = a;
    m_b = b;
    m_loopOn = on;
    update();
}

void TrackOverview::paintEvent(QPaintEvent*) {
    const double length = m_peaks.lengthSeconds();
    if (length <= 0) {
        return;
    }
    QPainter painter(this);
    const double middle = height() / 2.0;
    const double secondsPerPixel = length / width();
    painter.setPen(kWave);
    for (int x = 0; x < width(); ++x) {
        const auto [low, high] = m_peaks.between(x * secondsPerPixel, (x + 1) * secondsPerPixel);
        painter.drawLine(QPointF(x + 0.5, middle - high * middle),
                         QPointF(x + 0.5, middle - low * middle));
    }
    if (m_a && m_b) {
        const double left = *m_a / secondsPerPixel, right = *m_b / secondsPerPixel;
        painter.fillRect(QRectF(left, 0, right - left, height()),
                         QColor(0xFF, 0xFF, 0xFF, m_loopOn ? 70 : 30));
    }
    painter.setPen(QPen(kMarker, 1));
    for (const auto& marker : {m_a, m_b}) {
        if (marker) {
            painter.drawLine(QPointF(*marker / secondsPerPixel, 0),
                             QPointF(*marker / secondsPerPixel, height()));
        }
    }
    painter.setPen(QPen(kHead, 1.5));
    const double head = m_position / secondsPerPixel;
    painter.drawLine(QPointF(head, 0), QPointF(head, height()));
}

void TrackOverview::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::LeftButton && lengthSeconds() > 0) {
        emit seekRequested(event->position().x() / width() * lengthSeconds());
    }
}
