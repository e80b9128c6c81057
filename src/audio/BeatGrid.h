#pragma once

#include <optional>
#include <vector>

// A track's beats as the analysis found them in the recording, and as the user corrected them:
// the time of every beat, in seconds into the track, and where the bars begin.
struct BeatGrid {
    std::vector<double> beats;  // rising
    int beatsPerBar = 4;
    int firstDownbeat = 0;  // the first beat that is a bar's one: 0 .. beatsPerBar - 1
    bool operator==(const BeatGrid&) const = default;
};

// What the track page and the player work out from a grid. Beats are counted from the grid's
// first; before its first beat and after its last the grid goes on at the interval at that end,
// so a bar that runs past the last beat still has an end. Bar 1 begins at the first downbeat; the
// beats before it are an upbeat, in bar 0. A grid of fewer than two beats says nothing: check
// usable() first.
namespace BeatGrids {

// A time this close to a beat is on it: a marker placed on a beat and read back in frames.
constexpr double kOnBeatSeconds = 0.005;

bool usable(const BeatGrid& grid);
double beatTime(const BeatGrid& grid, long beat);
// The beat at or before a time (on it within kOnBeatSeconds), and the nearest one.
long beatAt(const BeatGrid& grid, double seconds);
long nearestBeat(const BeatGrid& grid, double seconds);
double snapToBeat(const BeatGrid& grid, double seconds);

int barOfBeat(const BeatGrid& grid, long beat);
double barTime(const BeatGrid& grid, int bar);
int barAt(const BeatGrid& grid, double seconds);
// The beat's place in its bar: 0 is the one.
int beatInBar(const BeatGrid& grid, long beat);
// The tempo over the whole grid (its median beat), and over the bar that begins at a time.
double beatsPerMinute(const BeatGrid& grid);
double beatSecondsOfBar(const BeatGrid& grid, int bar);

struct Span {
    double from, to;
};
struct Bars {
    int first, last;
};
// A loop of a number of bars from the bar a time is in (the upbeat counts as bar 1).
Span barsFrom(const BeatGrid& grid, double seconds, int bars);
// The bars a loop covers, when both its ends lie on bar lines.
std::optional<Bars> barsOf(const BeatGrid& grid, Span loop);
// The loop moved by its own length, forward (1) or back (-1): by whole bars when it lies on bars,
// by whole beats when on beats, else by its length in seconds. Nothing when the moved loop would
// leave the track.
std::optional<Span> moved(const BeatGrid& grid, Span loop, int direction, double trackSeconds);

// The count-in before a pass of the track from a time: one bar at the tempo of the bar it counts
// into, whose next one is the first downbeat at or after the time, if one comes before the end
// given; else the pass's start counts as the one.
struct CountIn {
    double downbeat;
    double beatSeconds;
    int beats;
};
CountIn countInFor(const BeatGrid& grid, double from, double until);

// The user's corrections, each a new grid.
// A beat between each two: twice the tempo, the bars half as long.
BeatGrid doubled(const BeatGrid& grid);
// Every other beat, those of the downbeats kept: half the tempo, the bars twice as long.
BeatGrid halved(const BeatGrid& grid);
// The bars begin at this beat.
BeatGrid withDownbeat(const BeatGrid& grid, long beat);
// Every beat later (or earlier) by a few milliseconds; beats pushed before the track's start go.
BeatGrid nudged(const BeatGrid& grid, double seconds);

}  // namespace BeatGrids
