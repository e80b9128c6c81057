#include <gtest/gtest.h>

#include "app/ReportGate.h"

namespace {

TEST(ReportGate, ReportsOfOneHandlerComeOneAfterAnother) {
    std::vector<std::string> boxes;
    ReportGate gate([&](const std::string& text) { boxes.push_back(text); });
    for (const char* text : {"open failed", "bad handle", "bad handle"}) {
        gate.show(text);
    }
    EXPECT_EQ(boxes, (std::vector<std::string>{"open failed", "bad handle", "bad handle"}));
}

TEST(ReportGate, ReportsWhileABoxIsOpenAreSummarisedOnce) {
    std::vector<std::string> boxes;
    ReportGate* gatePtr = nullptr;
    int depth = 0;
    ReportGate gate([&](const std::string& text) {
        boxes.push_back(text);
        // A timer firing inside the box's event loop keeps failing, in both boxes.
        ++depth;
        for (int tick = 0; tick < 5 && depth < 10; ++tick) {
            gatePtr->show("tick failed " + std::to_string(tick));
        }
        --depth;
    });
    gatePtr = &gate;
    gate.show("first");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "first");
    EXPECT_NE(boxes[1].find("5 times"), std::string::npos) << boxes[1];
    EXPECT_NE(boxes[1].find("tick failed 4"), std::string::npos) << boxes[1];

    // Afterwards the gate is open again.
    gate.show("later");
    EXPECT_EQ(boxes[2], "later");
}

}  // namespace
