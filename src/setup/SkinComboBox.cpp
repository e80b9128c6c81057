#include "setup/SkinComboBox.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QScrollBar>

namespace {
constexpr const char* kStyle = R"(
QComboBox { background: #0B0D0F; color: #EEF1F4; border: 1px solid #2A2E33; border-radius: 2px;
            padding: 0 1px 0 3px; }
QComboBox:focus { border-color: #FF9F2E; }
QComboBox::drop-down { subcontrol-origin: padding; subcontrol-position: center right; width: 11px;
                       border: none; }
QComboBox::down-arrow { image: url(:/assets/combo-arrow.svg); width: 7px; height: 5px; }
QComboBox QLineEdit { background: transparent; color: #EEF1F4; border: none;
                      selection-background-color: #FF9F2E; selection-color: #0E1012; }
QComboBox QAbstractItemView { background: #121417; color: #EEF1F4; border: 1px solid #6A727A;
                              selection-background-color: #FF9F2E; selection-color: #0E1012;
                              outline: 0; }
)";
}  // namespace

SkinComboBox::SkinComboBox(QWidget* parent, const QString& objectName,
                           const QString& accessibleName, const QString& toolTip,
                           const QRect& geometry, int fontPixels)
    : QComboBox(parent) {
    setObjectName(objectName);
    setAccessibleName(accessibleName);
    setToolTip(toolTip);
    setEditable(true);
    // Typed text only picks an entry; it never becomes one.
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(16);
    QFont face(QStringLiteral("DejaVu Sans"));
    face.setPixelSize(fontPixels);
    setFont(face);
    setStyleSheet(kStyle);
    setGeometry(geometry);
    // A name longer than the field shows its beginning, not its end.
    connect(this, &QComboBox::currentIndexChanged, this, [this] { lineEdit()->home(false); });
}

int SkinComboBox::ListIndex() const {
    const QString text = currentText();
    const int shown = currentIndex();
    if (shown >= 0 && itemText(shown) == text) {
        return shown;
    }
    return text.isEmpty() ? -1 : findText(text);
}

// The list is as wide as its longest name, so names are never cut short in it.
void SkinComboBox::showPopup() {
    const int content =
        view()->sizeHintForColumn(0) + view()->verticalScrollBar()->sizeHint().width();
    view()->setMinimumWidth(std::max(width(), content + 4));
    QComboBox::showPopup();
}
