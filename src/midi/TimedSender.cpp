#include "TimedSender.h"

#include <algorithm>
#include <utility>

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
    {
        std::lock_guard lock(m_mutex);
        if (!m_failure.empty()) {
            error = std::exchange(m_failure, {});
            return false;
        }
        if (!m_queue.empty()) {
            due = std::max(due, m_queue.back().first);
        }
        m_queue.emplace_back(due, message);
    }
    m_wake.notify_one();
    return true;
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
        if (!sent) {
            m_failure = error;
        }
    }
}
