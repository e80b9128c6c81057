#include "practice/SpeedPlot.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <chrono>

namespace {

constexpr int kTextPixels = 9;
constexpr int kLowestPercent = 25, kHighestPercent = 150;
constexpr int kSpeedMargin = 10;

// Days since 1970 of a YYYY-MM-DD date the log wrote.
int dayNumber(const std::string& day) {
    const std::chrono::year_month_day date{std::chrono::year(std::stoi(day.substr(0, 4))),
                                           std::chrono::month(std::stoi(day.substr(5, 2))),
                                           std::chrono::day(std::stoi(day.substr(8, 2)))};
    return std::chrono::sys_days(date).time_since_epoch().count();
}

QString minutes(int seconds) {
    return seconds >= 3600 ? QString("%1 H %2 MIN").arg(seconds / 3600).arg(seconds / 60 % 60)
                           : QString("%1 MIN").arg(seconds / 60);
}

QString summaryOf(const QString& name, const std::vector<PracticeDay>& days) {
    if (name.isEmpty()) {
        return QObject::tr("NO SECTION CHOSEN");
    }
    if (days.empty()) {
        return QObject::tr("%1: NOT PRACTISED YET").arg(name);
    }
    int seconds = 0;
    std::vector<int> fastest;
    for (const PracticeDay& day : days) {
        seconds += day.seconds;
        if (day.fastest) {
            fastest.push_back(*day.fastest);
        }
    }
    const QString time =
        QObject::tr("%1 ON %2 DAYS").arg(minutes(seconds)).arg(static_cast<int>(days.size()));
    return fastest.empty() ? QObject::tr("%1: %2, NO WHOLE PASS").arg(name, time)
                           : QObject::tr("%1: %2 % TO %3 %, %4")
                                 .arg(name)
                                 .arg(fastest.front())
                                 .arg(fastest.back())
                                 .arg(time);
}

}  // namespace

SpeedPlot::SpeedPlot(QWidget* parent) : QWidget(parent) {
    setAccessibleDescription(tr("The chosen section's practice, day by day"));
    setToolTip(
        tr("The chosen section's practice: minutes each day (bars) and the highest speed "
           "of a whole pass of its loop (line)"));
    showDays({}, {});
}

void SpeedPlot::showDays(const QString& name, std::vector<PracticeDay> days) {
    m_days = std::move(days);
    m_summary = summaryOf(name, m_days);
    setAccessibleName(m_summary);
    update();
}

void SpeedPlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor("#0E2A12"));
    painter.setPen(QColor("#8CFF64"));
    QFont font("DejaVu Sans Mono");
    font.setPixelSize(kTextPixels);
    font.setBold(true);
    painter.setFont(font);
    const QRect text = rect().adjusted(3, 1, -3, 0);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignTop, m_summary);
    if (m_days.empty()) {
        return;
    }
    const QRectF plot = QRectF(rect()).adjusted(4, kTextPixels + 4, -4, -3);
    const int first = dayNumber(m_days.front().day);
    const int span = std::max(1, dayNumber(m_days.back().day) - first);
    const int longest =
        std::max_element(m_days.begin(), m_days.end(), [](const auto& x, const auto& y) {
            return x.seconds < y.seconds;
        })->seconds;
    const auto xOf = [&](const PracticeDay& day) {
        return m_days.size() == 1
                   ? plot.center().x()
                   : plot.left() + plot.width() * (dayNumber(day.day) - first) / span;
    };
    const double barWidth = std::max(1.0, std::min(6.0, plot.width() / (span + 1) - 1));
    for (const PracticeDay& day : m_days) {
        const double height = plot.height() * day.seconds / std::max(1, longest);
        painter.fillRect(QRectF(xOf(day) - barWidth / 2, plot.bottom() - height, barWidth, height),
                         QColor("#2E6B28"));
    }
    // The speeds fill the height, with a margin, so that a few percent a week shows.
    int slowest = kHighestPercent, fastest = kLowestPercent;
    for (const PracticeDay& day : m_days) {
        slowest = std::min(slowest, day.fastest.value_or(kHighestPercent));
        fastest = std::max(fastest, day.fastest.value_or(kLowestPercent));
    }
    const int low = std::max(kLowestPercent, slowest - kSpeedMargin);
    const int high = std::max(low + 1, std::min(kHighestPercent, fastest + kSpeedMargin));
    QPainterPath speeds;
    painter.setPen(QPen(QColor("#FF9F2E"), 1.5));
    painter.setRenderHint(QPainter::Antialiasing);
    for (const PracticeDay& day : m_days) {
        if (!day.fastest) {
            continue;
        }
        const double share = static_cast<double>(*day.fastest - low) / (high - low);
        const QPointF at(xOf(day), plot.bottom() - plot.height() * std::clamp(share, 0.0, 1.0));
        speeds.elementCount() == 0 ? speeds.moveTo(at) : speeds.lineTo(at);
        painter.drawEllipse(at, 1.5, 1.5);
    }
    painter.drawPath(speeds);
}
