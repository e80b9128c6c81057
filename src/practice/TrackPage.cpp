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
      m_position(new QLabel(this)),
      m_loopShown(new QLabel(this)) {
    setObjectName("trackPage");
    setGeometry(panel.rect());
    setFocusPolicy(Qt::StrongFocus);
    m_overview->setObjectName("trackOverview");
    m_overview->setGeometry(u.toPixels(270, 780, 3930, 1140));
    m_overview->setAccessibleName(tr("Backing track"));
    m_overview->setToolTip(tr("The whole backing track: click to go there (Left, Right, Home)"));
    connect(m_overview, &TrackOverview::seekRequested, this, &TrackPage::seekTo);
    connect(m_overview, &TrackOverview::loopChosen, this, [this](double a, double b) {
        m_a = a;
        m_b = b;
        m_loopOn = true;
        applyLoop();
    });

    m_position->setObjectName("trackPosition");
    m_position->setGeometry(u.toPixels(270, 2265, 1740, 180));
    m_position->setStyleSheet(displayLettering(10, "0 2px"));
    // No name of its own: a screen reader then reads the position shown.
    m_position->setAccessibleDescription(tr("Position in the backing track and its length"));
    m_position->setToolTip(tr("Position and length of the backing track"));

    m_loopShown->setObjectName("trackLoop");
    m_loopShown->setGeometry(u.toPixels(270, 2550, 3930, 180));
    m_loopShown->setStyleSheet(displayLettering(9, "0 2px"));
    m_loopShown->setAccessibleDescription(tr("The A-B loop"));
    m_loopShown->setToolTip(tr("The A-B loop: [ sets A, ] sets B, \\ turns it on and off"));

    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &TrackPage::refresh);
    applyLoop();
    refresh();
}

void TrackPage::seekTo(double seconds) {
    m_track.seek(std::clamp(seconds, 0.0, m_overview->lengthSeconds()));
    refresh();
}

void TrackPage::setA() {
    m_a = m_track.positionSeconds();
    if (m_b && *m_b <= *m_a) {
        m_b.reset();
    }
    applyLoop();
}

void TrackPage::setB() {
    m_b = m_track.positionSeconds();
    if (m_a && *m_a >= *m_b) {
        m_a.reset();
    }
    m_loopOn = m_a.has_value();  // setting the end of a loop is asking for it
    applyLoop();
}

void TrackPage::toggleLoop() {
    m_loopOn = !m_loopOn && m_a && m_b;
    applyLoop();
}

void TrackPage::applyLoop() {
    m_loopOn = m_loopOn && m_a && m_b;
    m_track.setLoop(m_loopOn ? std::optional(std::pair(*m_a, *m_b)) : std::nullopt);
    m_overview->setLoop(m_a, m_b, m_loopOn);
    const auto mark = [](const char* name, const std::optional<double>& at) {
        return QString("%1 %2").arg(name, at ? QString::fromStdString(formatTrackTime(*at)) : "-");
    };
    m_loopShown->setText(
        QString("%1   %2   %3")
            .arg(mark("A", m_a), mark("B", m_b), m_loopOn ? tr("LOOP ON") : tr("LOOP OFF")));
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
            seekTo(m_a.value_or(0));
            break;
        case Qt::Key_BracketLeft:
            setA();
            break;
        case Qt::Key_BracketRight:
            setB();
            break;
        case Qt::Key_Backslash:
            toggleLoop();
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
    const std::string file = m_track.loaded() ? m_track.file() : std::string();
    if (file != m_file) {  // a new track has no loop yet
        m_file = file;
        m_a.reset();
        m_b.reset();
        m_loopOn = false;
        applyLoop();
    }
    m_overview->showTrack(file);
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
