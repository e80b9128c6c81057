#include "midi/ChannelSounds.h"

namespace {
constexpr uint32_t kControlChange = 0xB0;
constexpr uint32_t kProgramChange = 0xC0;
constexpr uint32_t kBankSelect = 0;

uint32_t packed(uint32_t status, uint32_t data1, uint32_t data2 = 0) {
    return status | data1 << 8 | data2 << 16;
}
}  // namespace

void ChannelSounds::note(uint32_t message) {
    const uint32_t kind = message & 0xF0;
    Sound& sound = m_sounds[message & 0x0F];
    const auto data1 = static_cast<uint8_t>((message >> 8) & 0x7F);
    const auto data2 = static_cast<uint8_t>((message >> 16) & 0x7F);
    if (kind == kProgramChange) {
        sound.program = data1;
    } else if (kind == kControlChange && data1 == kBankSelect) {
        sound.bank = data2;
    }
}

std::optional<int16_t> ChannelSounds::program(int channel) const {
    if (channel < 0 || channel >= kChannels || !m_sounds[channel].program) {
        return std::nullopt;
    }
    return *m_sounds[channel].program;
}

std::vector<uint32_t> ChannelSounds::restoringMessages() const {
    std::vector<uint32_t> messages;
    for (uint32_t channel = 0; channel < kChannels; ++channel) {
        const Sound& sound = m_sounds[channel];
        if (sound.program) {
            messages.push_back(packed(kControlChange + channel, kBankSelect, sound.bank));
            messages.push_back(packed(kProgramChange + channel, *sound.program));
        }
    }
    return messages;
}
