// Messages placed into the cycles of a JACK graph, with frames standing in for due times.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "midi/jack/CyclePlacement.h"

namespace {

using Placed = std::vector<std::pair<uint32_t, uint32_t>>;  // offset, message

// One cycle of 256 frames from cycleStart; the buffer takes at most `room` messages.
Placed runCycle(StampedQueue& queue, uint32_t cycleStart, size_t room = 100) {
    Placed placed;
    placeDueMessages(
        queue, cycleStart, 256, [](int64_t stamp) { return static_cast<uint32_t>(stamp); },
        [&](uint32_t offset, uint32_t message) {
            if (placed.size() == room) {
                return false;
            }
            placed.emplace_back(offset, message);
            return true;
        });
    return placed;
}

TEST(CyclePlacement, EachMessageAtItsFrameOverdueAtTheStartLaterInItsCycle) {
    StampedQueue queue;
    const std::pair<uint32_t, int64_t> posted[] = {{0x91, 1300}, {0x92, 1255}, {0x93, 1000},
                                                   {0x94, 900},  {0x95, 1100}, {0x96, 1256}};
    for (const auto& [message, frame] : posted) {
        queue.post(message, frame);
    }
    EXPECT_EQ(runCycle(queue, 1000), (Placed{{0, 0x94}, {0, 0x93}, {100, 0x95}, {255, 0x92}}));
    EXPECT_EQ(runCycle(queue, 1256), (Placed{{0, 0x96}, {44, 0x91}}));
    EXPECT_TRUE(runCycle(queue, 1512).empty());
}

TEST(CyclePlacement, AFullBufferKeepsTheRestForTheNextCycle) {
    StampedQueue queue;
    for (uint32_t channel = 0; channel < 4; ++channel) {
        queue.post(0x90 | channel, 1010 + channel);
    }
    EXPECT_EQ(runCycle(queue, 1000, 2), (Placed{{10, 0x90}, {11, 0x91}}));
    EXPECT_EQ(runCycle(queue, 1256), (Placed{{0, 0x92}, {0, 0x93}}));
}

TEST(CyclePlacement, OffsetsHoldWhereTheFrameCounterWraps) {
    StampedQueue queue;
    queue.post(0x90, 0x100000010);  // 32 frames after 0xFFFFFFF0
    queue.post(0x91, 0xFFFFFF00);   // overdue
    EXPECT_EQ(runCycle(queue, 0xFFFFFFF0), (Placed{{0, 0x91}, {32, 0x90}}));
}

}  // namespace
