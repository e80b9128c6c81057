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
// A click whose sound matches the learnt one at least this well was heard; a microphone that
// hears half the clicks of the last few this well hears the metronome.
constexpr double kHeardCorrelation = 0.3;

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
    m_keptCount = m_keptNext = 0;
    m_template.fill(0);
    m_learntCount = 0;
    m_recentHeard.fill(false);
    m_recentAttacks.fill(INT64_MIN / 2);
    m_expectedTotal = 0;
    m_heard = false;
}

// The learnt sound begins a search's width before the click is expected, so that its attack
// lies inside it wherever within the search the click is found.
void ClickCanceller::expect(int64_t sample) {
    const int64_t start = sample - m_search;
    if (start < m_in || m_count == kExpected ||
        (m_count > 0 && start <= clickAt(m_count - 1).expected)) {
        return;  // already heard, a backlog no stream makes, or out of order
    }
    clickAt(m_count) = Click{start, -1, false, false, false};
    ++m_count;
    m_recentAttacks[m_expectedTotal++ % kRecent] = sample;
}

ClickCanceller::Click& ClickCanceller::clickAt(size_t fromFirst) {
    return m_clicks[(m_first + fromFirst) % kExpected];
}

const ClickCanceller::Click& ClickCanceller::clickAt(size_t fromFirst) const {
    return m_clicks[(m_first + fromFirst) % kExpected];
}

bool ClickCanceller::gated(int64_t onset) const {
    if (m_learntCount >= kMinimumLearnt) {
        return false;
    }
    return std::any_of(m_recentAttacks.begin(), m_recentAttacks.end(), [&](int64_t attack) {
        return onset >= attack - m_gateBefore && onset <= attack + m_gateAfter;
    });
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
        if (click.found < 0 && m_in >= click.expected + m_delay) {
            find(click);
        }
        if (click.found >= 0 && !click.learnt && m_in >= click.found + lengthOf(c)) {
            learn(click, lengthOf(c));
        }
    }
    const bool subtract = learnt();
    for (size_t i = 0; i < count; ++i, ++m_out) {
        out[i] = m_out < 0 ? 0.0f : raw(m_out) - (subtract ? soundAt(m_out) : 0.0f);
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
// sound holds of the guitar there does not stop in a step.
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
        if (click.found >= 0 && click.heard && i >= click.found && i < click.found + lengthOf(c)) {
            sum += m_template[static_cast<size_t>(i - click.found)] *
                   fadeAt(i - click.found, lengthOf(c));
        }
    }
    return sum;
}

// Where within the search the stream matches the learnt sound best, by the normalised
// correlation of their differences (a click's highs stand out of a low string's ringing there)
// over the search's width before the attack and the attack's first milliseconds; where it is
// expected while nothing is learnt yet. A poor match marks the click as not heard.
void ClickCanceller::find(Click& click) {
    click.found = click.expected;
    click.heard = m_keptCount == 0;
    if (m_keptCount == 0) {
        return;
    }
    const int64_t span = m_delay - m_search;
    const auto learnt = [this](int64_t n) {
        return double(m_template[size_t(n)]) - (n > 0 ? m_template[size_t(n - 1)] : 0.0f);
    };
    double templateEnergy = 0;
    for (int64_t n = 0; n < span; ++n) {
        templateEnergy += learnt(n) * learnt(n);
    }
    double best = -1;
    for (int64_t lag = -m_search; lag <= m_search; ++lag) {
        double dot = 0, energy = 0;
        for (int64_t n = 0; n < span; ++n) {
            const int64_t i = click.expected + lag + n;
            const double x = double(raw(i)) - raw(i - 1);
            dot += x * learnt(n);
            energy += x * x;
        }
        const double correlation = dot / std::sqrt(std::max(energy * templateEnergy, 1e-30));
        if (correlation > best) {
            best = correlation;
            click.found = click.expected + lag;
        }
    }
    click.heard = best >= kHeardCorrelation;
}

// Whether the click was heard counts whatever the player did; its sound is kept only when the
// player left it alone. The median over the last few kept is the click as the microphone hears
// it once most of them hold it, and stays near silence where none does (headphones).
void ClickCanceller::learn(Click& click, int64_t length) {
    click.learnt = true;
    m_recentHeard[size_t(m_learntCount) % kRecent] = click.heard;
    ++m_learntCount;
    const auto heard = std::count(m_recentHeard.begin(), m_recentHeard.end(), true);
    m_heard = heard * 2 >= std::min<long>(m_learntCount, long(kRecent));
    if (click.underNote) {
        return;
    }
    auto& kept = m_kept[m_keptNext];
    for (int64_t n = 0; n < length; ++n) {
        kept[size_t(n)] = raw(click.found + n);
    }
    m_keptLength[m_keptNext] = length;
    m_keptNext = (m_keptNext + 1) % kKept;
    m_keptCount = std::min(m_keptCount + 1, kKept);
    for (int64_t n = 0; n < m_length; ++n) {
        size_t count = 0;
        for (size_t k = 0; k < m_keptCount; ++k) {
            if (n < m_keptLength[k]) {
                m_column[count++] = m_kept[k][size_t(n)];
            }
        }
        const auto middle = m_column.begin() + long(count / 2);
        std::nth_element(m_column.begin(), middle, m_column.begin() + long(count));
        m_template[size_t(n)] = count > 0 ? *middle : 0.0f;
    }
}
