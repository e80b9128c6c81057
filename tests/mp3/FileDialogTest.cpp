// The real file-open dialog, answered by the test the moment it shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <functional>

#include "TempDir.h"
#include "mp3/QtFileDialog.h"

namespace {

// Answers the next file dialog that shows, once its own event loop runs: the answer is posted
// when the dialog shows and posted once more from there, so it never lands before exec waits.
class DialogAnswerer : public QObject {
public:
    explicit DialogAnswerer(std::function<void(QFileDialog&)> answer)
        : m_answer(std::move(answer)) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* dialog = qobject_cast<QFileDialog*>(watched);
        if (dialog != nullptr && event->type() == QEvent::Show) {
            qApp->removeEventFilter(this);
            QMetaObject::invokeMethod(
                dialog,
                [this, dialog] {
                    QMetaObject::invokeMethod(
                        dialog, [this, dialog] { m_answer(*dialog); }, Qt::QueuedConnection);
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    std::function<void(QFileDialog&)> m_answer;
};

TEST(QtFileDialog, RemembersTheLastChoiceAcrossACancel) {
    TempDir dir;
    const std::string song = dir.write("song.mp3", "x");
    QtFileDialog dialog(nullptr);
    dialog.Filter("(*.mp3;)|*.mp3");

    QStringList filters;
    QString shownFilter;
    const DialogAnswerer answerer1([&](QFileDialog& shown) {
        filters = shown.nameFilters();
        shownFilter = shown.findChild<QComboBox*>("fileTypeCombo")->currentText();
        shown.reject();
    });
    dialog.ShowOpen();
    EXPECT_EQ(dialog.FileName(), "") << "nothing chosen yet";
    EXPECT_EQ(filters, QStringList{"(*.mp3;) (*.mp3)"}) << "one entry, matching *.mp3";
    EXPECT_EQ(shownFilter, "(*.mp3;)");

    const DialogAnswerer answerer2([&](QFileDialog& shown) {
        // Typed, as a user may: a selection would wait for the folder's listing to load.
        shown.findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(song));
        static_cast<QDialog&>(shown).accept();  // as the Open button does
    });
    dialog.ShowOpen();
    EXPECT_EQ(dialog.FileName(), song);

    QString startDirectory;
    const DialogAnswerer answerer3([&](QFileDialog& shown) {
        startDirectory = shown.directory().absolutePath();
        shown.reject();
    });
    dialog.ShowOpen();
    EXPECT_EQ(dialog.FileName(), song) << "a cancel keeps the previous choice";
    EXPECT_EQ(startDirectory.toStdString(), dir.str()) << "opens where the last file was";
}

}  // namespace
