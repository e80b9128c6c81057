#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <vector>

class DownBeat;

// How much the sound changes across each beat (the spectrum of the beat before against the beat
// after), fed the track a step at a time after its beats are known. Bars begin where it changes
// most: chords and drum patterns turn over on the one. The spectra are taken a few dozen beats at
// a time so that a long track never sits in memory whole.
class BeatChanges {
public:
    // beatSteps: every beat, in onset steps.
    explicit BeatChanges(std::vector<double> beatSteps);
    ~BeatChanges();
    // The track's next onset step of samples (OnsetCurve::kOnsetStep of them).
    void push(const float* step);
    // After the last step: the change at each beat (none at the first and last).
    std::vector<double> finish();

private:
    struct Stretch;
    void startStretchesAt(size_t step);
    void finishStretch(Stretch& stretch);

    std::vector<double> m_beats;
    std::vector<double> m_changes;
    std::deque<Stretch> m_open;
    size_t m_nextFirstBeat = 0;
    size_t m_step = 0;
};

struct BarPlacement {
    int beatsPerBar = 4;
    int firstDownbeat = 0;
};

// How hard each beat is struck: the onset curve's largest value within two steps of it.
std::vector<double> beatAccents(const std::vector<double>& onsets,
                                const std::vector<double>& beatSteps);

// The meter and the first bar's one from the change and the accent at each beat: bars of four
// beats, or of three where their one stands out more than that of bars of two, or of six where
// the one of every other bar of three stands out clearly more than the one between; or of two
// where the third beat of a bar of four is struck about as hard as its one.
BarPlacement placeBars(const std::vector<double>& changes, const std::vector<double>& accents);
