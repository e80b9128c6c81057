#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <optional>

// Values on their way from one thread to one other, through a fixed ring: neither side locks,
// waits or allocates. A full ring refuses the value (the sender counts it as lost).
template <typename T, size_t Capacity>
class HandOver {
public:
    bool post(const T& value) {
        const size_t written = m_written.load(std::memory_order_relaxed);
        if (written - m_read.load(std::memory_order_acquire) == Capacity) {
            return false;
        }
        m_ring[written % Capacity] = value;
        m_written.store(written + 1, std::memory_order_release);
        return true;
    }
    std::optional<T> take() {
        const size_t read = m_read.load(std::memory_order_relaxed);
        if (read == m_written.load(std::memory_order_acquire)) {
            return std::nullopt;
        }
        T value = m_ring[read % Capacity];
        m_read.store(read + 1, std::memory_order_release);
        return value;
    }

private:
    std::array<T, Capacity> m_ring{};
    std::atomic<size_t> m_written{0}, m_read{0};
};
