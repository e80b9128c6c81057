#include "audio/BeatGrid.h"

#include <algorithm>
#include <cmath>

namespace BeatGrids {

namespace {

long floorDiv(long a, long b) {
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

int floorMod(long a, long b) {
    return static_cast<int>(a - floorDiv(a, b) * b);
}

int perBar(const BeatGrid& grid) {
    return std::max(grid.beatsPerBar, 1);
}

bool onTime(double a, double b) {
    return std::abs(a - b) <= kOnBeatSeconds;
}

}  // namespace

bool usable(const BeatGrid& grid) {
    return grid.beats.size() >= 2 && grid.beats.back() > grid.beats.front();
}

double beatTime(const BeatGrid& grid, long beat) {
    const auto& beats = grid.beats;
    const auto last = static_cast<long>(beats.size()) - 1;
    if (beat < 0) {
        return beats[0] + static_cast<double>(beat) * (beats[1] - beats[0]);
    }
    if (beat > last) {
        return beats[last] + static_cast<double>(beat - last) * (beats[last] - beats[last - 1]);
    }
    return beats[static_cast<size_t>(beat)];
}

long beatAt(const BeatGrid& grid, double seconds) {
    const auto& beats = grid.beats;
    const auto last = static_cast<long>(beats.size()) - 1;
    const double at = seconds + kOnBeatSeconds;
    if (at < beats.front()) {
        return static_cast<long>(std::floor((at - beats[0]) / (beats[1] - beats[0])));
    }
    if (at >= beats.back()) {
        return last +
               static_cast<long>(std::floor((at - beats[last]) / (beats[last] - beats[last - 1])));
    }
    return static_cast<long>(std::upper_bound(beats.begin(), beats.end(), at) - beats.begin()) - 1;
}

long nearestBeat(const BeatGrid& grid, double seconds) {
    const long before = beatAt(grid, seconds);
    return seconds - beatTime(grid, before) <= beatTime(grid, before + 1) - seconds ? before
                                                                                    : before + 1;
}

double snapToBeat(const BeatGrid& grid, double seconds) {
    return beatTime(grid, nearestBeat(grid, seconds));
}

int barOfBeat(const BeatGrid& grid, long beat) {
    return static_cast<int>(floorDiv(beat - grid.firstDownbeat, perBar(grid))) + 1;
}

double barTime(const BeatGrid& grid, int bar) {
    return beatTime(grid, grid.firstDownbeat + static_cast<long>(bar - 1) * perBar(grid));
}

int barAt(const BeatGrid& grid, double seconds) {
    return barOfBeat(grid, beatAt(grid, seconds));
}

int beatInBar(const BeatGrid& grid, long beat) {
    return floorMod(beat - grid.firstDownbeat, perBar(grid));
}

double beatsPerMinute(const BeatGrid& grid) {
    std::vector<double> intervals;
    for (size_t i = 1; i < grid.beats.size(); ++i) {
        intervals.push_back(grid.beats[i] - grid.beats[i - 1]);
    }
    const auto middle = intervals.begin() + static_cast<long>(intervals.size() / 2);
    std::nth_element(intervals.begin(), middle, intervals.end());
    return 60.0 / *middle;
}

double beatSecondsOfBar(const BeatGrid& grid, int bar) {
    return (barTime(grid, bar + 1) - barTime(grid, bar)) / perBar(grid);
}

Span barsFrom(const BeatGrid& grid, double seconds, int bars) {
    const int first = std::max(barAt(grid, seconds), 1);
    return {barTime(grid, first), barTime(grid, first + bars)};
}

std::optional<Bars> barsOf(const BeatGrid& grid, Span loop) {
    const int first = barAt(grid, loop.from);
    const int end = barAt(grid, loop.to);
    if (first < 1 || end <= first || !onTime(barTime(grid, first), loop.from) ||
        !onTime(barTime(grid, end), loop.to)) {
        return std::nullopt;
    }
    return Bars{first, end - 1};
}

std::optional<Span> moved(const BeatGrid& grid, Span loop, int direction, double trackSeconds) {
    Span to{loop.from + direction * (loop.to - loop.from),
            loop.to + direction * (loop.to - loop.from)};
    const long a = nearestBeat(grid, loop.from), b = nearestBeat(grid, loop.to);
    if (const auto bars = barsOf(grid, loop)) {
        const int count = bars->last - bars->first + 1;
        const int first = bars->first + direction * count;
        to = {barTime(grid, first), barTime(grid, first + count)};
    } else if (b > a && onTime(beatTime(grid, a), loop.from) &&
               onTime(beatTime(grid, b), loop.to)) {
        const long count = b - a;
        to = {beatTime(grid, a + direction * count), beatTime(grid, b + direction * count)};
    }
    if (to.from < -kOnBeatSeconds || to.to > trackSeconds + kOnBeatSeconds) {
        return std::nullopt;
    }
    return Span{std::max(to.from, 0.0), std::min(to.to, trackSeconds)};
}

CountIn countInFor(const BeatGrid& grid, double from, double until) {
    long beat = beatAt(grid, from);
    if (!onTime(beatTime(grid, beat), from) && beatTime(grid, beat) < from) {
        ++beat;
    }
    const long downbeat = beat + floorMod(grid.firstDownbeat - beat, perBar(grid));
    const double at = beatTime(grid, downbeat);
    const int bar = barOfBeat(grid, downbeat);
    if (at >= until) {
        return {from, beatSecondsOfBar(grid, barAt(grid, from)), perBar(grid)};
    }
    return {at, beatSecondsOfBar(grid, bar), perBar(grid)};
}

BeatGrid doubled(const BeatGrid& grid) {
    BeatGrid twice{{}, grid.beatsPerBar, floorMod(2L * grid.firstDownbeat, perBar(grid))};
    for (size_t i = 0; i < grid.beats.size(); ++i) {
        if (i > 0) {
            twice.beats.push_back((grid.beats[i - 1] + grid.beats[i]) / 2);
        }
        twice.beats.push_back(grid.beats[i]);
    }
    return twice;
}

BeatGrid halved(const BeatGrid& grid) {
    BeatGrid half{{}, grid.beatsPerBar, grid.firstDownbeat / 2};
    for (size_t i = static_cast<size_t>(grid.firstDownbeat % 2); i < grid.beats.size(); i += 2) {
        half.beats.push_back(grid.beats[i]);
    }
    return half;
}

BeatGrid withDownbeat(const BeatGrid& grid, long beat) {
    BeatGrid moved = grid;
    moved.firstDownbeat = floorMod(beat, perBar(grid));
    return moved;
}

BeatGrid nudged(const BeatGrid& grid, double seconds) {
    BeatGrid moved{{}, grid.beatsPerBar, grid.firstDownbeat};
    long dropped = 0;
    for (const double beat : grid.beats) {
        if (beat + seconds >= 0) {
            moved.beats.push_back(beat + seconds);
        } else {
            ++dropped;
        }
    }
    moved.firstDownbeat = floorMod(grid.firstDownbeat - dropped, perBar(grid));
    return moved;
}

}  // namespace BeatGrids
