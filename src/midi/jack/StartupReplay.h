#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The sound selections (bank selects and program changes) a new connection carried in its first
// cycles, kept so that they go out again when the server tells of an xrun or of a new graph
// order in those cycles: a busy server may not have delivered those cycles, and a lost selection
// leaves every later note in the wrong sound. Only these are kept, since a second copy of one
// selects the same sound again, where a note or an all-notes-off would be heard twice or cut a
// note struck since; replayed in the order placed, they leave each channel on its latest sound.
// The process thread's alone: it never allocates.
class StartupReplay {
public:
    // Enough for a bank and a program on every channel and some changes of mind after them.
    static constexpr size_t kCapacity = 64;

    // The start-up lasts until half a second has passed clean since the last selection placed
    // or the last trouble: the server's notice of an xrun reaches us on a thread of its own,
    // which a loaded machine can keep waiting for tens of milliseconds after the cycle it was
    // lost in. It lasts at most five seconds, so that a server that keeps failing does not get
    // the selections again for the rest of the session.
    explicit StartupReplay(uint32_t sampleRate = 48000)
        : m_cleanFrames(sampleRate / 2), m_longestFrames(uint64_t{sampleRate} * 5) {}

    // At the start of each cycle from the first that may carry messages. troubles counts the
    // xruns and new graph orders the server has told of so far; when it has grown, the
    // selections kept go out again through write(message), which returns false on a full buffer
    // (the whole replay is then tried again in the next cycle).
    template <class Write>
    void startCycle(uint32_t frames, uint32_t troubles, Write write) {
        if (!m_open) {
            return;
        }
        if (troubles != m_troublesSeen) {
            m_troublesSeen = troubles;
            m_replayDue = m_count > 0;
            m_framesClean = 0;
        }
        if (m_replayDue) {
            m_replayDue = !replay(write);
        }
        advance(frames);
    }

    // Each message written into the cycle.
    void placed(uint32_t message) {
        if (m_open && selectsSound(message)) {
            m_kept[(m_first + m_count) % kCapacity] = message;
            if (m_count == kCapacity) {
                m_first = (m_first + 1) % kCapacity;  // the oldest is what a replay needs least
            } else {
                ++m_count;
            }
            m_framesClean = 0;
        }
    }

    bool open() const { return m_open; }

private:
    static bool selectsSound(uint32_t message) {
        const uint32_t type = message & 0xF0;
        const uint32_t controller = (message >> 8) & 0x7F;
        return type == 0xC0 || (type == 0xB0 && (controller == 0 || controller == 32));
    }

    template <class Write>
    bool replay(Write write) {
        for (size_t i = 0; i < m_count; ++i) {
            if (!write(m_kept[(m_first + i) % kCapacity])) {
                return false;
            }
        }
        return true;
    }

    void advance(uint32_t frames) {
        m_framesClean += frames;
        m_framesOpen += frames;
        const bool settled = m_count > 0 && m_framesClean >= m_cleanFrames;
        m_open = m_replayDue || !(settled || m_framesOpen >= m_longestFrames);
    }

    uint64_t m_cleanFrames;
    uint64_t m_longestFrames;
    std::array<uint32_t, kCapacity> m_kept{};
    size_t m_first = 0;
    size_t m_count = 0;
    uint32_t m_troublesSeen = 0;
    uint64_t m_framesClean = 0;
    uint64_t m_framesOpen = 0;
    bool m_replayDue = false;
    bool m_open = true;
};
