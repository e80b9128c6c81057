#pragma once

#include "audio/TrackTuning.h"

// How far ahead of its place in time Rubber Band's real-time stretcher plays a transient (a
// drum's hit, a pick's attack), in frames of its output; negative when it plays it late. The
// stretcher is lined up with the frame it starts from, and a transient right there is on time,
// but those after it come early when slowed: the more so the more it slows, and in proportion to
// the engine's window, of which its preferred start pad is half. Nothing in its interface tells
// it; track_grid_bench measures it and the coefficients here are fitted to what it measured.
double transientLead(StretchEngine engine, double speed, double startPad);
