#include "coach/ClickCanceller.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kSearchMs = 3;     // how far a click may be from where it is expected
constexpr double kCorrelateMs = 5;  // the part of its sound it is found by
// The part of its sound taken out, until the next click: a room's echoes of a click are as sharp
// as the click, and one left in would be taken for a note.
constexpr double kLengthMs = 400;
constexpr double kGateBeforeMs = 5;
constexpr double kGateAfterMs = 20;
// A note this long before a click still rings loud in it.
constexpr double kRingingMs = 150;
// A note is told (noteAt) within this of its attack, once the detector has placed it: a click is
// learnt from no sooner, so that a note struck at the end of its sound is known to be there.
constexpr double kToldWithinMs = 80;
// A click whose sound matches the learnt one at least this well was heard; a microphone that
// hears half the clicks of the last few this well hears the metronome.
constexpr double kHeardCorrelation = 0.3;
constexpr double kSureCorrelation = 0.8;
// How loud the stream is this long before a click is how much else (a guitar ringing, noise) its
// sound holds; the clicks heard longer ago count for less, so that a change of volume is learnt.
constexpr double kQuietBeforeMs = 20;
constexpr float kForgetting = 0.95f;
constexpr double kSilence = 1e-10;  // mean square, −100 dB

// sample(at + offset), |offset| <= 0.5, from the four samples around it (Lagrange's cubic).
template <typename Sample>
double between(Sample sample, int64_t at, double offset) {
    const int64_t whole = at + (offset < 0 ? -1 : 0);
    const double x = offset < 0 ? offset + 1 : offset;
    const double a = sample(whole - 1), b = sample(whole), c = sample(whole + 1),
                 d = sample(whole + 2);
    return -x * (x - 1) * (x - 2) / 6 * a + (x + 1) * (x - 1) * (x - 2) / 2 * b -
           (x + 1) * x * (x - 2) / 2 * c + (x + 1) * x * (x - 1) / 6 * d;
}

int64_t samplesFor(double ms, int rate) {
    return static_cast<int64_t>(std::lround(ms * rate / 1000));
}

}  // namespace

ClickCanceller::ClickCanceller(int sampleRate)
    : m_search(samplesFor(kSearchMs, sampleRate)),
      m_length(std::min<int64_t>(samplesFor(kLengthMs, sampleRate), kMaxLength)),
      m_gateBefore(samplesFor(kGateBeforeMs, sampleRate)),
      m_gateAfter(samplesFor(kGateAfterMs, sampleRate)),
      m_ringing(samplesFor(kRingingMs, sampleRate)),
      m_quietBefore(samplesFor(kQuietBeforeMs, sampleRate)),
      m_told(samplesFor(kToldWithinMs, sampleRate)),
      m_delay(2 * m_search + samplesFor(kCorrelateMs, sampleRate)) {
    for (size_t n = 0; n < kFade; ++n) {
        m_fade[n] = static_cast<float>(0.5 + 0.5 * std::cos(std::numbers::pi * double(n) / kFade));
    }
    reset();
}

void ClickCanceller::reset() {
    m_raw.fill(0);
    m_in = 0;
    m_out = -m_delay;
    m_first = m_count = 0;
    for (Learnt& learnt : m_learnt) {
        learnt.sound.fill(0);
        learnt.sum.fill(0);
        learnt.weight.fill(0);
        learnt.clicks = 0;
        learnt.kept = false;
    }
    m_clicksPassed = 0;
    m_lagCount = 0;
    m_drift = 0;
    m_recentHeard.fill(false);
    m_recentAttacks.fill(INT64_MIN / 2);
    m_expectedTotal = 0;
    m_heard = false;
}

// The learnt sound begins a search's width before the click is expected, so that its attack
// lies inside it wherever within the search the click is found.
void ClickCanceller::expect(int64_t sample, Sound sound) {
    const int64_t start = sample - m_search;
    if (start < m_in || m_count == kExpected ||
        (m_count > 0 && start <= clickAt(m_count - 1).expected)) {
        return;  // already heard, a backlog no stream makes, or out of order
    }
    clickAt(m_count) = Click{start, -1, 0, sound, false, false, false, INT64_MAX};
    ++m_count;
    m_recentSounds[m_expectedTotal % kRecent] = sound;
    m_recentAttacks[m_expectedTotal++ % kRecent] = sample;
}

ClickCanceller::Click& ClickCanceller::clickAt(size_t fromFirst) {
    return m_clicks[(m_first + fromFirst) % kExpected];
}

const ClickCanceller::Click& ClickCanceller::clickAt(size_t fromFirst) const {
    return m_clicks[(m_first + fromFirst) % kExpected];
}

bool ClickCanceller::gated(int64_t onset) const {
    if (nearCutClick(onset)) {
        return true;
    }
    for (size_t i = 0; i < std::min(m_expectedTotal, kRecent); ++i) {
        const int64_t attack = m_recentAttacks[i];
        if (gating(learntFor(m_recentSounds[i])) && onset >= attack + m_drift - m_gateBefore &&
            onset <= attack + m_drift + m_gateAfter) {
            return true;
        }
    }
    return false;
}

// Where it was found, or until then where the last clicks put it.
int64_t ClickCanceller::attackOf(const Click& click) const {
    return (click.found >= 0 ? click.found : click.expected + m_drift) + m_search;
}

// A click cut off within its gate sounds as a short knock, nothing like the sound learnt.
bool ClickCanceller::nearCutClick(int64_t onset) const {
    for (size_t c = 0; c < m_count; ++c) {
        const Click& click = clickAt(c);
        const int64_t attack = attackOf(click);
        if (click.cutAt <= attack + m_gateAfter && onset >= attack - m_gateBefore &&
            onset <= attack + m_gateAfter) {
            return true;
        }
    }
    return false;
}

void ClickCanceller::silenceFrom(int64_t sample) {
    for (size_t c = 0; c < m_count; ++c) {
        Click& click = clickAt(c);
        const int64_t attack = attackOf(click);
        click.cutAt = std::min(click.cutAt, std::max(sample, attack));
    }
}

void ClickCanceller::noteAt(int64_t onset) {
    for (size_t c = 0; c < m_count; ++c) {
        Click& click = clickAt(c);
        const int64_t from = click.found >= 0 ? click.found : click.expected;
        if (onset >= from - m_ringing && onset < from + lengthOf(c)) {
            click.underNote = true;
        }
    }
}

// A click is found once the stream holds its search and the start of its sound, which the
// output's delay allows for before the output reaches it; it is learnt once all of its sound is
// in.
void ClickCanceller::process(const float* in, float* out, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        m_raw[static_cast<size_t>(m_in++) & kMask] = in[i];
    }
    for (size_t c = 0; c < m_count; ++c) {
        Click& click = clickAt(c);
        if (click.found < 0 && m_in >= click.expected + m_drift + m_delay) {
            find(click);
        }
        if (click.found >= 0 && !click.learnt && m_in >= click.found + lengthOf(c) + m_told) {
            learn(click, lengthOf(c));
        }
    }
    for (size_t i = 0; i < count; ++i, ++m_out) {
        out[i] = m_out < 0 ? 0.0f : raw(m_out) - soundAt(m_out);
    }
    while (m_count > 0 && clickAt(0).learnt && m_out >= clickAt(0).found + lengthOf(0)) {
        m_first = (m_first + 1) % kExpected;
        --m_count;
    }
}

// Until the next click is expected, which is known long before the stream reaches it.
int64_t ClickCanceller::lengthOf(size_t fromFirst) const {
    const Click& click = clickAt(fromFirst);
    if (fromFirst + 1 < m_count) {
        return std::min(m_length, clickAt(fromFirst + 1).expected - click.found);
    }
    return m_length;
}

// The last quarter of a click's sound (at most 100 ms of it) fades out, so that where the learnt
// sound is cut off at the next click no step is left in the stream.
float ClickCanceller::fadeAt(int64_t n, int64_t length) const {
    const int64_t fade = std::min<int64_t>(length / 4, kFade);
    if (n < length - fade || fade == 0) {
        return 1.0f;
    }
    return m_fade[size_t((n - (length - fade)) * int64_t(kFade) / fade)];
}

float ClickCanceller::soundAt(int64_t i) const {
    float sum = 0;
    for (size_t c = 0; c < m_count; ++c) {
        const Click& click = clickAt(c);
        const Learnt& learnt = learntFor(click.sound);
        if (click.found >= 0 && click.heard && subtracting(learnt) && i >= click.found &&
            i < std::min(click.found + lengthOf(c), click.cutAt)) {
            const auto sound = [&learnt](int64_t k) {
                return k >= 0 && k < int64_t(kMaxLength) ? learnt.sound[size_t(k)] : 0.0f;
            };
            sum += static_cast<float>(between(sound, i - click.found, -click.fraction)) *
                   fadeAt(i - click.found, lengthOf(c));
        }
    }
    return sum;
}

// How the stream's differences from `start` on match the learnt sound's, over the search's
// width before its attack and the attack's first milliseconds: a click's highs stand out of a low
// string's ringing there.
ClickCanceller::Match ClickCanceller::match(const Learnt& learnt, int64_t start) const {
    double dot = 0, energy = 0, learntEnergy = 0;
    for (int64_t n = 0; n < m_delay - m_search; ++n) {
        const auto k = static_cast<size_t>(n);
        const double heard = double(raw(start + n)) - raw(start + n - 1);
        const double sound = double(learnt.sound[k]) - (k > 0 ? learnt.sound[k - 1] : 0.0f);
        dot += heard * sound;
        energy += heard * heard;
        learntEnergy += sound * sound;
    }
    return {dot, dot / std::sqrt(std::max(energy * learntEnergy, 1e-30))};
}

// Where within the search the stream matches the learnt sound best, to a fraction of a sample: a
// click that falls between two samples, as one played on another clock does, and is taken out a
// sample off leaves a fifth of itself behind. Where it is expected while nothing is learnt yet. A
// poor match marks the click as not heard.
void ClickCanceller::find(Click& click) {
    const Learnt& learnt = learntFor(click.sound);
    click.found = click.expected;
    click.fraction = 0;
    click.heard = !learnt.kept;
    if (!learnt.kept) {
        return;
    }
    Match best{0, -1};
    for (int64_t lag = m_drift - m_search; lag <= m_drift + m_search; ++lag) {
        const Match here = match(learnt, click.expected + lag);
        if (here.correlation > best.correlation) {
            best = here;
            click.found = click.expected + lag;
        }
    }
    // A note struck with the click spoils the match, and its best may lie milliseconds off: a
    // click matched no better than this is taken where the last clicks put it.
    if (best.correlation < kSureCorrelation) {
        click.found = click.expected + m_drift;
    }
    // The best correlation may be a sample off where the fit lands: the window it is taken over
    // moves with it.
    const double fraction = fractionAt(learnt, click.found);
    click.found += std::lround(fraction);
    click.fraction = static_cast<float>(fraction - std::round(fraction));
    click.heard = best.correlation >= kHeardCorrelation;
    if (best.correlation >= kSureCorrelation) {
        followDrift(click.found - click.expected);
    }
}

// The fraction of a sample the learnt sound is best moved by to match the stream from `found`
// on, in the differences over the part a click is found by: the least squares of the leftover,
// by Gauss-Newton steps from where it matches to the sample, within a sample and a half.
float ClickCanceller::fractionAt(const Learnt& learnt, int64_t found) const {
    const auto sound = [&learnt](int64_t k) {
        return k >= 0 && k < int64_t(kMaxLength) ? learnt.sound[size_t(k)] : 0.0f;
    };
    double fraction = 0;
    for (int step = 0; step < 3; ++step) {
        const auto moved = [&](int64_t n) {
            return between(sound, n, -fraction) - between(sound, n - 1, -fraction);
        };
        double along = 0, slope = 0;
        for (int64_t n = 1; n < m_delay - m_search; ++n) {
            const double heard = double(raw(found + n)) - raw(found + n - 1);
            const double change = 0.5 * (moved(n + 1) - moved(n - 1));
            along += (heard - moved(n)) * change;
            slope += change * change;
        }
        fraction = std::clamp(fraction - along / std::max(slope, 1e-30), -1.5, 1.5);
    }
    return static_cast<float>(fraction);
}

// Where the clicks are heard against where the grid puts them wanders by a few milliseconds
// over a take (the capture clock follows the server's latency reports, which move as other
// streams come and go, while the clicks stay on their samples): the next click is looked for
// around the median of the last few found, so that the search follows it.
void ClickCanceller::followDrift(int64_t lag) {
    m_recentLags[m_lagCount++ % kRecentLags] = lag;
    const size_t count = std::min(m_lagCount, kRecentLags);
    std::array<int64_t, kRecentLags> sorted{};
    std::copy_n(m_recentLags.begin(), count, sorted.begin());
    const auto middle = sorted.begin() + long(count / 2);
    std::nth_element(sorted.begin(), middle, sorted.begin() + long(count));
    m_drift = *middle;
}

// Whether the click was heard counts whatever the player did; its sound is kept only when the
// player left it alone.
void ClickCanceller::learn(Click& click, int64_t length) {
    click.learnt = true;
    m_recentHeard[size_t(m_clicksPassed++) % kRecent] = click.heard;
    const auto heard = std::count(m_recentHeard.begin(), m_recentHeard.end(), true);
    m_heard = heard * 2 >= std::min<long>(m_clicksPassed, long(kRecent));
    ++learntFor(click.sound).clicks;
    if (!click.underNote && click.cutAt >= click.found + length) {
        keep(click, length);
    }
}

// Weighted by the inverse of the power of what the stream held just before the click: the
// estimate of a sound heard again and again in other sounds of uneven loudness with the least
// of them left in. Where it stays near silence (headphones) nothing is heard to take out.
void ClickCanceller::keep(const Click& click, int64_t length) {
    double before = 0;
    for (int64_t i = click.found - m_quietBefore; i < click.found; ++i) {
        before += double(raw(i)) * raw(i);
    }
    const auto weight = static_cast<float>(1 / (before / double(m_quietBefore) + kSilence));
    Learnt& learnt = learntFor(click.sound);
    for (int64_t n = 0; n < length; ++n) {
        const auto k = static_cast<size_t>(n);
        const auto heard = static_cast<float>(
            between([this](int64_t i) { return raw(i); }, click.found + n, click.fraction));
        learnt.sum[k] = kForgetting * learnt.sum[k] + weight * heard;
        learnt.weight[k] = kForgetting * learnt.weight[k] + weight;
    }
    for (size_t from = 0; from < size_t(length); from += kFrame) {
        settle(learnt, from, std::min(from + kFrame, size_t(length)));
    }
    learnt.kept = true;
}

// The average of clicks heard in noise holds the noise too, 1 / (sum of weights) of its power
// when each is weighted by the inverse of its own; taken out with the click, it would be noise
// added from where the click begins. Each stretch keeps what of it stands above that (Wiener's
// gain), so the click's body stays and the quiet before and after it is left alone.
void ClickCanceller::settle(Learnt& learnt, size_t from, size_t to) {
    double power = 0, noise = 0;
    for (size_t k = from; k < to; ++k) {
        const double average = learnt.sum[k] / learnt.weight[k];
        power += average * average;
        noise += 1 / learnt.weight[k];
    }
    const double gain = power > 0 ? std::max(0.0, 1 - noise / power) : 0.0;
    for (size_t k = from; k < to; ++k) {
        learnt.sound[k] = static_cast<float>(gain * learnt.sum[k] / learnt.weight[k]);
    }
}
