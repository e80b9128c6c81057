#pragma once
// A take played through the coach's analyser as the capture stream would hand it over: 20 ms
// blocks, each stamped with when its first sample was heard, the grid's positions told 100 ms
// before they are heard.

#include <chrono>
#include <vector>

#include "TimingTakes.h"
#include "coach/TakeAnalyser.h"

namespace takes {

struct Heard {
    std::vector<double> onsets;  // s
    std::vector<Coach::NoteTiming> notes;
    std::vector<double>
        placedAfter;  // s from each note's onset to the end of the block that placed it
};

inline Heard run(Coach::TakeAnalyser& analyser, const Take& take, const Grid& grid,
                 const Coach::TakeAnalyser::Options& options = {}) {
    using namespace std::chrono;
    const auto origin = steady_clock::time_point(seconds(1000));
    const auto when = [&](double s) {
        return origin + duration_cast<steady_clock::duration>(duration<double>(s));
    };
    analyser.reset(options);
    Heard heard;
    constexpr size_t kBlock = 960;
    int position = 0;
    for (size_t at = 0; at < take.samples.size(); at += kBlock) {
        const double now = double(at) / kRate;
        for (; at > 0 && grid.at(position) < now + 0.1; ++position) {
            Coach::GridPoint point;
            point.bar = grid.barOf(position);
            point.beat = grid.beatOf(position);
            point.subdivision = position % grid.subdivision;
            point.heard = grid.heard(position);
            point.accent = grid.accented(position);
            analyser.addGridPoint(when(grid.at(position)), point);
        }
        const size_t count = std::min(kBlock, take.samples.size() - at);
        analyser.feed(&take.samples[at], count, when(now));
        heard.onsets.insert(heard.onsets.end(), analyser.onsets().begin(), analyser.onsets().end());
        heard.notes.insert(heard.notes.end(), analyser.placed().begin(), analyser.placed().end());
        for (const auto& note : analyser.placed()) {
            heard.placedAfter.push_back(double(at + count) / kRate - note.at);
        }
    }
    return heard;
}

}  // namespace takes
