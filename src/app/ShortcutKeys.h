#pragma once

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QWidget>
#include <functional>
#include <vector>

// Keys on a window that call its handlers, for a player whose hands are on the guitar or whose
// foot switch sends key presses. While a text entry of the window, or of a tool window of it, is
// shown with focus they stand aside, so every key reaches the entry.
class ShortcutKeys : public QObject {
    Q_OBJECT
public:
    struct Entry {
        QList<QKeySequence> keys;
        QString action;
    };

    explicit ShortcutKeys(QWidget& window);

    // Binds keys to a handler; the key names are added to each control's tooltip.
    void add(const QList<QKeySequence>& keys, const QString& action, std::function<void()> handler,
             const QWidgetList& controls = {});

    // Lists keys that another window of the program takes, so that one list shows them all.
    void list(const QList<QKeySequence>& keys, const QString& action) {
        m_entries.push_back({keys, action});
    }

    const std::vector<Entry>& entries() const { return m_entries; }

    // The keys as the user reads them: "Return, Enter".
    static QString keyNames(const QList<QKeySequence>& keys);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool isTextEntryOfWindow(const QObject* object) const;

    QWidget& m_window;
    std::vector<Entry> m_entries;
};
