#include "analysis/BeatTracking.h"

#include <dsp/onsets/DetectionFunction.h>
#include <dsp/tempotracking/TempoTrackV2.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <optional>

#include "analysis/MonoSource.h"

namespace {

DFConfig onsetConfig() {
    DFConfig config{};
    config.stepSize = OnsetCurve::kOnsetStep;
    config.frameLength = 2 * OnsetCurve::kOnsetStep;
    config.DFType = DF_COMPLEXSD;
    config.dbRise = 3;
    config.adaptiveWhitening = false;
    config.whiteningRelaxCoeff = -1;
    config.whiteningFloor = -1;
    return config;
}

// The first two values compare against frames before the track began.
constexpr size_t kUnsteadyOnsets = 2;

constexpr size_t kWindow = 1024;  // 12 s of onsets, over which the tempo holds nearly still
constexpr size_t kShortestTrack = kWindow / 2;
constexpr size_t kStretch = 51200;  // ten minutes
constexpr size_t kOverlap = 2048;   // where two stretches are both tracked: 24 s
constexpr double kStepsPerMinute = 60.0 * kAnalysisRate / OnsetCurve::kOnsetStep;
constexpr double kFastestBpm = 240;
constexpr double kSlowestBpm = 40;
// The beat is the fastest pulse whose repetition is at least this share of the strongest one's.
constexpr double kPulseShare = 0.7;
// Beats whose onsets are weaker than this share of a typical beat's lie in the silence before
// or after the music.
constexpr double kQuietBeat = 0.1;

// Calls use(x, energy, start, end) for each half-overlapping window of the onsets with its mean
// taken away, where anything happens.
template <typename Use>
void forEachWindow(const std::vector<double>& onsets, Use use) {
    for (size_t start = 0; start + kWindow / 2 < onsets.size() || start == 0;
         start += kWindow / 2) {
        const size_t end = std::min(onsets.size(), start + kWindow);
        std::vector<double> x(onsets.begin() + long(start), onsets.begin() + long(end));
        const double mean = std::accumulate(x.begin(), x.end(), 0.0) / double(x.size());
        double energy = 0;
        for (double& v : x) {
            v -= mean;
            energy += v * v;
        }
        if (energy > 0)
            use(x, energy, start, end);
        if (end == onsets.size())
            break;
    }
}

// x's correlation with itself lag steps later, against its energy: at most 1.
double correlation(const std::vector<double>& x, double energy, size_t lag) {
    double sum = 0;
    for (size_t i = 0; i + lag < x.size(); ++i) sum += x[i] * x[i + lag];
    return sum / energy;
}

double medianInterval(const std::vector<double>& beats, double from, double to) {
    std::vector<double> intervals;
    for (size_t i = 1; i < beats.size(); ++i)
        if (beats[i - 1] >= from && beats[i] < to)
            intervals.push_back(beats[i] - beats[i - 1]);
    if (intervals.size() < 2)
        return 0;
    std::nth_element(intervals.begin(), intervals.begin() + long(intervals.size() / 2),
                     intervals.end());
    return intervals[intervals.size() / 2];
}

// The onsets' correlation a beat later, window by window, weighted by how much happens in each:
// high where the music repeats at the beat's period, low where beats were laid over onsets
// that come at random.
double pulseClarity(const std::vector<double>& onsets, const std::vector<double>& beats) {
    double weighted = 0, weights = 0;
    forEachWindow(onsets,
                  [&](const std::vector<double>& x, double energy, size_t start, size_t end) {
                      const double period = medianInterval(beats, double(start), double(end));
                      if (period <= 0)
                          return;
                      const auto centre = static_cast<size_t>(std::lround(period));
                      double best = 0;
                      for (size_t lag = std::max<size_t>(centre, 3) - 2; lag <= centre + 2; ++lag)
                          best = std::max(best, correlation(x, energy, lag));
                      weighted += energy * best;
                      weights += energy;
                  });
    return weights > 0 ? weighted / weights : 0;
}

// The tempo of the fastest pulse that repeats nearly as strongly as the strongest one between 40
// and 240 beats per minute. A pulse at twice the beat (eighths under a backbeat) alternates
// strong and weak onsets and so repeats weakly; one at half the beat repeats as strongly but is
// slower. 0 when nothing repeats.
double pulseTempo(const std::vector<double>& onsets) {
    const auto shortest = static_cast<size_t>(kStepsPerMinute / kFastestBpm);
    const auto longest = static_cast<size_t>(kStepsPerMinute / kSlowestBpm) + 1;
    std::vector<double> repetition(longest + 2, 0.0);
    double weights = 0;
    forEachWindow(onsets, [&](const std::vector<double>& x, double energy, size_t, size_t) {
        for (size_t lag = shortest - 1; lag <= longest + 1; ++lag)
            repetition[lag] += energy * correlation(x, energy, lag);
        weights += energy;
    });
    if (weights <= 0)
        return 0;
    std::vector<size_t> peaks;
    double strongest = 0;
    for (size_t lag = shortest; lag <= longest; ++lag) {
        if (repetition[lag] <= repetition[lag - 1] || repetition[lag] < repetition[lag + 1])
            continue;
        peaks.push_back(lag);
        strongest = std::max(strongest, repetition[lag]);
    }
    for (const size_t lag : peaks)
        if (strongest > 0 && repetition[lag] >= kPulseShare * strongest)
            return kStepsPerMinute / double(lag);
    return 0;
}

double strongestNear(const std::vector<double>& onsets, double step) {
    const auto centre = static_cast<long>(std::lround(step));
    double strongest = 0;
    for (long i = std::max(0L, centre - 2);
         i <= std::min<long>(centre + 2, long(onsets.size()) - 1); ++i)
        strongest = std::max(strongest, onsets[size_t(i)]);
    return strongest;
}

// Without the beats laid over the silence before and after the music.
std::vector<double> withoutQuietEnds(const std::vector<double>& onsets, std::vector<double> beats) {
    std::vector<double> strengths;
    for (const double beat : beats) strengths.push_back(strongestNear(onsets, beat));
    std::vector<double> sorted = strengths;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double quiet = kQuietBeat * sorted[sorted.size() / 2];
    size_t first = 0, last = beats.size();
    while (first < last && strengths[first] < quiet) ++first;
    while (last > first && strengths[last - 1] < quiet) --last;
    return {beats.begin() + long(first), beats.begin() + long(last)};
}

// The beats of one stretch of the track, in steps from the track's start.
std::vector<double> trackStretch(const std::vector<double>& onsets, size_t begin, size_t end,
                                 double tempo) {
    const std::vector<double> part(onsets.begin() + long(begin), onsets.begin() + long(end));
    TempoTrackV2 tracker(kAnalysisRate, OnsetCurve::kOnsetStep);
    std::vector<double> periods(part.size(), 0.0);
    std::vector<double> tempi;
    std::vector<double> beats;
    // The tracker's tempo prior centred on the pulse found, left free to follow the song's drift.
    tracker.calculateBeatPeriod(part, periods, tempi, tempo, false);
    tracker.calculateBeats(part, periods, beats);
    for (double& beat : beats) beat += double(begin);
    return beats;
}

// The next stretch's beats after the ones so far, joined at the beat both found nearest the
// middle of their overlap, so that no beat is doubled or dropped where they meet.
void join(std::vector<double>& beats, const std::vector<double>& next, double overlapMiddle) {
    constexpr double kSameBeat = 2;  // steps
    size_t keep = beats.size(), from = 0;
    double nearest = INFINITY;
    for (size_t i = 0; i < beats.size(); ++i) {
        const auto j =
            size_t(std::lower_bound(next.begin(), next.end(), beats[i] - kSameBeat) - next.begin());
        if (j < next.size() && next[j] <= beats[i] + kSameBeat &&
            std::fabs(beats[i] - overlapMiddle) < nearest) {
            nearest = std::fabs(beats[i] - overlapMiddle);
            keep = i + 1;
            from = j + 1;
        }
    }
    if (!std::isfinite(nearest)) {
        // They never agree (a break in the music): each keeps its own side of the middle.
        keep = size_t(std::lower_bound(beats.begin(), beats.end(), overlapMiddle) - beats.begin());
        from = size_t(std::lower_bound(next.begin(), next.end(), overlapMiddle) - next.begin());
    }
    beats.resize(keep);
    beats.insert(beats.end(), next.begin() + long(from), next.end());
}

// Every beat, tracked ten minutes at a time: the tracker's memory grows with what it is given,
// and it cannot be stopped part way. Nothing when cancelled.
std::optional<std::vector<double>> beatsInStretches(const std::vector<double>& onsets, double tempo,
                                                    const std::function<bool()>& cancelled) {
    std::vector<double> beats;
    for (size_t begin = 0;; begin += kStretch - kOverlap) {
        if (cancelled && cancelled())
            return std::nullopt;
        const size_t end = std::min(onsets.size(), begin + kStretch);
        const std::vector<double> part = trackStretch(onsets, begin, end, tempo);
        if (begin == 0) {
            beats = part;
        } else {
            join(beats, part, double(begin) + kOverlap / 2.0);
        }
        if (end == onsets.size())
            return beats;
    }
}

}  // namespace

OnsetCurve::OnsetCurve()
    : m_function(std::make_unique<DetectionFunction>(onsetConfig())), m_frame(2 * kOnsetStep) {}

OnsetCurve::~OnsetCurve() = default;

void OnsetCurve::push(const float* step) {
    std::copy(m_frame.begin() + kOnsetStep, m_frame.end(), m_frame.begin());
    std::copy(step, step + kOnsetStep, m_frame.begin() + kOnsetStep);
    const double value = m_function->processTimeDomain(m_frame.data());
    m_values.push_back(m_values.size() < kUnsteadyOnsets ? 0.0 : value);
}

std::optional<TrackedBeats> trackBeats(const std::vector<double>& onsets,
                                       const std::function<bool()>& cancelled) {
    const bool anyOnset =
        std::any_of(onsets.begin(), onsets.end(), [](double v) { return v > 1e-9; });
    // The tracker looks at 6 s at a time for the tempo.
    if (onsets.size() < kShortestTrack || !anyOnset)
        return TrackedBeats{};
    const double tempo = pulseTempo(onsets);
    if (tempo <= 0)
        return TrackedBeats{};
    auto beats = beatsInStretches(onsets, tempo, cancelled);
    if (!beats)
        return std::nullopt;
    if (beats->empty())
        return TrackedBeats{};
    TrackedBeats tracked;
    tracked.steps = withoutQuietEnds(onsets, std::move(*beats));
    tracked.clarity = pulseClarity(onsets, tracked.steps);
    return tracked;
}

double beatSeconds(double step) {
    // The tracker's beats stand 2.4 steps after the notes' starts (its frames' length and its own
    // lag together), as measured against rendered songs whose notes we wrote.
    return (step - 2.4) * OnsetCurve::kOnsetStep / kAnalysisRate;
}
