#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Takes the metronome's click out of what the microphone hears, so that it is never taken for a
// note of the player's. Each click is expected at a sample of the stream; what the microphone
// makes of it (the speaker, the room) is learnt from the clicks themselves as the median of the
// last few heard, sample by sample, which a guitar note struck with some of them does not move;
// each click is found to the sample by its correlation with that sound and subtracted there.
// The stream comes out a fixed delay later, the time needed to find a click before it is taken
// out. Only clicks the player leaves alone are learnt from. Each click's sound runs until the next
// click or 400 ms, all of its echo in a room that is not a hall. Until the sound is learnt, onsets
// near a click are gated instead. When the clicks are not heard at all (headphones) nothing is
// subtracted or gated once that is clear. Owns its buffers from construction on: processing never
// allocates.
class ClickCanceller {
public:
    explicit ClickCanceller(int sampleRate);

    void reset();
    // A click expected to begin near this sample of the stream; in time order, before the
    // stream reaches it.
    void expect(int64_t sample);
    // Takes `count` samples of the stream and writes the `count` samples that come out, with the
    // clicks taken out: the stream's samples delaySamples() earlier.
    void process(const float* in, float* out, size_t count);
    int64_t delaySamples() const { return m_delay; }
    // True for an onset at this sample that is the click itself, while its sound is not learnt.
    bool gated(int64_t onset) const;
    // A note of the player's began at this sample: the clicks it sounds under are not learnt
    // from, so that a player who keeps playing at one lag from the click does not teach it the
    // guitar's attack.
    void noteAt(int64_t onset);

private:
    // Whether the clicks are heard clearly enough to be taken out.
    bool learnt() const { return m_learntCount >= kMinimumLearnt && m_heard; }
    static constexpr size_t kRing = 1 << 15;  // more than a click's sound and the delay
    static constexpr size_t kMask = kRing - 1;
    static constexpr size_t kMaxLength = 19200;  // 400 ms at 48 kHz
    static constexpr size_t kKept = 9;
    static constexpr int kMinimumLearnt = 3;
    static constexpr size_t kExpected = 32;
    static constexpr size_t kRecent = 8;
    static constexpr size_t kFade = 4800;  // 100 ms at 48 kHz

    struct Click {
        int64_t expected = 0;  // where its learnt sound would begin
        int64_t found = -1;    // -1 until found
        bool heard = false;
        bool learnt = false;
        bool underNote = false;
    };

    float raw(int64_t i) const { return m_raw[static_cast<size_t>(i) & kMask]; }
    Click& clickAt(size_t fromFirst);
    const Click& clickAt(size_t fromFirst) const;
    void find(Click& click);
    void learn(Click& click, int64_t length);
    float soundAt(int64_t i) const;
    float fadeAt(int64_t n, int64_t length) const;
    int64_t lengthOf(size_t fromFirst) const;

    int64_t m_search, m_length, m_gateBefore, m_gateAfter, m_ringing, m_delay;
    std::array<float, kRing> m_raw{};
    int64_t m_in = 0, m_out = 0;
    std::array<Click, kExpected> m_clicks{};
    size_t m_first = 0, m_count = 0;  // the clicks still to be found, subtracted or learnt
    std::array<std::array<float, kMaxLength>, kKept> m_kept{};
    size_t m_keptCount = 0, m_keptNext = 0;
    std::array<float, kKept> m_column{};
    std::array<int64_t, kKept> m_keptLength{};
    std::array<float, kMaxLength> m_template{};
    std::array<float, kFade> m_fade{};
    int m_learntCount = 0;
    std::array<bool, kRecent> m_recentHeard{};
    std::array<int64_t, kRecent> m_recentAttacks{};
    size_t m_expectedTotal = 0;
    bool m_heard = false;
};
