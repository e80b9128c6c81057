#pragma once

#include <QComboBox>

// An editable combo box (a list to choose from plus a text field) drawn to fit the dark skins.
class SkinComboBox : public QComboBox {
    Q_OBJECT
public:
    SkinComboBox(QWidget* parent, const QString& objectName, const QString& accessibleName,
                 const QString& toolTip, const QRect& geometry, int fontPixels);

    // The selected position: the entry shown or, once the user has typed, the entry whose text
    // equals the typed text; -1 when none does.
    int ListIndex() const;

    void showPopup() override;
};
