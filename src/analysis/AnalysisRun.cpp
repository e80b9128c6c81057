#include "analysis/AnalysisRun.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/BarFinding.h"
#include "analysis/BeatTracking.h"
#include "analysis/KeyEstimate.h"
#include "analysis/TuningEstimate.h"

namespace {

// Shares of the progress bar: the first reading, the beat tracking, the second reading.
constexpr double kFirstReading = 0.55;
constexpr double kTracking = 0.1;

class Reading {
public:
    Reading(const SourceOpener& open, const AnalysisControl& control, double from, double share)
        : m_source(open()), m_control(control), m_from(from), m_share(share) {
        if (m_source)
            m_expectedSteps = m_source->estimatedSeconds() * kAnalysisRate / OnsetCurve::kOnsetStep;
    }
    bool opened() const { return m_source != nullptr; }
    // The next step of samples, the last one padded with silence; false at the end or when
    // cancelled.
    bool next() {
        if (m_control.cancelled && m_control.cancelled()) {
            m_cancelled = true;
            return false;
        }
        const int read = readFully();
        if (read == 0)
            return false;
        std::fill(m_step.begin() + read, m_step.end(), 0.0f);
        reportProgress(++m_steps);
        return true;
    }
    const float* step() const { return m_step.data(); }
    bool cancelled() const { return m_cancelled; }

private:
    int readFully() {
        int read = 0;
        const int wanted = static_cast<int>(m_step.size());
        while (read < wanted) {
            const int got = m_source->read(m_step.data() + read, wanted - read);
            if (got <= 0)
                break;
            read += got;
        }
        return read;
    }
    void reportProgress(size_t steps) {
        if (!m_control.progress || m_expectedSteps <= 0 || steps % 256 != 0)
            return;
        m_control.progress(m_from + m_share * std::min(1.0, double(steps) / m_expectedSteps));
    }

    std::unique_ptr<MonoSource> m_source;
    const AnalysisControl& m_control;
    double m_from;
    double m_share;
    double m_expectedSteps = 0;
    size_t m_steps = 0;
    bool m_cancelled = false;
    std::vector<float> m_step = std::vector<float>(OnsetCurve::kOnsetStep);
};

struct FirstReading {
    std::vector<double> onsets;
    std::optional<double> tuningCents;
};

std::optional<FirstReading> readOnsetsAndTuning(const SourceOpener& open,
                                                const AnalysisControl& control) {
    Reading reading(open, control, 0, kFirstReading);
    if (!reading.opened())
        return std::nullopt;
    OnsetCurve onsets;
    TuningEstimate tuning;
    while (reading.next()) {
        onsets.push(reading.step());
        tuning.push(reading.step(), OnsetCurve::kOnsetStep);
    }
    if (reading.cancelled())
        return std::nullopt;
    return FirstReading{onsets.values(), tuning.cents()};
}

struct SecondReading {
    std::vector<double> changes;
    std::string key;
};

std::optional<SecondReading> readChangesAndKey(const SourceOpener& open,
                                               const AnalysisControl& control,
                                               const std::vector<double>& beatSteps,
                                               double tuningCents) {
    Reading reading(open, control, kFirstReading + kTracking, 1 - kFirstReading - kTracking);
    if (!reading.opened())
        return std::nullopt;
    BeatChanges changes(beatSteps);
    KeyEstimate key(tuningCents);
    while (reading.next()) {
        changes.push(reading.step());
        key.push(reading.step());
    }
    if (reading.cancelled())
        return std::nullopt;
    return SecondReading{changes.finish(), key.key()};
}

double mainTempo(const std::vector<double>& beatTimes) {
    if (beatTimes.size() < 2)
        return 0;
    std::vector<double> intervals;
    for (size_t i = 1; i < beatTimes.size(); ++i)
        intervals.push_back(beatTimes[i] - beatTimes[i - 1]);
    std::nth_element(intervals.begin(), intervals.begin() + long(intervals.size() / 2),
                     intervals.end());
    return 60 / intervals[intervals.size() / 2];
}

}  // namespace

std::optional<TrackAnalysis> analyseTrack(const SourceOpener& open,
                                          const AnalysisControl& control) {
    const auto first = readOnsetsAndTuning(open, control);
    if (!first)
        return std::nullopt;
    auto tracked = trackBeats(first->onsets, control.cancelled);
    if (!tracked)
        return std::nullopt;
    if (tracked->clarity < kLeastPulseClarity)
        tracked->steps.clear();
    const auto second =
        readChangesAndKey(open, control, tracked->steps, first->tuningCents.value_or(0));
    if (!second)
        return std::nullopt;

    TrackAnalysis analysis;
    analysis.tuningCents = first->tuningCents;
    analysis.key = second->key;
    for (const double step : tracked->steps) analysis.grid.beats.push_back(beatSeconds(step));
    if (!analysis.grid.beats.empty()) {
        const BarPlacement bars =
            placeBars(second->changes, beatAccents(first->onsets, tracked->steps));
        analysis.grid.beatsPerBar = bars.beatsPerBar;
        analysis.grid.firstDownbeat = bars.firstDownbeat;
        analysis.beatsPerMinute = mainTempo(analysis.grid.beats);
    }
    if (control.progress)
        control.progress(1);
    return analysis;
}
