#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// Sends each message at its due time from a thread of its own, in the order posted (a message
// due earlier than the one before it waits for it). While the last send failed, every post
// hands that failure back, so the sender hears of it until sending works again.
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
    void run();

    Send m_send;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<Clock::time_point, uint32_t>> m_queue;
    std::string m_failure;
    bool m_stopping = false;
    std::thread m_thread;
};
