#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <vector>

// A single-producer, single-consumer ring of samples, allocated once: a worker writes, the audio
// thread reads without waiting or allocating.
class SampleRing {
public:
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

    // The consumer: adds up to count samples to out; returns how many there were.
    size_t readAdding(float* out, size_t count) {
        const size_t read = m_read.load(std::memory_order_relaxed);
        count = std::min(count, m_written.load(std::memory_order_acquire) - read);
        for (size_t i = 0; i < count; ++i) {
            out[i] += m_samples[(read + i) % m_samples.size()];
        }
        m_read.store(read + count, std::memory_order_release);
        return count;
    }
    bool empty() const {
        return m_written.load(std::memory_order_acquire) == m_read.load(std::memory_order_relaxed);
    }

    // Only while neither side is at work.
    void clear() {
        m_written.store(0);
        m_read.store(0);
    }

private:
    std::vector<float> m_samples;
    std::atomic<size_t> m_written{0};
    std::atomic<size_t> m_read{0};
};
