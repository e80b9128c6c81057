#pragma once

#include "audio/TrackTuning.h"

// How far ahead of its place in time Rubber Band's real-time stretcher plays a transient (a
// drum's hit, a pick's attack), in seconds; negative when it plays it late. The stretcher is
// lined up with the frame it starts from, and a transient right there is on time, but those
// after it come off their place: with the finer engine early when slowed and late when sped up,
// the more so the more it stretches, though not evenly (it changes its hops with the ratio);
// with the faster engine early at every speed, its transients smeared over several
// milliseconds. Nothing in the stretcher's interface tells it: track_grid_bench measures it, at
// every speed the track page offers, on the ticks of an MP3 where they reach half their peak.
double transientLead(StretchEngine engine, double speed);
