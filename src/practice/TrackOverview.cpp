#include "practice/TrackOverview.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {
const QColor kWave(0x8C, 0xFF, 0x64);
const QColor kHead(0xFF, 0x9F, 0x2E);
const QColor kMarker(0xF0, 0xF3, 0xF5);
const QColor kBeat(0xF0, 0xF3, 0xF5, 60);
const QColor kBar(0xF0, 0xF3, 0xF5, 140);
constexpr double kGrabPixels = 3;  // a marker is held from this near, and a drag begins this far
// Beats closer than this are not told apart; bar numbers need room for three digits.
constexpr double kBeatPixels = 3;
constexpr double kNumberPixels = 22;
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
    m_columns.clear();
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
                    m_columns.clear();
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

void TrackOverview::setGrid(std::optional<BeatGrid> grid) {
    m_grid = std::move(grid);
    update();
}

void TrackOverview::setAnalysisProgress(std::optional<double> progress) {
    if (progress != m_analysed) {
        m_analysed = progress;
        update();
    }
}

void TrackOverview::paintEvent(QPaintEvent*) {
    const double length = m_peaks.lengthSeconds();
    QPainter painter(this);
    paintProgress(painter);
    if (length <= 0) {
        return;
    }
    const double middle = height() / 2.0;
    const double secondsPerPixel = length / width();
    painter.setPen(kWave);
    // The columns are worked out once per width: a track of hours has a million peaks.
    if (m_columns.size() != static_cast<size_t>(width())) {
        m_columns.clear();
        for (int x = 0; x < width(); ++x) {
            m_columns.push_back(m_peaks.between(x * secondsPerPixel, (x + 1) * secondsPerPixel));
        }
    }
    for (int x = 0; x < width(); ++x) {
        const auto [low, high] = m_columns[static_cast<size_t>(x)];
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
    paintGrid(painter);
    painter.setPen(QPen(kHead, 1.5));
    const double head = m_position / secondsPerPixel;
    painter.drawLine(QPointF(head, 0), QPointF(head, height()));
}

double TrackOverview::secondsAt(double x) const {
    return std::clamp(x / width(), 0.0, 1.0) * lengthSeconds();
}

double TrackOverview::xOf(double seconds) const {
    return seconds / lengthSeconds() * width();
}

// Pressed on a marker, the drag moves it; elsewhere it draws a new loop from the press.
void TrackOverview::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || lengthSeconds() <= 0) {
        return;
    }
    const double x = event->position().x();
    m_pressedAt = x;
    m_anchor = secondsAt(x);
    if (m_a && m_b) {
        if (std::abs(x - xOf(*m_a)) <= kGrabPixels) {
            m_anchor = *m_b;
        } else if (std::abs(x - xOf(*m_b)) <= kGrabPixels) {
            m_anchor = *m_a;
        }
    }
}

void TrackOverview::mouseMoveEvent(QMouseEvent* event) {
    if (!m_pressedAt || std::abs(event->position().x() - *m_pressedAt) <= kGrabPixels) {
        return;
    }
    const double at = secondsAt(event->position().x());
    m_a = std::min(at, *m_anchor);
    m_b = std::max(at, *m_anchor);
    update();
}

void TrackOverview::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_pressedAt) {
        return;
    }
    const bool dragged = std::abs(event->position().x() - *m_pressedAt) > kGrabPixels;
    m_pressedAt.reset();
    if (!dragged) {
        emit seekRequested(secondsAt(event->position().x()));
    } else if (m_a && m_b) {
        emit loopChosen(*m_a, *m_b);
    }
}

// Every beat a short tick at the foot, every bar a line with its number at the top: only every
// second, fourth... bar's line and number where the bars stand close.
void TrackOverview::paintGrid(QPainter& painter) const {
    if (!m_grid || !BeatGrids::usable(*m_grid)) {
        return;
    }
    const BeatGrid& grid = *m_grid;
    const double beatPixels = xOf(60.0 / BeatGrids::beatsPerMinute(grid)) - xOf(0);
    const double barPixels = beatPixels * grid.beatsPerBar;
    if (beatPixels >= kBeatPixels) {
        painter.setPen(QPen(kBeat, 1));
        for (const double beat : grid.beats) {
            painter.drawLine(QPointF(xOf(beat), height() * 0.85), QPointF(xOf(beat), height()));
        }
    }
    int every = 1;
    while (barPixels * every < kNumberPixels) {
        every *= 2;
    }
    QFont font = painter.font();
    font.setPixelSize(std::max(7, height() / 8));
    painter.setFont(font);
    const int last = BeatGrids::barOfBeat(grid, static_cast<long>(grid.beats.size()) - 1);
    for (int bar = 1; bar <= last; bar += every) {
        const double x = xOf(BeatGrids::barTime(grid, bar));
        painter.setPen(QPen(kBar, 1));
        painter.drawLine(QPointF(x, 0), QPointF(x, height()));
        painter.drawText(QPointF(x + 2, font.pixelSize()), QString::number(bar));
    }
}

void TrackOverview::paintProgress(QPainter& painter) const {
    if (!m_analysed) {
        return;
    }
    painter.fillRect(QRectF(0, 0, width() * std::clamp(*m_analysed, 0.0, 1.0), 2), kHead);
    QFont font = painter.font();
    font.setPixelSize(std::max(7, height() / 8));
    painter.setFont(font);
    painter.setPen(kHead);
    painter.drawText(QPointF(3, 4 + font.pixelSize()),
                     tr("FINDING THE BEAT %1 %").arg(std::lround(100 * *m_analysed)));
}
