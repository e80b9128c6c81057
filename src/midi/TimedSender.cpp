#include "midi/TimedSender.h"

#include <algorithm>

TimedSender::TimedSender(Send send) : m_send(std::move(send)), m_thread([this] { run(); }) {}

TimedSender::~TimedSender() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

bool TimedSender::post(uint32_t message, Clock::time_point due, std::string& error) {
    bool failing = false;
    {
        std::lock_guard lock(m_mutex);
        failing = !m_failure.empty();
        if (failing) {
            error = m_failure;
        }
        due = orderedDue(message, due);
        const auto after = std::upper_bound(
            m_queue.begin(), m_queue.end(), due,
            [](Clock::time_point time, const auto& queued) { return time < queued.first; });
        m_queue.emplace(after, due, message);
    }
    m_wake.notify_one();
    return !failing;
}

// A system message (status 0xF0 and up) speaks to the whole device, a reset or the song's
// position, so it keeps its place among every channel's messages: it waits for all posted before
// it, and all posted after it wait for it.
TimedSender::Clock::time_point TimedSender::orderedDue(uint32_t message, Clock::time_point due) {
    if ((message & 0xF0) != 0xF0) {
        Clock::time_point& channelDue = m_lastDue[message & 0x0F];
        channelDue = std::max(channelDue, due);
        return channelDue;
    }
    due = std::max(due, *std::max_element(m_lastDue.begin(), m_lastDue.end()));
    m_lastDue.fill(due);
    return due;
}

void TimedSender::run() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (m_queue.empty()) {
            m_wake.wait(lock);
            continue;
        }
        // Woken early, the front is looked at again: a post may have put a message before it.
        if (const auto due = m_queue.front().first; Clock::now() < due) {
            m_wake.wait_until(lock, due);
            continue;
        }
        const uint32_t message = m_queue.front().second;
        m_queue.pop_front();
        lock.unlock();
        std::string error;
        const bool sent = m_send(message, error);
        lock.lock();
        m_failure = sent ? std::string() : error;
    }
}
