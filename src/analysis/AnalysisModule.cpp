// The analysis as a module of its own, opened the first time a track is analysed: the DSP
// library it needs brings ATLAS and gfortran with it, about 2 MB of memory that a session
// without a backing track never needs.
#include "analysis/AnalysisLibrary.h"
#include "analysis/AnalysisRun.h"

extern "C" __attribute__((visibility("default"))) bool rz77AnalyseTrack(
    const SourceOpener* open, const AnalysisControl* control, TrackAnalysis* analysis) {
    auto result = analyseTrack(*open, *control);
    if (result)
        *analysis = std::move(*result);
    return result.has_value();
}
