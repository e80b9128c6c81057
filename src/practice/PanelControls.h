#pragma once

#include <QRect>
#include <QString>

class QLabel;
class QPushButton;
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
// A display's name is what it shows, for a screen reader.
void show(QLabel& display, const QString& text);

}  // namespace PanelControls
