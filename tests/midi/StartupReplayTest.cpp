// Which sound selections a new JACK connection sends again, and in which cycle.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "midi/jack/StartupReplay.h"

namespace {

using Messages = std::vector<uint32_t>;
using Replays = std::vector<std::pair<int, Messages>>;  // cycle, messages sent again

struct Step {
    int cycle;
    uint32_t troubles;  // xruns and new orders told of so far
    Messages placed;
    size_t room = 100;  // how many messages the cycle's buffer takes
};

// Cycles of a tenth of a second at 48 kHz, from the first that carries messages.
Replays run(const std::vector<Step>& steps) {
    StartupReplay startup(48000);
    Replays replays;
    uint32_t troubles = 0;
    auto step = steps.begin();
    for (int cycle = 0; cycle <= steps.back().cycle; ++cycle) {
        const bool stepNow = step->cycle == cycle;
        troubles = stepNow ? step->troubles : troubles;
        Messages sent;
        startup.startCycle(4800, troubles, [&](uint32_t message) {
            if (stepNow && sent.size() == step->room) {
                return false;
            }
            sent.push_back(message);
            return true;
        });
        if (!sent.empty()) {
            replays.emplace_back(cycle, sent);
        }
        if (stepNow) {
            for (uint32_t message : step->placed) {
                startup.placed(message);
            }
            ++step;
        }
    }
    return replays;
}

const Messages kStartUp = {0x0000B0, 0x0018C0, 0x0000BA, 0x007FCA};  // bank, program; twice

TEST(StartupReplay, SendsTheSoundSelectionsAgainAfterATroubleInTheStartUp) {
    // Bank (both bytes) and program among a note, a volume, an all-notes-off and a clock.
    const Messages kMixed = {0x0000B0, 0x0120B0, 0x7F3C90, 0x0018C0, 0x6407B0,
                             0x007BB0, 0x0000BA, 0x0000F8, 0x007FCA};
    const Messages kSelections = {0x0000B0, 0x0120B0, 0x0018C0, 0x0000BA, 0x007FCA};
    const struct {
        const char* name;
        std::vector<Step> steps;
        Replays expected;
    } cases[] = {
        {"OnlySelectionsInOrder", {{0, 0, kMixed}, {2, 1, {}}}, {{2, kSelections}}},
        {"TroublesBeforeAnySelection", {{0, 2, {}}, {1, 2, kStartUp}, {3, 2, {}}}, {}},
        {"NotAfterHalfASecondClean", {{0, 0, kStartUp}, {6, 1, {}}}, {}},
        {"EachTroubleAgain",
         {{0, 0, kStartUp}, {4, 1, {}}, {8, 3, {}}},
         {{4, kStartUp}, {8, kStartUp}}},
        {"ALaterSelectionKeepsItOpen",
         {{0, 0, kStartUp}, {4, 0, {0x0019C0}}, {8, 1, {}}},
         {{8, {0x0000B0, 0x0018C0, 0x0000BA, 0x007FCA, 0x0019C0}}}},
        {"WholeAgainAfterAFullBuffer",
         {{0, 0, kStartUp}, {1, 1, {}, 2}, {2, 1, {}}},
         {{1, {0x0000B0, 0x0018C0}}, {2, kStartUp}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.steps), c.expected) << c.name;
    }
}

// A trouble every 0.4 s keeps the start-up open until its five seconds (cycle 50) are over; of
// 70 programs the oldest six make room for the latest.
TEST(StartupReplay, EndsFiveSecondsAfterItOpensAndKeepsTheLatestSelections) {
    std::vector<Step> steps;
    Messages programs;
    for (uint32_t program = 0; program < 70; ++program) {
        programs.push_back(0xC0 | program << 8);
    }
    Replays expected;
    for (int cycle = 0; cycle <= 52; cycle += 4) {
        steps.push_back({cycle, static_cast<uint32_t>(cycle), cycle == 0 ? programs : Messages{}});
        if (cycle > 0 && cycle < 50) {
            expected.emplace_back(cycle, Messages(programs.end() - 64, programs.end()));
        }
    }
    EXPECT_EQ(run(steps), expected);
}

}  // namespace
