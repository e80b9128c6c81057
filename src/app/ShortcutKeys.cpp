#include "ShortcutKeys.h"

#include <QApplication>
#include <QShortcut>

ShortcutKeys::ShortcutKeys(QWidget& window) : QObject(&window), m_window(window) {
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { followFocus(now); });
}

void ShortcutKeys::add(const QList<QKeySequence>& keys, const QString& action,
                       std::function<void()> handler, const QWidgetList& controls) {
    auto* shortcut = new QShortcut(&m_window);
    shortcut->setKeys(keys);
    // A foot switch held down must not toggle the metronome or restrike a string over and over.
    shortcut->setAutoRepeat(false);
    shortcut->setEnabled(!isTextEntryOfWindow(QApplication::focusWidget()));
    connect(shortcut, &QShortcut::activated, this, std::move(handler));
    m_shortcuts.push_back(shortcut);
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

bool ShortcutKeys::isTextEntryOfWindow(const QWidget* widget) const {
    return widget != nullptr && widget->window() == &m_window &&
           widget->testAttribute(Qt::WA_InputMethodEnabled);
}

void ShortcutKeys::followFocus(QWidget* focus) {
    const bool enabled = !isTextEntryOfWindow(focus);
    for (QShortcut* shortcut : m_shortcuts) {
        shortcut->setEnabled(enabled);
    }
}
