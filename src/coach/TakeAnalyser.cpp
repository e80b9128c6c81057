#include "coach/TakeAnalyser.h"

#include <algorithm>
#include <cmath>

namespace Coach {

TakeAnalyser::TakeAnalyser(int sampleRate)
    : m_rate(sampleRate), m_clock(sampleRate), m_canceller(sampleRate), m_detector(sampleRate) {}

void TakeAnalyser::reset(const Options& options) {
    m_options = options;
    m_clock.reset();
    m_canceller.reset();
    m_detector.reset();
    m_grid.clear();
    m_fed = 0;
    m_onsetCount = m_placedCount = m_waitingCount = 0;
}

// A click comes into the stream when it is heard plus the correction; the notes the player
// plays with it come as late, and are taken back by as much.
std::optional<GridPoint> TakeAnalyser::addGridPoint(TimePoint heardAt, GridPoint point) {
    if (!m_clock.known()) {
        return std::nullopt;
    }
    point.at = m_clock.streamSeconds(heardAt);
    m_grid.add(point);
    if (point.heard && point.clicked && m_options.cancelClicks) {
        const auto sound = point.accent            ? ClickCanceller::Sound::Accent
                           : point.subdivision > 0 ? ClickCanceller::Sound::Subdivision
                                                   : ClickCanceller::Sound::Beat;
        m_canceller.expect(std::llround((point.at + m_options.correctionSeconds) * m_rate), sound);
    }
    return point;
}

void TakeAnalyser::outputSilenced(TimePoint heardAt) {
    if (m_clock.known() && m_options.cancelClicks) {
        m_canceller.silenceFrom(
            std::llround((m_clock.streamSeconds(heardAt) + m_options.correctionSeconds) * m_rate));
    }
}

void TakeAnalyser::feed(const float* samples, size_t count, TimePoint captured) {
    m_onsetCount = m_placedCount = 0;
    m_clock.report(m_fed, captured);
    for (size_t done = 0; done < count;) {
        const size_t part = std::min(kBlock, count - done);
        const float* heard = samples + done;
        if (m_options.cancelClicks) {
            m_canceller.process(heard, m_cleaned.data(), part);
            heard = m_cleaned.data();
        }
        // The cleaned stream comes the canceller's delay later than the stream itself.
        const int64_t behind = m_options.cancelClicks ? m_canceller.delaySamples() : 0;
        for (const int64_t found : m_detector.feed(heard, part)) {
            const int64_t onset = found - behind;
            if (m_options.cancelClicks && m_canceller.gated(onset)) {
                continue;
            }
            m_canceller.noteAt(onset);
            const double at = double(onset) / m_rate - m_options.correctionSeconds;
            if (m_onsetCount < kMaxFound) {
                m_onsets[m_onsetCount++] = at;
            }
            if (m_waitingCount < kMaxFound) {
                m_waiting[m_waitingCount++] = at;
            }
        }
        done += part;
        m_fed += static_cast<int64_t>(part);
    }
    placeWaiting();
}

void TakeAnalyser::placeWaiting() {
    const double now = double(m_fed) / m_rate - m_options.correctionSeconds;
    size_t kept = 0;
    for (size_t i = 0; i < m_waitingCount; ++i) {
        const auto placement = m_grid.place(m_waiting[i], now);
        if (placement.outcome == TimingGrid::Outcome::Wait) {
            m_waiting[kept++] = m_waiting[i];
        } else if (placement.outcome == TimingGrid::Outcome::Placed && m_placedCount < kMaxFound) {
            // A note with no grid near it (Outside) is not measured.
            m_placed[m_placedCount++] = placement.timing;
        }
    }
    m_waitingCount = kept;
}

}  // namespace Coach
