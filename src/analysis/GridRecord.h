#pragma once

#include <optional>
#include <string>

#include "analysis/TrackAnalysis.h"

// A track's analysis as kept in tracks/<key>.grid, with the user's corrections to its grid. The
// file is text, one item to a line:
//
//   rz77-grid 1               the format and its version
//   tempo 120.000             beats per minute; 0 when no beat was found
//   tuning -12.30             cents from A440, or "tuning none"
//   key E minor               or "key" alone when not found
//   grid 4 1 412              beats to a bar, the first downbeat's beat, the number of beats
//   0.5213                    then each beat, in seconds into the track
//   ...
//   corrected 4 0 410         the user's grid, in the same form, when there is one
//   ...
//   end
struct KeptAnalysis {
    TrackAnalysis analysis;
    std::optional<BeatGrid> corrected;
};

constexpr int kGridRecordVersion = 1;

std::string gridRecordText(const KeptAnalysis& kept);

struct ReadGridRecord {
    std::optional<KeptAnalysis> kept;  // nothing when the text is not a whole record we can read
    bool newerVersion = false;         // written by a later version of the program
};

ReadGridRecord parseGridRecord(const std::string& text);
