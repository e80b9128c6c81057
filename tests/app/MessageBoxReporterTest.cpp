#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/MessageBoxReporter.h"

namespace {

std::vector<QMessageBox*> openBoxes() {
    std::vector<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
            boxes.push_back(box);
        }
    }
    return boxes;
}

// Each time a box is up: note its caption, text and buttons, let a timer report once more from
// inside the box's event loop, then press OK.
TEST(MessageBoxReporter, OneBoxAtATimeCaptionedRZ77WithOkOnly) {
    MessageBoxReporter reporter;
    std::vector<std::string> seen;
    size_t mostOpen = 0;
    QTimer inspector;
    inspector.setInterval(20);
    QObject::connect(&inspector, &QTimer::timeout, [&] {
        const auto boxes = openBoxes();
        mostOpen = std::max(mostOpen, boxes.size());
        if (boxes.empty()) {
            return;
        }
        QMessageBox* box = boxes.front();
        EXPECT_EQ(box->windowTitle(), "RZ77");
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        seen.push_back(box->text().toStdString());
        reporter.show("tick failed");
        box->button(QMessageBox::Ok)->click();
    });
    inspector.start();
    reporter.show("device failed");
    inspector.stop();

    EXPECT_EQ(mostOpen, 1u);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "device failed");
    EXPECT_NE(seen[1].find("once more"), std::string::npos) << seen[1];
    EXPECT_NE(seen[1].find("tick failed"), std::string::npos) << seen[1];
    EXPECT_TRUE(openBoxes().empty());
}

}  // namespace
