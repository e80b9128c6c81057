#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

// Short MIDI messages, each with the stamp (a frame or a time) it is due at, on their way from
// one sending thread to one real-time thread. They share no lock and the real-time side never
// allocates: the sender posts into a ring; the real-time side collects the ring into a list
// sorted by stamp (equal stamps in posting order) and takes what is due from its front.
// A channel's messages keep the order they were posted in: one stamped earlier than the
// channel's last goes at that one's stamp.
class StampedQueue {
public:
    struct Entry {
        int64_t stamp;
        uint32_t message;
    };
    static constexpr size_t kCapacity = 4096;

    StampedQueue() { m_pending.reserve(kCapacity); }

    // The sender. False when the real-time side has fallen so far behind that the ring is full.
    bool post(uint32_t message, int64_t stamp) {
        const size_t written = m_written.load(std::memory_order_relaxed);
        if (written - m_read.load(std::memory_order_acquire) == kCapacity) {
            return false;
        }
        int64_t& channelStamp = m_lastChannelStamp[message & 0x0F];
        channelStamp = std::max(channelStamp, stamp);
        m_ring[written % kCapacity] = {channelStamp, message};
        m_written.store(written + 1, std::memory_order_release);
        return true;
    }

    // The real-time side, from here on.
    // What does not fit stays in the ring until it does.
    void collect() {
        const size_t written = m_written.load(std::memory_order_acquire);
        size_t read = m_read.load(std::memory_order_relaxed);
        for (; read != written && m_pending.size() < kCapacity; ++read) {
            const Entry& posted = m_ring[read % kCapacity];
            const auto after = std::upper_bound(
                m_pending.begin(), m_pending.end(), posted.stamp,
                [](int64_t stamp, const Entry& pending) { return stamp < pending.stamp; });
            m_pending.insert(after, posted);
        }
        m_read.store(read, std::memory_order_release);
    }
    bool empty() const {
        return m_written.load(std::memory_order_acquire) ==
                   m_read.load(std::memory_order_relaxed) &&
               m_pending.empty();
    }
    const std::vector<Entry>& pending() const { return m_pending; }
    // How many pending entries are stamped before `stamp`.
    size_t countBefore(int64_t stamp) const {
        return static_cast<size_t>(
            std::lower_bound(m_pending.begin(), m_pending.end(), stamp,
                             [](const Entry& pending, int64_t s) { return pending.stamp < s; }) -
            m_pending.begin());
    }
    void dropFront(size_t count) {
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(count));
    }

private:
    std::array<Entry, kCapacity> m_ring{};
    std::atomic<size_t> m_written{0};
    std::atomic<size_t> m_read{0};
    std::array<int64_t, 16> m_lastChannelStamp{};  // the sender's
    std::vector<Entry> m_pending;                  // the real-time side's
};
