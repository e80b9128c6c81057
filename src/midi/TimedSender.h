#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// Sends each message at its due time from a thread of its own. A channel's messages go in the
// order posted (one due earlier than the channel's last waits for it); other channels' messages
// do not wait for them, so a note-off posted now passes clicks stamped ahead on the click
// channel. While the last send failed, every post hands that failure back, so the sender hears
// of it until sending works again.
class TimedSender {
public:
    using Clock = std::chrono::steady_clock;
    using Send = std::function<bool(uint32_t message, std::string& error)>;

    explicit TimedSender(Send send);
    ~TimedSender();
    TimedSender(const TimedSender&) = delete;
    TimedSender& operator=(const TimedSender&) = delete;

    // False with error set while the last send failed; the message is queued all the same.
    bool post(uint32_t message, Clock::time_point due, std::string& error);

private:
    Clock::time_point orderedDue(uint32_t message, Clock::time_point due);
    void run();

    Send m_send;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<Clock::time_point, uint32_t>> m_queue;  // by due time, then post order
    std::array<Clock::time_point, 16> m_lastDue{};               // of each channel's last post
    std::string m_failure;
    bool m_stopping = false;
    std::thread m_thread;
};
