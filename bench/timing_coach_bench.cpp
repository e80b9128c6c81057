// Figures of the timing coach's analysis: takes made at run time with every note's onset known
// (tests/support/TimingTakes.h), played through the analyser as the capture stream hands them
// over. Prints, for each kind of take, how close the onsets come to the truth, how many notes
// are found and how many are made up (the click among them), and for shifted takes the mean
// offset reported against the shift; then the processor time of the analysis.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "../tests/support/RenderedGuitar.h"
#include "../tests/support/TakeRun.h"
#include "coach/TakeReport.h"

namespace {

using takes::Kind;

struct Score {
    std::vector<double> errors;  // |ms| of each note found
    int truth = 0, found = 0, falseNotes = 0, onClicks = 0;
};

bool onAClick(const takes::Take& take, double onset) {
    return std::any_of(take.clicks.begin(), take.clicks.end(), [onset](double click) {
        return onset > click - 0.005 && onset < click + 0.03;
    });
}

// A detected onset within 20 ms of a true one finds it; every other onset is a false note, and
// one from 5 ms before a click to 30 ms after it is the click counted.
void score(Score& s, const takes::Take& take, const takes::Heard& heard) {
    s.truth += static_cast<int>(take.onsets.size());
    std::vector<bool> used(heard.onsets.size(), false);
    for (double truth : take.onsets) {
        int best = -1;
        for (size_t i = 0; i < heard.onsets.size(); ++i) {
            if (!used[i] && std::abs(heard.onsets[i] - truth) < 0.02 &&
                (best < 0 || std::abs(heard.onsets[i] - truth) <
                                 std::abs(heard.onsets[size_t(best)] - truth))) {
                best = static_cast<int>(i);
            }
        }
        if (best >= 0) {
            used[size_t(best)] = true;
            s.errors.push_back(1000 * std::abs(heard.onsets[size_t(best)] - truth));
            ++s.found;
        }
    }
    for (size_t i = 0; i < used.size(); ++i) {
        s.falseNotes += !used[i];
        s.onClicks += !used[i] && onAClick(take, heard.onsets[i]);
    }
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return NAN;
    }
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * double(v.size())))];
}

void print(const std::string& name, const Score& s) {
    const int detected = s.found + s.falseNotes;
    std::printf("| %-34s | %4d | %6.3f | %6.3f | %6.3f | %5.1f %% | %4.1f %% | %3d |\n",
                name.c_str(), s.truth, percentile(s.errors, 0.5), percentile(s.errors, 0.95),
                percentile(s.errors, 1.0), 100.0 * s.found / std::max(1, s.truth),
                100.0 * s.falseNotes / std::max(1, detected), s.onClicks);
}

struct Sound {
    Kind kind;
    std::vector<std::vector<float>> rendered;  // recorded notes, when not plucked
    std::pair<std::vector<float>, double> operator()(int i) const {
        if (!rendered.empty()) {
            const auto& note = rendered[size_t(i) % rendered.size()];
            return {note, takes::leadOf(note)};
        }
        return {takes::pluck(kind, i, 11u + unsigned(i)), 0.0};
    }
};

double analysedSeconds = 0, cpuSeconds = 0;
std::vector<double> placedAfterMs;

takes::Heard timedRun(Coach::TakeAnalyser& analyser, const takes::Take& take,
                      const takes::Grid& grid) {
    timespec a{}, b{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &a);
    auto heard = takes::run(analyser, take, grid);
    for (double s : heard.placedAfter) {
        placedAfterMs.push_back(1000 * s);
    }
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &b);
    cpuSeconds += double(b.tv_sec - a.tv_sec) + (b.tv_nsec - a.tv_nsec) * 1e-9;
    analysedSeconds += double(take.samples.size()) / takes::kRate;
    return heard;
}

}  // namespace

int main() {
    Coach::TakeAnalyser analyser(48000);
    takes::Grid grid;  // 120 BPM eighths, a muted bar after every played one
    grid.playBars = 1;
    grid.muteBars = 1;
    // The metronome as it runs: accents, eighths, every click heard at full level, three times the
    // guitar's, and where the input hears them wandering ±2.5 ms from where the grid has them.
    takes::Grid metronome;
    metronome.accents = true;
    std::printf("Onsets against the truth (ms), random offsets within ±15 ms:\n\n");
    std::printf(
        "| take | notes | median | 95th | worst | recall | false | on a click "
        "|\n|---|---|---|---|---|---|---|---|\n");
    struct Case {
        std::string name;
        Sound sound;
        double rt60, snr, click;
        bool metronome = false;  // the metronome's clicks as the running program hears them
    };
    std::vector<Case> cases = {
        {"plucked, clean", {Kind::Single, {}}, 0, 0, 0},
        {"plucked, click", {Kind::Single, {}}, 0, 0, 0.3},
        {"plucked, room 0.3 s, 20 dB, click", {Kind::Single, {}}, 0.3, 20, 0.3},
        {"plucked, room 0.8 s, 20 dB, click", {Kind::Single, {}}, 0.8, 20, 0.3},
        {"palm muted, room 0.3 s, 20 dB, click", {Kind::PalmMute, {}}, 0.3, 20, 0.3},
        {"strums, room 0.3 s, 20 dB, click", {Kind::Strum, {}}, 0.3, 20, 0.3},
        {"plucked, metronome", {Kind::Single, {}}, 0, 0, 1, true},
        {"plucked, room 0.3 s, 20 dB, metronome", {Kind::Single, {}}, 0.3, 20, 1, true},
        {"palm muted, metronome", {Kind::PalmMute, {}}, 0, 0, 1, true},
        {"strums, metronome", {Kind::Strum, {}}, 0, 0, 1, true},
    };
    if (rendered::available(rendered::kFluidR3)) {
        for (int program = 24; program <= 31; ++program) {
            // One note a render: the release of one cut off under the next would blur its start.
            Sound sound{Kind::Single, {}};
            for (int key : {40, 45, 50, 55, 59, 64, 52, 57}) {
                sound.rendered.push_back(
                    rendered::render(rendered::kFluidR3, program, {{key, 0.4}}, 0.1).front());
            }
            cases.push_back(
                {"FluidR3 program " + std::to_string(program) + ", room 0.3 s, 20 dB, click", sound,
                 0.3, 20, 0.3});
        }
    } else {
        std::printf("(fluidsynth or FluidR3_GM missing: recorded notes left out)\n");
    }
    Score everything;
    for (const auto& c : cases) {
        Score s;
        for (unsigned seed = 1; seed <= 3; ++seed) {
            const takes::Grid& played = c.metronome ? metronome : grid;
            takes::Recipe recipe{played, 48, 0, 15, c.rt60, c.snr, c.click, seed};
            recipe.metronomeClicks = c.metronome;
            recipe.wanderMs = c.metronome ? 2.5 : 0;
            const auto take = takes::make(recipe, c.sound);
            const auto heard = timedRun(analyser, take, played);
            score(s, take, heard);
            score(everything, take, heard);
        }
        print(c.name, s);
    }
    print("all", everything);

    std::printf("\nShifted takes (plucked, room 0.3 s, 20 dB, click): mean offset reported\n\n");
    std::printf(
        "| shift | notes placed | mean | spread | muted bars' mean |\n|---|---|---|---|---|\n");
    for (double shift : {0.0, 5.0, -5.0, 10.0, -10.0, 20.0, -20.0, 40.0, -40.0}) {
        takes::Recipe recipe{grid, 64, shift, 0, 0.3, 20, 0.3, 5};
        const auto take = takes::make(recipe, Sound{Kind::Single, {}});
        const auto heard = timedRun(analyser, take, grid);
        const auto report = Coach::reportTake(heard.notes);
        for (const auto& part : report) {
            std::printf("| %+5.0f | %d | %+7.3f | %6.3f | %+7.3f |\n", shift, part.all.notes,
                        part.all.meanMs, part.all.spreadMs, part.muted.meanMs);
        }
    }
    std::printf("\nRandom offsets within ±15 ms: reported against true offset, ms\n\n");
    {
        std::vector<double> errors;
        for (unsigned seed = 1; seed <= 3; ++seed) {
            takes::Recipe recipe{grid, 64, 0, 15, 0.3, 20, 0.3, seed};
            const auto take = takes::make(recipe, Sound{Kind::Single, {}});
            const auto heard = timedRun(analyser, take, grid);
            for (const auto& note : heard.notes) {
                for (size_t i = 0; i < take.onsets.size(); ++i) {
                    if (std::abs(take.onsets[i] - note.at) < 0.02) {
                        errors.push_back(std::abs(note.offsetMs - take.offsets[i]));
                    }
                }
            }
        }
        std::printf("notes %zu, median %.3f, 95th %.3f, worst %.3f\n", errors.size(),
                    percentile(errors, 0.5), percentile(errors, 0.95), percentile(errors, 1.0));
    }
    std::printf(
        "\nFrom a note's onset to the end of the 20 ms block that places it: median %.1f ms, "
        "95th %.1f ms, worst %.1f ms\n",
        percentile(placedAfterMs, 0.5), percentile(placedAfterMs, 0.95),
        percentile(placedAfterMs, 1.0));
    std::printf("\nProcessor time of the analysis: %.2f %% of a core (%.1f s of takes in %.2f s)\n",
                100 * cpuSeconds / analysedSeconds, analysedSeconds, cpuSeconds);
}
