#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Takes the metronome's click out of what the microphone hears, so that it is never taken for a
// note of the player's. Each click is expected at a sample of the stream; what the microphone
// makes of it (the speaker, the room) is learnt from the clicks themselves, one sound for each
// kind of click the metronome strikes (the accent is a higher tick, a subdivision a softer one),
// as their average weighted by how quiet the stream was just before each: a guitar ringing under
// a click is in what is heard with it, and the quietest clicks hold least of it. Each click is
// found by its correlation with that sound, to a fraction of a sample (the input's clock is not
// the output's), around where the last ones were found (where the grid puts the clicks wanders by
// milliseconds over a take), and subtracted there. The stream comes out a fixed delay later, the
// time needed to find a click before it is taken out. Clicks with a note struck under them are
// not learnt from. Each click's sound runs until the next click or
// 400 ms, all of its echo in a room that is not a hall. Until a kind's sound is learnt, onsets
// near its clicks are gated instead. When the clicks are not heard at all (headphones) nothing is
// subtracted or gated once that is clear. Owns its buffers from construction on: processing never
// allocates.
class ClickCanceller {
public:
    // The metronome's kinds of click, each with a sound of its own.
    enum class Sound : uint8_t { Accent, Beat, Subdivision };

    explicit ClickCanceller(int sampleRate);

    void reset();
    // A click expected to begin near this sample of the stream; in time order, before the
    // stream reaches it.
    void expect(int64_t sample, Sound sound);
    // Takes `count` samples of the stream and writes the `count` samples that come out, with the
    // clicks taken out: the stream's samples delaySamples() earlier.
    void process(const float* in, float* out, size_t count);
    int64_t delaySamples() const { return m_delay; }
    // True for an onset at this sample that is a click itself, while its sound is not learnt.
    bool gated(int64_t onset) const;
    // A note of the player's began at this sample: the clicks it sounds under are not learnt
    // from, so that a player who keeps playing at one lag from the click does not teach it the
    // guitar's attack.
    void noteAt(int64_t onset);
    // The output was silenced (the metronome stopped) when the stream reached this sample: every
    // click expected so far is cut off there, or at its attack if it comes later (it still sounds,
    // for a moment, since a channel's notes go out in order). What is left of a click cut that
    // early is no note of the player's.
    void silenceFrom(int64_t sample);

private:
    static constexpr size_t kRing = 1 << 15;  // more than a click's sound, the delay and m_told
    static constexpr size_t kMask = kRing - 1;
    static constexpr size_t kMaxLength = 19200;  // 400 ms at 48 kHz
    static constexpr size_t kSounds = 3;
    static constexpr int kMinimumLearnt = 3;
    static constexpr size_t kExpected = 32;
    static constexpr size_t kRecent = 8;
    static constexpr size_t kFade = 4800;  // 100 ms at 48 kHz
    static constexpr size_t kRecentLags = 5;
    static constexpr size_t kFrame = 48;  // a stretch of the learnt sound weighed as one

    struct Click {
        int64_t expected = 0;  // where its learnt sound would begin
        int64_t found = -1;    // -1 until found
        float fraction = 0;    // of a sample after `found`, where it is heard
        Sound sound = Sound::Beat;
        bool heard = false;
        bool learnt = false;
        bool underNote = false;
        int64_t cutAt = INT64_MAX;  // where its sound stops, when the output is silenced
    };

    // What one kind of click sounds like: each sample the weighted average of the clicks kept.
    struct Learnt {
        std::array<float, kMaxLength> sound{}, sum{}, weight{};
        int clicks = 0;  // learnt from or passed over
        bool kept = false;
    };

    // Whether the clicks are heard clearly enough to be taken out.
    bool subtracting(const Learnt& learnt) const { return learnt.kept && m_heard; }
    // Whether onsets near a click of this kind are taken for the click: until one is heard
    // alone, or a few have gone by with notes on them all.
    static bool gating(const Learnt& learnt) {
        return !learnt.kept && learnt.clicks < kMinimumLearnt;
    }
    float raw(int64_t i) const { return m_raw[static_cast<size_t>(i) & kMask]; }
    Learnt& learntFor(Sound sound) { return m_learnt[static_cast<size_t>(sound)]; }
    const Learnt& learntFor(Sound sound) const { return m_learnt[static_cast<size_t>(sound)]; }
    Click& clickAt(size_t fromFirst);
    const Click& clickAt(size_t fromFirst) const;
    struct Match {
        double dot, correlation;
    };
    Match match(const Learnt& learnt, int64_t start) const;
    float fractionAt(const Learnt& learnt, int64_t found) const;
    void find(Click& click);
    void learn(Click& click, int64_t length);
    void keep(const Click& click, int64_t length);
    static void settle(Learnt& learnt, size_t from, size_t to);
    void followDrift(int64_t lag);
    float soundAt(int64_t i) const;
    bool nearCutClick(int64_t onset) const;
    int64_t attackOf(const Click& click) const;
    float fadeAt(int64_t n, int64_t length) const;
    int64_t lengthOf(size_t fromFirst) const;

    int64_t m_search, m_length, m_gateBefore, m_gateAfter, m_ringing, m_quietBefore, m_told,
        m_delay;
    std::array<float, kRing> m_raw{};
    int64_t m_in = 0, m_out = 0;
    std::array<Click, kExpected> m_clicks{};
    size_t m_first = 0, m_count = 0;  // the clicks still to be found, subtracted or learnt
    std::array<Learnt, kSounds> m_learnt{};
    std::array<float, kFade> m_fade{};
    int m_clicksPassed = 0;
    std::array<bool, kRecent> m_recentHeard{};
    std::array<int64_t, kRecent> m_recentAttacks{};
    std::array<Sound, kRecent> m_recentSounds{};
    size_t m_expectedTotal = 0;
    bool m_heard = false;
    std::array<int64_t, kRecentLags> m_recentLags{};
    size_t m_lagCount = 0;
    int64_t m_drift = 0;  // samples from where clicks are expected to where they are heard
};
