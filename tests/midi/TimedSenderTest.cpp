// The order in which a port's sending thread gives out messages posted with due times.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "midi/TimedSender.h"

namespace {

using namespace std::chrono_literals;
using Messages = std::vector<uint32_t>;
using Posts = std::vector<std::pair<uint32_t, int>>;  // message, due in ms after the start

// The start is far enough ahead for every post to be in before the first falls due, so the order
// sent is the queue's; each post comes once the thread waits for those before it.
Messages sendOrder(const Posts& posts) {
    std::mutex mutex;
    std::condition_variable done;
    Messages sent;
    TimedSender sender([&](uint32_t message, std::string&) {
        std::lock_guard lock(mutex);
        sent.push_back(message);
        done.notify_one();
        return true;
    });
    const auto start = TimedSender::Clock::now() + 200ms;
    std::string error;
    for (const auto& [message, due] : posts) {
        sender.post(message, start + std::chrono::milliseconds(due), error);
        std::this_thread::sleep_for(5ms);
    }
    std::unique_lock lock(mutex);
    done.wait_for(lock, 5s, [&] { return sent.size() == posts.size(); });
    return sent;
}

TEST(TimedSender, KeepsEachChannelsOrderAndNoOtherChannelWaits) {
    const struct {
        const char* name;
        Posts posts;
        Messages expected;
    } cases[] = {
        {"NoteOffPassesAClickAhead", {{0x99, 40}, {0x80, 0}}, {0x80, 0x99}},
        {"LaterPostOnTheChannelWaits", {{0x90, 40}, {0x80, 0}}, {0x90, 0x80}},
        {"WaitingHoldsNoOtherChannel", {{0x90, 40}, {0x80, 0}, {0x91, 20}}, {0x91, 0x90, 0x80}},
        {"EqualDuesInPostOrder", {{0x92, 10}, {0x99, 10}, {0x90, 10}}, {0x92, 0x99, 0x90}},
        {"SystemMessageBetweenAllChannels", {{0x99, 40}, {0xFF, 0}, {0x80, 0}}, {0x99, 0xFF, 0x80}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sendOrder(c.posts), c.expected) << c.name;
    }
}

}  // namespace
