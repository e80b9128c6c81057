#pragma once

#include <string>

#include "analysis/MonoSource.h"
#include "analysis/TrackAnalysis.h"

// The module's one entry point: false when cancelled or unreadable.
using AnalyseTrackFunction = bool (*)(const SourceOpener*, const AnalysisControl*, TrackAnalysis*);

// The analysis module, opened once for the whole process from beside the program, from the
// installed library folder, or from the build tree; nullptr when none opens, with the reason in
// error.
AnalyseTrackFunction openAnalysisLibrary(std::string& error);
