// The listening tuner's detector, offline: sine tones and plucked strings at every open string of
// every tuning, each a little off, clean, in white noise at 20 dB SNR and with a second harmonic
// 6 dB above the fundamental. Prints, per case, the error after 150 ms and over the steady part,
// the time to the first stable reading and octave errors; then the worst of each kind against
// its target and the processor time while listening. Then how long a plucked A with a 3 s decay
// is read, and the same figures for recorded guitars: General MIDI sound fonts' guitar samples
// (programs 24-31), every note from the lowest open string to the highest's 12th fret and the
// open strings of standard, drop D and drop C tunings 20 cents flat and sharp, against each
// sample's fundamental measured by a second method.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <numbers>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "../tests/support/GuitarSignals.h"
#include "../tests/support/RenderedGuitar.h"
#include "tuner/PitchDetector.h"
#include "tuner/Tunings.h"

namespace {

constexpr double kRate = 48000;
constexpr std::size_t kBlock = 480;  // the capture stream's 10 ms
constexpr double kLead = 0.1;        // silence before the note
constexpr double kSeconds = 1.5;
constexpr double kOffsets[] = {-30, -5, -0.5, 0, 0.5, 5, 30};

enum class Kind { Sine, Pluck, PluckNoise, StrongSecond };
const char* const kKindNames[] = {"sine", "pluck", "pluck+noise", "2nd +6dB"};

struct Outcome {
    double after150 = 1e9;  // cents; 1e9: no reading then
    double steadyWorst = 0;
    double firstStable = -1;   // ms after the note begins; -1: never
    double atFirstStable = 0;  // cents
    int octaveErrors = 0;
};

std::vector<float> signalFor(Kind kind, double hz) {
    std::vector<float> note;
    switch (kind) {
        case Kind::Sine:
            note = guitar::tone(hz, kSeconds, kRate, 0.3);
            break;
        case Kind::StrongSecond:
            note = guitar::tone(hz, kSeconds, kRate, 0.3, 6, 4);
            break;
        case Kind::Pluck:
        case Kind::PluckNoise:
            note = guitar::PluckedString(hz, kRate).render(kSeconds, 0.3);
            if (kind == Kind::PluckNoise) {
                guitar::addNoise(note, 20, kRate);
            }
            break;
    }
    std::vector<float> out(static_cast<std::size_t>(kLead * kRate), 0.0f);
    out.insert(out.end(), note.begin(), note.end());
    return out;
}

Outcome measure(PitchDetector& detector, const std::vector<float>& samples, double hz) {
    detector.reset();
    Outcome outcome;
    for (std::size_t at = 0; at + kBlock <= samples.size(); at += kBlock) {
        const auto reading = detector.feed(samples.data() + at, kBlock);
        const double ms = (double(at + kBlock) / kRate - kLead) * 1000;
        if (!reading) {
            continue;
        }
        const double cents = guitar::centsBetween(reading->hz, hz);
        outcome.octaveErrors += std::abs(cents) > 600;
        if (ms >= 150 && outcome.after150 == 1e9) {
            outcome.after150 = cents;
        }
        if (reading->stable && outcome.firstStable < 0) {
            outcome.firstStable = ms;
            outcome.atFirstStable = cents;
        }
        if (ms >= 300 && reading->stable) {
            outcome.steadyWorst = std::max(outcome.steadyWorst, std::abs(cents));
        }
    }
    return outcome;
}

struct Worst {
    double after150 = 0, steady = 0, firstStable = 0, atFirstStable = 0;
    int octaveErrors = 0, cases = 0;
};

// What the detector makes of one note that begins after kLead of silence.
struct Heard {
    std::vector<std::optional<PitchReading>> hops;  // one per block, from the note's start
    double holdSeconds = 0;  // from the note's start to the first rest after a reading
};

Heard hear(PitchDetector& detector, const std::vector<float>& note) {
    detector.reset();
    std::vector<float> samples(static_cast<std::size_t>(kLead * kRate), 0.0f);
    samples.insert(samples.end(), note.begin(), note.end());
    Heard heard;
    bool read = false, rested = false;
    for (std::size_t at = 0; at + kBlock <= samples.size(); at += kBlock) {
        const auto reading = detector.feed(samples.data() + at, kBlock);
        const double seconds = double(at + kBlock) / kRate - kLead;
        if (seconds > 0) {
            heard.hops.push_back(reading);
        }
        rested |= read && !reading;
        read |= reading.has_value();
        if (reading && !rested) {
            heard.holdSeconds = seconds;
        }
    }
    return heard;
}

// When a 10 ms block of the note first falls 40 dB under the loudest in its first 0.2 s.
double fortyDbDown(const std::vector<float>& note) {
    std::vector<double> levels;
    for (std::size_t at = 0; at + kBlock <= note.size(); at += kBlock) {
        double power = 0;
        for (std::size_t i = at; i < at + kBlock; ++i) {
            power += double(note[i]) * note[i];
        }
        levels.push_back(std::sqrt(power / kBlock));
    }
    const auto attack = std::max_element(levels.begin(), levels.begin() + 20);
    const auto down =
        std::find_if(attack, levels.end(), [&](double l) { return l < 0.01 * *attack; });
    return double(down - levels.begin() + 1) * kBlock / kRate;
}

void holdOfAPluckedA() {
    std::printf("\nhow long a plucked A2 (3 s decay, -30 dB RMS at its attack) is read\n");
    for (double snr : {200.0, 40.0}) {
        auto note = guitar::PluckedString(110, kRate, 3).render(4, 0.1);
        guitar::addNoise(note, snr, kRate);
        PitchDetector detector(kRate);
        const Heard heard = hear(detector, note);
        std::printf(
            "noise %3.0f dB under it: read for %.2f s; it falls 40 dB from its attack in %.2f s\n",
            snr, heard.holdSeconds, fortyDbDown(note));
    }
}

// The fundamental's mean frequency over [fromSeconds, toSeconds), near `hz`: the slope of a line
// through its phase, taken every 2 ms under a Blackman window of four periods (whose sidelobes
// keep the second partial out). Unlike a spectrum's peak it weighs the whole span alike, so it
// follows a pitch that moves as the note begins. `hz` when the span holds no window.
double phaseSlopeHz(const std::vector<float>& s, double hz, double fromSeconds, double toSeconds) {
    const auto length = static_cast<std::size_t>(std::lround(4 * rendered::kRate / hz));
    const auto from = static_cast<std::size_t>(std::max(0.0, fromSeconds) * rendered::kRate);
    const auto to = std::min(s.size(), static_cast<std::size_t>(toSeconds * rendered::kRate));
    std::vector<double> window(length);
    for (std::size_t n = 0; n < length; ++n) {
        const double x = 2 * std::numbers::pi * (static_cast<double>(n) + 0.5) / length;
        window[n] = 0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2 * x);
    }
    const double omega = 2 * std::numbers::pi * hz / rendered::kRate;
    std::vector<double> seconds, radians;
    for (std::size_t start = from; start + length <= to; start += 96) {
        std::complex<double> sum = 0, turn = std::polar(1.0, -omega * double(start));
        const std::complex<double> step = std::polar(1.0, -omega);
        for (std::size_t n = 0; n < length; ++n) {
            sum += window[n] * s[start + n] * turn;
            turn *= step;
        }
        const double raw = std::arg(sum);
        const double previous = radians.empty() ? raw : radians.back();
        radians.push_back(previous + std::remainder(raw - previous, 2 * std::numbers::pi));
        seconds.push_back((static_cast<double>(start) + 0.5 * length) / rendered::kRate);
    }
    if (seconds.size() < 2) {
        return hz;
    }
    double meanT = 0, meanPhase = 0;
    for (std::size_t i = 0; i < seconds.size(); ++i) {
        meanT += seconds[i] / seconds.size();
        meanPhase += radians[i] / seconds.size();
    }
    double covariance = 0, variance = 0;
    for (std::size_t i = 0; i < seconds.size(); ++i) {
        covariance += (seconds[i] - meanT) * (radians[i] - meanPhase);
        variance += (seconds[i] - meanT) * (seconds[i] - meanT);
    }
    return hz + covariance / variance / (2 * std::numbers::pi);
}

struct RenderedWorst {
    int notes = 0, octaveNotes = 0, stableOctaveNotes = 0, unread = 0;
    double after150 = 0, firstShown = 0, atFirstShown = 0, decay = 0;
    double moves = 0;  // cents: the sample's own pitch at 150 ms from its pitch at 0.2-0.5 s
    std::vector<double> holdShare;  // read for / 40 dB fall
};

// Every note from the lowest open string to the highest's 12th fret, and the open strings of
// standard, drop D and drop C tunings also 20 cents flat and sharp.
std::vector<rendered::Note> recordedNotes() {
    std::set<int> keys, open;
    for (const auto& tuning : Tunings::known()) {
        for (int string : tuning.notes) {
            for (int fret = 0; fret <= 12; ++fret) {
                keys.insert(string + fret);
            }
            const std::string_view name = tuning.name;
            if (name == "STANDARD" || name == "DROP D" || name == "DROP C") {
                open.insert(string);
            }
        }
    }
    std::vector<rendered::Note> notes;
    for (int key : keys) {
        notes.push_back({key, 6});
    }
    for (double cents : {-20.0, 20.0}) {
        for (int key : open) {
            notes.push_back({key, 6, cents});
        }
    }
    return notes;
}

void recordedGuitars() {
    const char* names[] = {"nylon", "steel",     "jazz",       "clean",
                           "muted", "overdrive", "distortion", "harmonics"};
    const auto notes = recordedNotes();
    PitchDetector detector(kRate);
    std::vector<std::pair<std::string, RenderedWorst>> summary;
    for (const char* font : {rendered::kFluidR3, rendered::kTimGM6mb}) {
        if (!rendered::available(font)) {
            std::printf("\n%s: absent (fluidsynth and fluid-soundfont-gm, timgm6mb-soundfont)\n",
                        font);
            continue;
        }
        const std::string fontName = std::filesystem::path(font).stem().string();
        std::printf("\n%-10s %-10s %-4s %4s %9s %9s %7s %7s %9s %6s %9s %9s %7s %7s\n", "font",
                    "program", "note", "bent", "truth Hz", "fund dB", "moves", "octave", "@150ms",
                    "shown", "@shown", "decay", "read s", "-40dB s");
        for (int program = 24; program <= 31; ++program) {
            const auto rendered = rendered::render(font, program, notes);
            RenderedWorst w;
            for (std::size_t i = 0; i < rendered.size(); ++i) {
                const int key = notes[i].key;
                const auto& note = rendered[i];
                const Heard heard = hear(detector, note);
                // The sample's own fundamental against its strongest partial, over 0.1-0.6 s.
                const double truth = rendered::fundamentalHz(note, key, 0.2, 0.5, notes[i].cents);
                const auto early = rendered::windowed(note, 4800, 28800);
                double strongest = 0;
                for (int k = 1; k <= 6; ++k) {
                    strongest = std::max(strongest, rendered::magnitudeAt(early, k * truth));
                }
                const double fundamentalDb =
                    20 * std::log10(rendered::magnitudeAt(early, truth) / strongest);
                int octave = 0, stableOctave = 0;
                std::optional<std::size_t> firstShown;
                for (std::size_t hop = 0; hop < heard.hops.size(); ++hop) {
                    const auto& reading = heard.hops[hop];
                    const bool off =
                        reading && std::abs(guitar::centsBetween(reading->hz, truth)) > 600;
                    octave += off;
                    stableOctave += off && reading->stable;
                    if (reading && !firstShown) {
                        firstShown = hop;
                    }
                }
                // Against the fundamental over the span the reading has heard: over the decay its
                // last 0.3 s, by the spectrum's peak; in the first 0.3 s, when the pitch of a
                // sample may still move, its last 0.1 s by the slope of its phase, leaving out
                // the sampled pick's first 50 ms, which has no pitch of its own.
                const auto onsetHz = [&](double seconds) {
                    return phaseSlopeHz(note, truth, std::max(0.05, seconds - 0.1), seconds);
                };
                const auto errorAt = [&](std::size_t hop) -> std::optional<double> {
                    if (hop >= heard.hops.size() || !heard.hops[hop]) {
                        return std::nullopt;
                    }
                    const double seconds = double(hop + 1) / 100;
                    const double measured = seconds < 0.3
                                                ? onsetHz(seconds)
                                                : rendered::fundamentalHz(note, key, seconds - 0.3,
                                                                          seconds, notes[i].cents);
                    return guitar::centsBetween(heard.hops[hop]->hz, measured);
                };
                // How far the sample's own pitch at 150 ms is from where it rings at 0.2-0.5 s.
                const double moves = guitar::centsBetween(onsetHz(0.15), truth);
                const auto at150 = errorAt(14);
                const auto atShown = firstShown ? errorAt(*firstShown) : std::nullopt;
                double decay = 0;
                for (double seconds : {0.5, 1.0, 1.5, 2.0, 3.0, 4.0, 5.0}) {
                    if (const auto e =
                            errorAt(static_cast<std::size_t>(std::lround(seconds * 100)) - 1)) {
                        decay = std::max(decay, std::abs(*e));
                    }
                }
                const double fall = fortyDbDown(note);
                const double shownMs = firstShown ? double(*firstShown + 1) * 10 : std::nan("");
                std::printf(
                    "%-10s %-10s %-4s %+4.0f %9.3f %9.1f %+7.1f %7d %+9.2f %6.0f %+9.2f %9.2f "
                    "%7.2f %7.2f\n",
                    fontName.c_str(), names[program - 24], Tunings::noteName(key).c_str(),
                    notes[i].cents, truth, fundamentalDb, moves, octave,
                    at150 ? *at150 : std::nan(""), shownMs, atShown ? *atShown : std::nan(""),
                    decay, heard.holdSeconds, fall);
                ++w.notes;
                w.octaveNotes += octave > 0;
                w.stableOctaveNotes += stableOctave > 0;
                w.unread += !at150;
                w.after150 = std::max(w.after150, at150 ? std::abs(*at150) : 0);
                if (atShown) {
                    w.firstShown = std::max(w.firstShown, shownMs);
                    w.atFirstShown = std::max(w.atFirstShown, std::abs(*atShown));
                }
                w.decay = std::max(w.decay, decay);
                w.moves = std::max(w.moves, std::abs(moves));
                w.holdShare.push_back(heard.holdSeconds / fall);
            }
            summary.emplace_back(fontName + " " + names[program - 24], w);
        }
    }
    std::printf("\n%-22s %6s %8s %8s %8s %13s %13s %13s %13s %13s %18s\n", "recorded", "notes",
                "octave", "stable", "unread", "own move", "worst @150ms", "latest shown",
                "worst @shown", "worst decay", "read / 40 dB fall");
    for (auto& [name, w] : summary) {
        std::sort(w.holdShare.begin(), w.holdShare.end());
        std::printf(
            "%-22s %6d %8d %8d %8d %10.1f ct %10.2f ct %10.0f ms %10.2f ct %10.2f ct %8.2f "
            "(median %.2f)\n",
            name.c_str(), w.notes, w.octaveNotes, w.stableOctaveNotes, w.unread, w.moves,
            w.after150, w.firstShown, w.atFirstShown, w.decay, w.holdShare.front(),
            w.holdShare[w.holdShare.size() / 2]);
    }
}

}  // namespace

int main() {
    PitchDetector detector(kRate);
    std::set<int> strings;
    for (const auto& tuning : Tunings::known()) {
        strings.insert(tuning.notes.begin(), tuning.notes.end());
    }
    Worst worst[4];
    double audioSeconds = 0;
    timespec begin{}, end{};
    double cpuSeconds = 0;
    std::printf("%-12s %-5s %7s %10s %10s %9s %10s %7s\n", "kind", "note", "offset", "@150ms",
                "steady", "stable", "@stable", "octave");
    for (int k = 0; k < 4; ++k) {
        const auto kind = static_cast<Kind>(k);
        for (int note : strings) {
            for (double offset : kOffsets) {
                const double hz = guitar::centsAbove(Tunings::frequencyOf(note, 440), offset);
                const auto samples = signalFor(kind, hz);
                clock_gettime(CLOCK_THREAD_CPUTIME_ID, &begin);
                const Outcome o = measure(detector, samples, hz);
                clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
                cpuSeconds +=
                    double(end.tv_sec - begin.tv_sec) + (end.tv_nsec - begin.tv_nsec) * 1e-9;
                audioSeconds += double(samples.size()) / kRate;
                std::printf("%-12s %-5s %+7.1f %+10.3f %10.3f %9.0f %+10.3f %7d\n", kKindNames[k],
                            Tunings::noteName(note).c_str(), offset, o.after150, o.steadyWorst,
                            o.firstStable, o.atFirstStable, o.octaveErrors);
                Worst& w = worst[k];
                w.after150 = std::max(w.after150, std::abs(o.after150));
                w.steady = std::max(w.steady, o.steadyWorst);
                w.firstStable = std::max(w.firstStable, o.firstStable < 0 ? 1e9 : o.firstStable);
                w.atFirstStable = std::max(w.atFirstStable, std::abs(o.atFirstStable));
                w.octaveErrors += o.octaveErrors;
                ++w.cases;
            }
        }
    }
    std::printf("\n%-12s %6s %14s %14s %16s %14s %8s\n", "kind", "cases", "worst @150ms",
                "worst steady", "slowest stable", "worst @stable", "octave");
    for (int k = 0; k < 4; ++k) {
        const Worst& w = worst[k];
        std::printf("%-12s %6d %11.3f ct %11.3f ct %13.0f ms %11.3f ct %8d\n", kKindNames[k],
                    w.cases, w.after150, w.steady, w.firstStable, w.atFirstStable, w.octaveErrors);
    }
    std::printf(
        "targets: steady sine within 0.1 ct; plucked within 0.5 ct at 150 ms; stable by 120 "
        "ms; no octave errors\n");
    std::printf("processor while listening: %.2f %% of a core (%.0f s of audio in %.2f s)\n",
                100 * cpuSeconds / audioSeconds, audioSeconds, cpuSeconds);
    holdOfAPluckedA();
    recordedGuitars();
}
