// The listening tuner's detector, offline: sine tones and plucked strings at every open string of
// every tuning, each a little off, clean, in white noise at 20 dB SNR and with a second harmonic
// 6 dB above the fundamental. Prints, per case, the error after 150 ms and over the steady part,
// the time to the first stable reading and octave errors; then the worst of each kind against
// its target and the processor time while listening.
#include <cstdio>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "../tests/support/GuitarSignals.h"
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
}
