#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

// When the frames of a stream are heard: the audio thread stamps the first frame of each block it
// reads with the time that block is heard, and any other thread reads the last stamp. The stamp is
// read whole through a sequence count: a reader that meets a write under way reads again, so the
// audio thread never waits, locks or allocates.
class HeardStamp {
public:
    using Clock = std::chrono::steady_clock;
    struct Stamp {
        int64_t frame;
        Clock::time_point heardAt;
        // Later frames follow at the stream's rate.
        Clock::time_point heardAtFrame(int64_t later, int rate) const {
            return heardAt +
                   std::chrono::duration_cast<Clock::duration>(
                       std::chrono::duration<double>(static_cast<double>(later - frame) / rate));
        }
    };

    // The audio thread.
    void publish(int64_t frame, Clock::time_point heardAt) {
        const uint32_t sequence = m_sequence.load();
        m_sequence.store(sequence + 1);  // odd while the stamp is being written
        m_frame.store(frame);
        m_heardAt.store(heardAt.time_since_epoch().count());
        m_sequence.store(sequence + 2);
    }

    // The last stamp, while it still tells the stream's clock: a block is stamped before it is
    // heard, so a stamp heard by `now` is from before a pause, when nothing has been read since.
    std::optional<Stamp> current(Clock::time_point now) const {
        const Stamp stamp = read();
        if (m_sequence.load() == 0 || stamp.heardAt <= now) {
            return std::nullopt;
        }
        return stamp;
    }

private:
    Stamp read() const {
        for (;;) {
            const uint32_t before = m_sequence.load();
            const Stamp stamp{m_frame.load(), Clock::time_point(Clock::duration(m_heardAt.load()))};
            if (before % 2 == 0 && m_sequence.load() == before) {
                return stamp;
            }
        }
    }

    std::atomic<uint32_t> m_sequence{0};
    std::atomic<int64_t> m_frame{0};
    std::atomic<Clock::rep> m_heardAt{0};
};
