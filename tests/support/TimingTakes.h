#pragma once
// Takes of a guitarist playing against a metronome, made at run time with the onset of every
// note known: plucked strings (single notes, palm mutes, strums) or recorded notes rendered by
// fluidsynth, placed on a grid at known offsets, in a room, with noise, and with the click as a
// microphone in the room hears it.

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "GuitarSignals.h"

namespace takes {

constexpr double kRate = 48000;

// A beat grid: `subdivision` positions a beat, the clicks heard on every position except in
// muted bars (`muteBars` of every `playBars + muteBars`).
struct Grid {
    double bpm = 120;
    int beatsPerBar = 4;
    int subdivision = 2;
    int playBars = 1, muteBars = 0;
    double start = 0.5;    // s, the first position
    bool accents = false;  // the first beat of each bar accented

    double spacing() const { return 60 / bpm / subdivision; }
    double at(int position) const { return start + position * spacing(); }
    int beatOf(int position) const { return (position / subdivision) % beatsPerBar; }
    long barOf(int position) const { return position / (subdivision * beatsPerBar); }
    bool heard(int position) const {
        return muteBars == 0 || barOf(position) % (playBars + muteBars) < playBars;
    }
    bool accented(int position) const {
        return accents && position % (subdivision * beatsPerBar) == 0;
    }
};

// Freeverb's shape: four combs tuned to a decay time, two allpasses, mixed under the dry sound.
inline std::vector<float> inRoom(const std::vector<float>& dry, double rt60, double wet = 0.3) {
    if (rt60 <= 0) {
        return dry;
    }
    const double combMs[] = {29.7, 37.1, 41.1, 43.7};
    std::vector<double> sum(dry.size(), 0);
    for (double ms : combMs) {
        const auto delay = static_cast<size_t>(ms * kRate / 1000);
        const double gain = std::pow(10.0, -3 * ms / 1000 / rt60);
        std::vector<double> line(delay, 0);
        for (size_t n = 0; n < dry.size(); ++n) {
            const double out = line[n % delay];
            line[n % delay] = dry[n] + gain * out;
            sum[n] += out / 4;
        }
    }
    for (double ms : {5.0, 1.7}) {
        const auto delay = static_cast<size_t>(ms * kRate / 1000);
        std::vector<double> line(delay, 0);
        for (size_t n = 0; n < sum.size(); ++n) {
            const double buffered = line[n % delay];
            const double in = sum[n];
            line[n % delay] = in + 0.7 * buffered;
            sum[n] = buffered - 0.7 * in;
        }
    }
    std::vector<float> out(dry.size());
    for (size_t n = 0; n < dry.size(); ++n) {
        out[n] = static_cast<float>(dry[n] + wet * sum[n]);
    }
    return out;
}

// A metronome click as a small speaker gives it: a few milliseconds of a high tone and a thump.
inline std::vector<float> clickSound(double amplitude) {
    std::vector<float> out(static_cast<size_t>(0.03 * kRate));
    for (size_t n = 0; n < out.size(); ++n) {
        const double t = double(n) / kRate;
        out[n] = static_cast<float>(
            amplitude * std::exp(-t / 0.004) *
            (0.7 * std::sin(guitar::kTwoPi * 2500 * t) + 0.3 * std::sin(guitar::kTwoPi * 900 * t)));
    }
    return out;
}

// The metronome's own click as its synthesizer sounds it and a sound server hands it to the
// input: two partials rising from silence under a 4 ms decay, 25 ms long, the accent a higher
// pair, a subdivision at 11/20 of a beat's level; at a moment that falls between samples.
inline void mixMetronomeClick(std::vector<float>& into, double at, double amplitude, bool accent) {
    const double low = accent ? 3000 : 2000, high = accent ? 4950 : 3300;
    const auto first = static_cast<size_t>(std::ceil(at * kRate));
    for (size_t n = first; n < into.size() && n < first + size_t(0.025 * kRate); ++n) {
        const double t = double(n) / kRate - at;
        into[n] += static_cast<float>(
            amplitude * std::exp(-t / 0.004) * 0.5 *
            (std::sin(guitar::kTwoPi * low * t) + std::sin(guitar::kTwoPi * high * t)));
    }
}

inline void mixAt(std::vector<float>& into, const std::vector<float>& sound, double at,
                  double gain = 1) {
    const auto from = static_cast<size_t>(std::lround(at * kRate));
    for (size_t i = 0; i < sound.size() && from + i < into.size(); ++i) {
        into[from + i] += static_cast<float>(gain * sound[i]);
    }
}

// Where a sound's attack begins: its first sample above a hundredth of its peak.
inline double leadOf(const std::vector<float>& sound) {
    float peak = 0;
    for (float s : sound) {
        peak = std::max(peak, std::abs(s));
    }
    for (size_t i = 0; i < sound.size(); ++i) {
        if (std::abs(sound[i]) > 0.01f * peak) {
            return double(i) / kRate;
        }
    }
    return 0;
}

enum class Kind { Single, PalmMute, Strum };

// A plucked note (or a strum of five strings 6 ms apart from the low one) with its attack at
// the sound's first sample.
inline std::vector<float> pluck(Kind kind, int index, unsigned seed) {
    static const double kStrings[] = {82.41, 110.0, 146.83, 196.0, 246.94, 329.63};
    const double hz = kStrings[index % 6] * std::pow(2.0, (index * 7 % 12) / 12.0);
    if (kind == Kind::Strum) {
        std::vector<float> out(static_cast<size_t>(0.6 * kRate), 0);
        for (int s = 0; s < 5; ++s) {
            const auto string =
                guitar::PluckedString(kStrings[s], kRate, 2.0).render(0.5, 0.15, seed + s);
            mixAt(out, string, s * 0.006);
        }
        return out;
    }
    const bool muted = kind == Kind::PalmMute;
    return guitar::PluckedString(hz, kRate, muted ? 0.12 : 1.5)
        .render(muted ? 0.25 : 0.5, muted ? 0.25 : 0.3, seed);
}

struct Take {
    std::vector<float> samples;
    std::vector<double> onsets;   // s, each note's attack
    std::vector<double> offsets;  // ms, from its grid position
    std::vector<double> clicks;   // s, the clicks heard
};

struct Recipe {
    Grid grid;
    int notes = 48;
    double shiftMs = 0;    // every note this far from its position
    double randomMs = 0;   // and within ± this at random
    double rt60 = 0;       // the room, 0 for none
    double snrDb = 0;      // noise under the guitar; 0 for none
    double clickGain = 0;  // the click against the guitar's level; 0 for none
    unsigned seed = 1;
    int countIn = 4;  // positions with the click alone, while the coach learns its sound
    // The metronome's clicks of each kind (see mixMetronomeClick) instead of one click, heard
    // as far as this from where the grid has them, wandering over half a minute: the input's
    // clock against the one the grid is told by.
    bool metronomeClicks = false;
    double wanderMs = 0;
};

// Notes from `sound(i)` (each with its attack at the sample its lead says), one on every grid
// position, with the clicks, in a room, then in noise.
template <typename Sound>
Take make(const Recipe& r, Sound sound) {
    Take take;
    const double seconds = r.grid.at(r.countIn + r.notes) + 1.0;
    take.samples.assign(static_cast<size_t>(seconds * kRate), 0);
    std::mt19937 random(r.seed);
    std::uniform_real_distribution<double> jitter(-r.randomMs, r.randomMs);
    for (int i = 0; i < r.notes; ++i) {
        const double offset = r.shiftMs + (r.randomMs > 0 ? jitter(random) : 0);
        const auto [note, lead] = sound(i);
        const double onset = r.grid.at(r.countIn + i) + offset / 1000;
        mixAt(take.samples, note, onset - lead);
        take.onsets.push_back(onset);
        take.offsets.push_back(offset);
    }
    if (r.clickGain > 0) {
        const auto click = clickSound(r.clickGain);
        for (int i = 0; r.grid.at(i) < seconds - 0.5; ++i) {
            if (!r.grid.heard(i)) {
                continue;
            }
            const double at = r.grid.at(i);
            if (r.metronomeClicks) {
                const double wander = r.wanderMs / 1000 * std::sin(guitar::kTwoPi * at / 30);
                const double level = i % r.grid.subdivision > 0 ? 11.0 / 20 : 1.0;
                mixMetronomeClick(take.samples, at + wander, r.clickGain * level,
                                  r.grid.accented(i));
            } else {
                mixAt(take.samples, click, at);
            }
            take.clicks.push_back(at);
        }
    }
    take.samples = inRoom(take.samples, r.rt60);
    if (r.snrDb > 0) {
        guitar::addNoise(take.samples, r.snrDb, kRate, r.seed + 100);
    }
    return take;
}

}  // namespace takes
