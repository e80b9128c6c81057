#pragma once

#include <QRect>
#include <QString>
#include <functional>
#include <map>

class QEvent;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QSettings;
class QSpinBox;
class QWidget;
struct ScreenUnits;

// The practice panel's controls in the style of its skin: raised grey buttons lit orange while
// on, green displays and entry boxes. Buttons take no focus, so the page keeps the keys; a box
// hands them back to the page once its entry is done.
namespace PanelControls {

QPushButton* button(QWidget& page, const ScreenUnits& units, const QString& text,
                    const QString& name, const QString& tip, const QRect& at);
QLabel* display(QWidget& page, const ScreenUnits& units, const QString& name, const QString& tip,
                const QRect& at);
QSpinBox* spinBox(QWidget& page, const ScreenUnits& units, const QString& name, const QString& tip,
                  const QRect& at, int from, int to, int step);
// A box's Escape puts back what it showed when it took the keys and hands them back to the page.
// A spin box takes a typed number when Return hands the keys back, not at every digit.
void cancelOnEscape(QWidget& page, QLineEdit& box);
// A display's name is what it shows, for a screen reader.
void show(QLabel& display, const QString& text);
// A switch kept in practice.conf: only "true" or "false" there count, anything else is the
// fallback.
bool storedFlag(const QSettings& settings, const QString& key, bool fallback);

// A page's own keys. The main window's keys are live in the panel too, as in any tool window of
// it; a key the page takes is claimed before they see it (T taps on the track page rather than
// opening the main window's tempo entry). Keys with Ctrl or Alt are left to the windows.
class PageKeys {
public:
    using Action = std::function<void(const QKeyEvent&)>;
    void add(int key, Action action) { m_actions[key] = std::move(action); }
    void add(int key, std::function<void()> action) {
        m_actions[key] = [action = std::move(action)](const QKeyEvent&) { action(); };
    }
    // A key the page takes only while it has a use for it: else it stays the windows' (the
    // digits sound the strings until the page has something for them).
    void addWhile(int key, std::function<bool()> wanted, Action action) {
        m_actions[key] = std::move(action);
        m_wanted[key] = std::move(wanted);
    }
    // For the page's event(): true when the event is a key of the page's, claimed.
    bool claim(QEvent& event) const;
    // For the page's keyPressEvent(): true when the key was the page's.
    bool press(const QKeyEvent& event) const;

private:
    const Action* actionFor(const QKeyEvent& event) const;
    std::map<int, Action> m_actions;
    std::map<int, std::function<bool()>> m_wanted;
};

}  // namespace PanelControls
