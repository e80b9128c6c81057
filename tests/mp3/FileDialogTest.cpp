// The real file-open dialog, answered by the test the moment it shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QTimer>
#include <functional>

#include "QtFileDialog.h"
#include "TempDir.h"

namespace {

// Runs answer on the open dialog as soon as it is up.
void whenShown(std::function<void(QFileDialog&)> answer) {
    QTimer::singleShot(10, [answer] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(window);
            if (dialog != nullptr && dialog->isVisible()) {
                answer(*dialog);
                return;
            }
        }
        whenShown(answer);
    });
}

TEST(QtFileDialog, RemembersTheLastChoiceAcrossACancel) {
    TempDir dir;
    const std::string song = dir.write("song.mp3", "x");
    QtFileDialog dialog(nullptr);
    dialog.Filter("(*.mp3;)|*.mp3");

    QStringList filters;
    QString shownFilter;
    whenShown([&](QFileDialog& shown) {
        filters = shown.nameFilters();
        shownFilter = shown.findChild<QComboBox*>("fileTypeCombo")->currentText();
        shown.reject();
    });
    dialog.ShowOpen();
    EXPECT_EQ(dialog.FileName(), "") << "nothing chosen yet";
    EXPECT_EQ(filters, QStringList{"(*.mp3;) (*.mp3)"}) << "one entry, matching *.mp3";
    EXPECT_EQ(shownFilter, "(*.mp3;)");

    whenShown([&](QFileDialog& shown) {
        shown.selectFile(QString::fromStdString(song));
        static_cast<QDialog&>(shown).accept();  // as the Open button does
    });
    dialog.ShowOpen();
    EXPECT_EQ(dialog.FileName(), song);

    QString startDirectory;
    whenShown([&](QFileDialog& shown) {
        startDirectory = shown.directory().absolutePath();
        shown.reject();
    });
    dialog.ShowOpen();
    EXPECT_EQ(dialog.FileName(), song) << "a cancel keeps the previous choice";
    EXPECT_EQ(startDirectory.toStdString(), dir.str()) << "opens where the last file was";
}

}  // namespace
