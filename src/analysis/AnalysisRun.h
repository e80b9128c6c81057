#pragma once

#include <optional>

#include "analysis/MonoSource.h"
#include "analysis/TrackAnalysis.h"

// The whole analysis of a track, on the calling thread. It reads the track twice, a step at a
// time, so its memory grows with the number of beats rather than samples: first for the onsets
// and the tuning, then, knowing the beats and the tuning, for the bars and the key. Nothing when
// cancelled or when the track cannot be read.
std::optional<TrackAnalysis> analyseTrack(const SourceOpener& open, const AnalysisControl& control);
