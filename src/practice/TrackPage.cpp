#include "practice/TrackPage.h"

#include <QKeyEvent>
#include <QLabel>
#include <algorithm>

#include "app/DisplayLettering.h"
#include "app/ScreenUnits.h"
#include "mp3/TrackPlaybackControl.h"
#include "practice/TrackOverview.h"

namespace {
constexpr int kRefreshMs = 50;  // the play head moves smoothly enough to follow by eye
}  // namespace

TrackPage::TrackPage(QWidget& panel, TrackPlaybackControl& track, const ScreenUnits& u)
    : QWidget(&panel),
      m_track(track),
      m_overview(new TrackOverview(this)),
      m_position(new QLabel(this)) {
    setObjectName("trackPage");
    setGeometry(panel.rect());
    setFocusPolicy(Qt::StrongFocus);
    m_overview->setObjectName("trackOverview");
    m_overview->setGeometry(u.toPixels(270, 780, 3930, 1140));
    m_overview->setAccessibleName(tr("Backing track"));
    m_overview->setToolTip(tr("The whole backing track: click to go there (Left, Right, Home)"));
    connect(m_overview, &TrackOverview::seekRequested, this, &TrackPage::seekTo);

    m_position->setObjectName("trackPosition");
    m_position->setGeometry(u.toPixels(270, 2265, 1740, 180));
    m_position->setStyleSheet(displayLettering(10, "0 2px"));
    // No name of its own: a screen reader then reads the position shown.
    m_position->setAccessibleDescription(tr("Position in the backing track and its length"));
    m_position->setToolTip(tr("Position and length of the backing track"));

    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &TrackPage::refresh);
    refresh();
}

void TrackPage::seekTo(double seconds) {
    m_track.seek(std::clamp(seconds, 0.0, m_overview->lengthSeconds()));
    refresh();
}

void TrackPage::seekBy(double seconds) {
    seekTo(m_track.positionSeconds() + seconds);
}

void TrackPage::keyPressEvent(QKeyEvent* event) {
    const double step = event->modifiers() & Qt::ShiftModifier ? 1.0 : 5.0;
    switch (event->key()) {
        case Qt::Key_Left:
            seekBy(-step);
            break;
        case Qt::Key_Right:
            seekBy(step);
            break;
        case Qt::Key_Home:
            seekTo(0);
            break;
        default:
            QWidget::keyPressEvent(event);
    }
}

void TrackPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    m_refresh.start();
}

void TrackPage::hideEvent(QHideEvent* event) {
    m_refresh.stop();
    QWidget::hideEvent(event);
}

void TrackPage::refresh() {
    m_overview->showTrack(m_track.loaded() ? m_track.file() : std::string());
    const double position = m_track.positionSeconds();
    m_overview->setPosition(position);
    const QString shown = m_overview->lengthSeconds() > 0
                              ? QString::fromStdString(formatTrackTime(position) + " / " +
                                                       formatTrackTime(m_overview->lengthSeconds()))
                              : tr("no track");
    if (m_position->text() != shown) {
        m_position->setText(shown);
    }
}
