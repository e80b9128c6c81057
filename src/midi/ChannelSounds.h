#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// The sound chosen on each MIDI channel, as the bank selects and program changes sent so far
// leave it: what a synthesizer that keeps its state would now play.
class ChannelSounds {
public:
    static constexpr int kChannels = 16;

    // Takes note of a packed short message; anything but a bank select or a program change is
    // passed over.
    void note(uint32_t message);
    std::optional<int16_t> program(int channel) const;
    // The bank select and program change of every channel that has a program, lowest first.
    std::vector<uint32_t> restoringMessages() const;

private:
    struct Sound {
        uint8_t bank = 0;
        std::optional<uint8_t> program;
    };
    std::array<Sound, kChannels> m_sounds{};
};
