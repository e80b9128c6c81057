#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <limits>
#include <vector>

// A single-producer, single-consumer ring of samples, allocated once: a worker writes, the audio
// thread reads without waiting or allocating. Samples are counted from the start, so a count
// names a sample for good.
//
// The producer may take back what is not yet read: it fences the consumer off the samples from a
// count on, and once the consumer is out of a read that started before the fence (the caller
// knows when), it writes anew from there.
class SampleRing {
public:
    static constexpr size_t kNoFence = std::numeric_limits<size_t>::max();

    explicit SampleRing(size_t capacity) : m_samples(capacity) {}

    // The producer.
    size_t space() const {
        return m_samples.size() -
               (m_written.load(std::memory_order_relaxed) - m_read.load(std::memory_order_acquire));
    }
    size_t write(const float* samples, size_t count) {
        const size_t written = m_written.load(std::memory_order_relaxed);
        count = std::min(count, space());
        for (size_t i = 0; i < count; ++i) {
            m_samples[(written + i) % m_samples.size()] = samples[i];
        }
        m_written.store(written + count, std::memory_order_release);
        return count;
    }
    size_t written() const { return m_written.load(std::memory_order_relaxed); }
    void setFence(size_t at) { m_fence.store(at); }
    // Copies written samples that are not read yet, for a crossfade out of them.
    size_t peek(size_t from, float* out, size_t count) const {
        count = std::min(count, m_written.load(std::memory_order_relaxed) - from);
        for (size_t i = 0; i < count; ++i) {
            out[i] = m_samples[(from + i) % m_samples.size()];
        }
        return count;
    }
    // Only behind a fence the consumer has seen, at the fence or before it.
    void takeBack(size_t from) { m_written.store(from, std::memory_order_release); }

    // The consumer: adds up to count samples to out; returns how many there were.
    size_t readAdding(float* out, size_t count) {
        const size_t read = m_read.load(std::memory_order_relaxed);
        const size_t end = std::min(m_written.load(std::memory_order_acquire), m_fence.load());
        count = end > read ? std::min(count, end - read) : 0;
        for (size_t i = 0; i < count; ++i) {
            out[i] += m_samples[(read + i) % m_samples.size()];
        }
        m_read.store(read + count, std::memory_order_release);
        return count;
    }
    // Either side.
    size_t readCount() const { return m_read.load(std::memory_order_acquire); }
    bool empty() const {
        return m_written.load(std::memory_order_acquire) == m_read.load(std::memory_order_relaxed);
    }

    // Only while neither side is at work.
    void clear() {
        m_written.store(0);
        m_read.store(0);
        m_fence.store(kNoFence);
    }

private:
    std::vector<float> m_samples;
    std::atomic<size_t> m_written{0};
    std::atomic<size_t> m_read{0};
    std::atomic<size_t> m_fence{kNoFence};
};
