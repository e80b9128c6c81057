#include "practice/TrackDrop.h"

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <algorithm>

namespace {

// The first local file among the dragged items; empty when there is none (a web link, text).
QString droppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) {
        return {};
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            return url.toLocalFile();
        }
    }
    return {};
}

}  // namespace

// Watched for the whole application: a drop on a control that takes text of its own (the tempo
// box) would otherwise go to that control.
TrackDrop::TrackDrop(QObject& parent, std::vector<QWidget*> windows, Open open)
    : QObject(&parent), m_windows(std::move(windows)), m_open(std::move(open)) {
    for (QWidget* window : m_windows) {
        window->setAcceptDrops(true);
    }
    qApp->installEventFilter(this);
}

bool TrackDrop::ours(QObject* watched) const {
    const auto* widget = qobject_cast<QWidget*>(watched);
    return widget != nullptr &&
           std::find(m_windows.begin(), m_windows.end(), widget->window()) != m_windows.end();
}

bool TrackDrop::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) ||
        !ours(watched)) {
        return false;
    }
    auto* drop = static_cast<QDropEvent*>(event);
    const QString file = droppedFile(drop->mimeData());
    if (file.isEmpty()) {
        return false;
    }
    drop->acceptProposedAction();
    if (type == QEvent::Drop) {
        m_open(QFile::encodeName(file).toStdString());
    }
    return true;
}
