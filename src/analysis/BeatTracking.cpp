#include "analysis/BeatTracking.h"

#include <dsp/onsets/DetectionFunction.h>
#include <dsp/tempotracking/TempoTrackV2.h>

#include <algorithm>
#include <cmath>
#include <numeric>

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
                      for (size_t lag = centre - 2; lag <= centre + 2; ++lag)
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

TrackedBeats trackBeats(const std::vector<double>& onsets) {
    const bool anyOnset =
        std::any_of(onsets.begin(), onsets.end(), [](double v) { return v > 1e-9; });
    if (onsets.size() < 16 || !anyOnset)
        return {};
    const double tempo = pulseTempo(onsets);
    if (tempo <= 0)
        return {};
    TempoTrackV2 tracker(kAnalysisRate, OnsetCurve::kOnsetStep);
    std::vector<double> periods(onsets.size(), 0.0);
    std::vector<double> tempi;
    // The tracker's tempo prior centred on the pulse found, left free to follow the song's drift.
    tracker.calculateBeatPeriod(onsets, periods, tempi, tempo, false);
    TrackedBeats tracked;
    tracker.calculateBeats(onsets, periods, tracked.steps);
    if (tracked.steps.empty())
        return {};
    tracked.steps = withoutQuietEnds(onsets, std::move(tracked.steps));
    tracked.clarity = pulseClarity(onsets, tracked.steps);
    return tracked;
}

double beatSeconds(double step) {
    // A value stands for the newer half of its two-step frame, where the onset it saw began.
    return (step - 2.4) * OnsetCurve::kOnsetStep / kAnalysisRate;
}
