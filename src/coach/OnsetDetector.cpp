#include "coach/OnsetDetector.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

namespace {

constexpr unsigned kHopSamples = 256;
constexpr unsigned kWindowSamples = 1024;
// Where the attack may lie around aubio's estimate, and how close two notes may be: a strum's
// strings within this are one note.
constexpr double kSearchBeforeMs = 25;
constexpr double kSearchAfterMs = 12;
constexpr double kMinimumGapMs = 45;
constexpr double kThreshold = 0.3;
constexpr double kSilenceDb = -60;
constexpr double kLowpassHz = 3000;

int64_t samplesFor(double ms, int rate) {
    return static_cast<int64_t>(std::lround(ms * rate / 1000));
}

}  // namespace

OnsetDetector::OnsetDetector(int sampleRate) : m_rate(sampleRate) {
    std::string error;
    m_aubio = AubioOnsets::open(error);
    if (m_aubio == nullptr) {
        throw std::runtime_error(error);
    }
    m_hop = m_aubio->newVector(kHopSamples);
    m_found = m_aubio->newVector(1);
    reset();
}

OnsetDetector::~OnsetDetector() {
    if (m_onset != nullptr) {
        m_aubio->deleteOnset(m_onset);
    }
    m_aubio->deleteVector(m_hop);
    m_aubio->deleteVector(m_found);
}

void OnsetDetector::reset() {
    if (m_onset != nullptr) {
        m_aubio->deleteOnset(m_onset);
    }
    m_onset = m_aubio->newOnset("hfc", kWindowSamples, kHopSamples, static_cast<unsigned>(m_rate));
    m_aubio->setThreshold(m_onset, static_cast<smpl_t>(kThreshold));
    m_aubio->setSilence(m_onset, static_cast<smpl_t>(kSilenceDb));
    m_aubio->setMinimumGap(m_onset, static_cast<smpl_t>(kMinimumGapMs));
    const double w = 2 * std::numbers::pi * kLowpassHz / m_rate;
    const double qs[] = {0.5412, 1.3066};  // Butterworth's fourth order as two sections
    for (size_t i = 0; i < m_lowpass.size(); ++i) {
        const double alpha = std::sin(w) / (2 * qs[i]);
        const double a0 = 1 + alpha;
        Biquad& f = m_lowpass[i];
        f = Biquad{};
        f.b0 = f.b2 = (1 - std::cos(w)) / 2 / a0;
        f.b1 = (1 - std::cos(w)) / a0;
        f.a1 = -2 * std::cos(w) / a0;
        f.a2 = (1 - alpha) / a0;
    }
    m_hopFill = 0;
    m_fed = 0;
    m_lastPlaced = INT64_MIN / 2;
    m_pendingCount = 0;
    m_history.fill(0);
}

std::span<const int64_t> OnsetDetector::feed(const float* samples, size_t count) {
    m_placedCount = 0;
    for (size_t i = 0; i < count; ++i) {
        m_history[static_cast<size_t>(m_fed) & kHistoryMask] = samples[i];
        ++m_fed;
        double low = samples[i];
        for (auto& f : m_lowpass) {
            low = f.run(low);
        }
        m_hop->data[m_hopFill++] = static_cast<smpl_t>(low);
        if (m_hopFill == kHopSamples) {
            detectHop();
            m_hopFill = 0;
        }
    }
    placeReady();
    return {m_placed.data(), m_placedCount};
}

void OnsetDetector::detectHop() {
    m_aubio->detect(m_onset, m_hop, m_found);
    if (m_found->data[0] > 0 && m_pendingCount < kMaxPending) {
        m_pending[m_pendingCount++] = static_cast<int64_t>(m_aubio->last(m_onset));
    }
    placeReady();
}

// An onset is placed once the samples after its search window are in; a second attack within
// the shortest gap of the last (the rest of a strum, a bounce of the pick) is the same note.
void OnsetDetector::placeReady() {
    const int64_t after = samplesFor(kSearchAfterMs, m_rate);
    size_t kept = 0;
    for (size_t i = 0; i < m_pendingCount; ++i) {
        const int64_t coarse = m_pending[i];
        if (coarse + after > m_fed) {
            m_pending[kept++] = coarse;
            continue;
        }
        const int64_t onset = refine(coarse);
        if (onset - m_lastPlaced >= samplesFor(kMinimumGapMs, m_rate) &&
            m_placedCount < m_placed.size()) {
            m_placed[m_placedCount++] = onset;
            m_lastPlaced = onset;
        }
    }
    m_pendingCount = kept;
}

// The split of the window into two parts, each with a variance of its own, that explains the
// differenced samples best. Differencing takes the low strings' ringing of the note before out
// of the way of the new attack's edge.
int64_t OnsetDetector::refine(int64_t coarse) const {
    const int64_t oldest = std::max<int64_t>(1, m_fed - static_cast<int64_t>(kHistory) + 1);
    const int64_t from = std::max({oldest, coarse - samplesFor(kSearchBeforeMs, m_rate),
                                   m_lastPlaced + samplesFor(kMinimumGapMs, m_rate) / 2});
    const int64_t to = std::min(m_fed, coarse + samplesFor(kSearchAfterMs, m_rate));
    const int64_t n = to - from;
    if (n < 16) {
        return coarse;
    }
    const auto difference = [this](int64_t i) { return double(heard(i)) - double(heard(i - 1)); };
    double sum = 0, squares = 0;
    for (int64_t i = from; i < to; ++i) {
        const double d = difference(i);
        sum += d;
        squares += d * d;
    }
    // A part in digital silence (a sound server's stream before anything plays) would have no
    // variance at all and win the split wherever the faintest leftover of a click ends it: a
    // part is taken as no quieter than 60 dB under the whole window.
    const double floor = std::max(1e-6 * (squares / double(n) - sum * sum / double(n * n)), 1e-20);
    const auto logVariance = [floor](double s, double q, double count) {
        const double mean = s / count;
        return std::log(std::max(q / count - mean * mean, floor));
    };
    double left = 0, leftSquares = 0, best = INFINITY;
    int64_t split = coarse;
    for (int64_t k = 1; k < n - 1; ++k) {
        const double d = difference(from + k - 1);
        left += d;
        leftSquares += d * d;
        if (k < 4 || n - k < 4) {
            continue;
        }
        const double aic =
            double(k) * logVariance(left, leftSquares, double(k)) +
            double(n - k) * logVariance(sum - left, squares - leftSquares, double(n - k));
        if (aic < best) {
            best = aic;
            split = from + k;
        }
    }
    return split;
}
