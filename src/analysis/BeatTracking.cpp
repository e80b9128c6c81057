#include "analysis/BeatTracking.h"

#include <dsp/onsets/DetectionFunction.h>
#include <dsp/tempotracking/TempoTrackV2.h>

#include <algorithm>
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

double strongestNear(const std::vector<double>& onsets, double step) {
    const auto centre = static_cast<long>(step + 0.5);
    double strongest = 0;
    for (long i = std::max(0L, centre - 2);
         i <= std::min<long>(centre + 2, static_cast<long>(onsets.size()) - 1); ++i) {
        strongest = std::max(strongest, onsets[static_cast<size_t>(i)]);
    }
    return strongest;
}

double salienceOf(const std::vector<double>& onsets, const std::vector<double>& beats) {
    const double mean =
        std::accumulate(onsets.begin(), onsets.end(), 0.0) / static_cast<double>(onsets.size());
    if (beats.empty() || mean <= 0)
        return 0;
    double onBeats = 0;
    for (const double beat : beats) onBeats += strongestNear(onsets, beat);
    return onBeats / static_cast<double>(beats.size()) / mean;
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
    TempoTrackV2 tracker(kAnalysisRate, OnsetCurve::kOnsetStep);
    std::vector<double> periods(onsets.size(), 0.0);
    std::vector<double> tempi;
    tracker.calculateBeatPeriod(onsets, periods, tempi);
    TrackedBeats tracked;
    tracker.calculateBeats(onsets, periods, tracked.steps);
    tracked.salience = salienceOf(onsets, tracked.steps);
    return tracked;
}

double beatSeconds(double step) {
    // A value stands for the newer half of its two-step frame, where the onset it saw began.
    return (step + 1.5) * OnsetCurve::kOnsetStep / kAnalysisRate;
}
