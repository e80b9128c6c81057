#include "practice/PanelControls.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <memory>

#include "app/DisplayLettering.h"
#include "app/ScreenUnits.h"

namespace PanelControls {
namespace {

const char* kButtonStyle =
    "QPushButton { color: #C9CFD5; background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
    "stop:0 #545A62, stop:1 #2A2E33); border: 1px solid #0B0C0E; border-radius: 2px; "
    "font-family: 'DejaVu Sans'; font-weight: bold; font-size: %1px; padding: 0; }"
    "QPushButton:pressed { background: #1C1F23; }"
    "QPushButton:checked { color: #FF9F2E; }"
    "QPushButton:focus { border-color: #FF9F2E; }";
const char* kSpinStyle =
    "QSpinBox { color: #8CFF64; background: #0E2A12; border: 1px solid #0B0C0E; "
    "selection-background-color: #2E6B28; font-family: 'DejaVu Sans Mono', monospace; "
    "font-weight: bold; font-size: %1px; padding: 0 1px; }"
    "QSpinBox:focus { border-color: #FF9F2E; }";

// Remembers what a box shows as it takes the keys; Escape puts that back.
class EscapeCancels : public QObject {
public:
    EscapeCancels(QWidget& page, QWidget& box, std::function<void()> remember,
                  std::function<void()> restore)
        : QObject(&box),
          m_page(page),
          m_remember(std::move(remember)),
          m_restore(std::move(restore)) {
        box.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) {
            m_remember();
        } else if (event->type() == QEvent::KeyPress &&
                   static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            m_restore();
            m_page.setFocus();
            return true;
        }
        return false;
    }

private:
    QWidget& m_page;
    std::function<void()> m_remember, m_restore;
};

}  // namespace

void cancelOnEscape(QWidget& page, QLineEdit& box) {
    auto text = std::make_shared<QString>();
    new EscapeCancels(
        page, box, [&box, text] { *text = box.text(); }, [&box, text] { box.setText(*text); });
}

QPushButton* button(QWidget& page, const ScreenUnits& units, const QString& text,
                    const QString& name, const QString& tip, const QRect& at) {
    auto* made = new QPushButton(text, &page);
    made->setObjectName(name);
    made->setGeometry(at);
    made->setToolTip(tip);
    made->setAccessibleName(tip);
    made->setFocusPolicy(Qt::NoFocus);
    made->setStyleSheet(QString(kButtonStyle).arg(units.fontPixels(7)));
    return made;
}

QLabel* display(QWidget& page, const ScreenUnits& units, const QString& name, const QString& tip,
                const QRect& at) {
    auto* made = new QLabel(&page);
    made->setObjectName(name);
    made->setGeometry(at);
    made->setToolTip(tip);
    made->setAccessibleDescription(tip);
    made->setAlignment(Qt::AlignCenter);
    made->setStyleSheet(displayLettering(units.fontPixels(8), "0"));
    return made;
}

QSpinBox* spinBox(QWidget& page, const ScreenUnits& units, const QString& name, const QString& tip,
                  const QRect& at, int from, int to, int step) {
    auto* made = new QSpinBox(&page);
    made->setObjectName(name);
    made->setGeometry(at);
    made->setToolTip(tip);
    made->setAccessibleName(tip);
    made->setRange(from, to);
    made->setSingleStep(step);
    made->setButtonSymbols(QAbstractSpinBox::NoButtons);
    made->setAlignment(Qt::AlignCenter);
    made->setStyleSheet(QString(kSpinStyle).arg(units.fontPixels(8)));
    made->setKeyboardTracking(false);
    QObject::connect(made, &QSpinBox::editingFinished, &page, [&page] { page.setFocus(); });
    auto value = std::make_shared<int>();
    new EscapeCancels(
        page, *made, [made, value] { *value = made->value(); },
        [made, value] { made->setValue(*value); });
    return made;
}

void show(QLabel& display, const QString& text) {
    if (display.text() != text) {
        display.setText(text);
        display.setAccessibleName(text);
    }
}

bool storedFlag(const QSettings& settings, const QString& key, bool fallback) {
    const QString text = settings.value(key, fallback).toString();
    return text == "true" || (text != "false" && fallback);
}

const PageKeys::Action* PageKeys::actionFor(const QKeyEvent& event) const {
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        return nullptr;
    }
    const auto found = m_actions.find(event.key());
    const auto wanted = m_wanted.find(event.key());
    if (found == m_actions.end() || (wanted != m_wanted.end() && !wanted->second())) {
        return nullptr;
    }
    return &found->second;
}

bool PageKeys::claim(QEvent& event) const {
    if (event.type() != QEvent::ShortcutOverride ||
        actionFor(static_cast<QKeyEvent&>(event)) == nullptr) {
        return false;
    }
    event.accept();
    return true;
}

bool PageKeys::press(const QKeyEvent& event) const {
    const Action* action = actionFor(event);
    if (action != nullptr) {
        (*action)(event);
    }
    return action != nullptr;
}

}  // namespace PanelControls
