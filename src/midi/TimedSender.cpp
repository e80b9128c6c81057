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
        if (!m_queue.empty()) {
            due = std::max(due, m_queue.back().first);
        }
        m_queue.emplace_back(due, message);
    }
    m_wake.notify_one();
    return !failing;
}

void TimedSender::run() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (m_queue.empty()) {
            m_wake.wait(lock);
            continue;
        }
        const auto [due, message] = m_queue.front();
        if (m_wake.wait_until(lock, due, [&] { return m_stopping; })) {
            break;
        }
        m_queue.pop_front();
        lock.unlock();
        std::string error;
        const bool sent = m_send(message, error);
        lock.lock();
        m_failure = sent ? std::string() : error;
    }
}
