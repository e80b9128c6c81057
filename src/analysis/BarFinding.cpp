#include "analysis/BarFinding.h"

#include <dsp/tempotracking/DownBeat.h>

#include <algorithm>
#include <cmath>

#include "analysis/BeatTracking.h"
#include "analysis/MonoSource.h"

namespace {

constexpr size_t kBeatsPerStretch = 64;
constexpr size_t kDecimation = 16;  // spectra up to 1.4 kHz: harmony and the low drums

// The beats of one stretch, counted from its first step.
std::vector<double> relativeBeats(const std::vector<double>& beats, size_t first, size_t last,
                                  size_t firstStep) {
    std::vector<double> relative;
    for (size_t i = first; i <= last; ++i) relative.push_back(beats[i] - double(firstStep));
    return relative;
}

}  // namespace

struct BeatChanges::Stretch {
    std::unique_ptr<DownBeat> finder;
    size_t firstBeat;
    size_t lastBeat;
    size_t firstStep;
    size_t endStep;
};

BeatChanges::BeatChanges(std::vector<double> beatSteps)
    : m_beats(std::move(beatSteps)), m_changes(m_beats.size(), 0.0) {}

BeatChanges::~BeatChanges() = default;

void BeatChanges::startStretchesAt(size_t step) {
    // Each stretch shares its last two beats with the next, so every beat but the track's first
    // and last has a beat before and after it in one stretch.
    while (m_nextFirstBeat + 2 < m_beats.size() &&
           static_cast<size_t>(m_beats[m_nextFirstBeat]) <= step) {
        const size_t last = std::min(m_nextFirstBeat + kBeatsPerStretch, m_beats.size() - 1);
        Stretch stretch{
            std::make_unique<DownBeat>(kAnalysisRate, kDecimation, OnsetCurve::kOnsetStep),
            m_nextFirstBeat, last, step, static_cast<size_t>(std::ceil(m_beats[last])) + 1};
        m_open.push_back(std::move(stretch));
        m_nextFirstBeat = last == m_beats.size() - 1 ? m_beats.size() : last - 1;
    }
}

void BeatChanges::push(const float* step) {
    startStretchesAt(m_step);
    for (Stretch& stretch : m_open) stretch.finder->pushAudioBlock(step);
    ++m_step;
    while (!m_open.empty() && m_open.front().endStep <= m_step) {
        finishStretch(m_open.front());
        m_open.pop_front();
    }
}

void BeatChanges::finishStretch(Stretch& stretch) {
    size_t length = 0;
    const float* audio = stretch.finder->getBufferedAudio(length);
    std::vector<int> ignored;
    stretch.finder->findDownBeats(
        audio, length,
        relativeBeats(m_beats, stretch.firstBeat, stretch.lastBeat, stretch.firstStep), ignored);
    std::vector<double> differences;
    stretch.finder->getBeatSD(differences);
    // The n-th difference compares the beat after the stretch's n-th beat with the one before.
    for (size_t i = 0; i < differences.size(); ++i) {
        const size_t beat = stretch.firstBeat + i + 1;
        if (beat < m_changes.size())
            m_changes[beat] = differences[i];
    }
}

std::vector<double> BeatChanges::finish() {
    for (Stretch& stretch : m_open) finishStretch(stretch);
    m_open.clear();
    return m_changes;
}

namespace {

struct Grouping {
    int phase = 0;
    double contrast = 0;  // the strongest phase's mean change over the mean change of all beats
};

Grouping bestPhase(const std::vector<double>& changes, int beatsPerBar) {
    std::vector<double> sums(beatsPerBar, 0.0);
    std::vector<int> counts(beatsPerBar, 0);
    double total = 0;
    int counted = 0;
    // The first and last beats have no change measured.
    for (size_t i = 1; i + 1 < changes.size(); ++i) {
        sums[i % beatsPerBar] += changes[i];
        ++counts[i % beatsPerBar];
        total += changes[i];
        ++counted;
    }
    Grouping best;
    if (counted == 0 || total <= 0)
        return best;
    for (int phase = 0; phase < beatsPerBar; ++phase) {
        if (counts[phase] == 0)
            continue;
        const double contrast = sums[phase] / counts[phase] / (total / counted);
        if (contrast > best.contrast)
            best = {phase, contrast};
    }
    return best;
}

// Six beats to a bar (6/8 counted in eighths) only where the one of every other bar of three
// stands out this much more than the one between. Two beats to a bar are not told from four:
// the third beat of a bar of four changes nearly as much as its one, so four is taken, the more
// common of the two.
constexpr double kSixOverThree = 1.3;

}  // namespace

BarPlacement placeBars(const std::vector<double>& changes) {
    const Grouping two = bestPhase(changes, 2);
    const Grouping three = bestPhase(changes, 3);
    if (three.contrast > two.contrast) {
        const Grouping six = bestPhase(changes, 6);
        if (six.contrast > three.contrast * kSixOverThree)
            return {6, six.phase};
        return {3, three.phase};
    }
    const Grouping four = bestPhase(changes, 4);
    return {4, four.phase};
}
