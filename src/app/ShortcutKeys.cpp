#include "app/ShortcutKeys.h"

#include <QApplication>
#include <QShortcut>

ShortcutKeys::ShortcutKeys(QWidget& window) : QObject(&window), m_window(window) {
    // Before a key can trigger a shortcut, the focus widget is asked whether it wants the key.
    qApp->installEventFilter(this);
}

void ShortcutKeys::add(const QList<QKeySequence>& keys, const QString& action,
                       std::function<void()> handler, const QWidgetList& controls) {
    auto* shortcut = new QShortcut(&m_window);
    shortcut->setKeys(keys);
    // A foot switch held down must not toggle the metronome or restrike a string over and over.
    shortcut->setAutoRepeat(false);
    connect(shortcut, &QShortcut::activated, this, std::move(handler));
    m_entries.push_back({keys, action});
    for (QWidget* control : controls) {
        control->setToolTip(QString("%1 (%2)").arg(control->toolTip(), keyNames(keys)));
    }
}

QString ShortcutKeys::keyNames(const QList<QKeySequence>& keys) {
    QStringList names;
    for (const QKeySequence& key : keys) {
        names << key.toString(QKeySequence::NativeText);
    }
    return names.join(", ");
}

// The window's shortcuts are live in its tool windows too (the practice panel), so their entries
// count as the window's own.
bool ShortcutKeys::isTextEntryOfWindow(const QObject* object) const {
    const auto* widget = qobject_cast<const QWidget*>(object);
    if (widget == nullptr || !widget->testAttribute(Qt::WA_InputMethodEnabled)) {
        return false;
    }
    const QWidget* window = widget->window();
    while (window != &m_window && window->windowType() == Qt::Tool && window->parentWidget()) {
        window = window->parentWidget()->window();
    }
    return window == &m_window;
}

// A shown entry takes every key. A hidden one may keep the focus after it closes; then the keys
// belong to the window again instead of going to it unseen.
bool ShortcutKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride || !isTextEntryOfWindow(watched)) {
        return false;
    }
    event->setAccepted(static_cast<QWidget*>(watched)->isVisible());
    return true;
}
