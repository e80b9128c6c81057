#include "tuner/NoteSelection.h"

#include <array>

namespace {
constexpr std::array<NoteSelection, kStringCount> kOpenStrings = {{
    {40, 7},   // E2
    {45, 0},   // A2
    {50, 5},   // D3
    {55, 10},  // G3
    {59, 2},   // B3
    {64, 7},   // E4
}};
constexpr int16_t kLowestNote = 0;
constexpr int16_t kHighestNote = 127;
}  // namespace

NoteSelection openString(int index) {
    return kOpenStrings.at(index);
}

bool stepUp(NoteSelection& selection) {
    if (selection.note >= kHighestNote) {
        return false;
    }
    ++selection.note;
    if (++selection.picture > kNoteLetterCount - 1) {
        selection.picture = 0;
    }
    return true;
}

bool stepDown(NoteSelection& selection) {
    if (selection.note <= kLowestNote) {
        return false;
    }
    --selection.note;
    if (--selection.picture < 0) {
        selection.picture = kNoteLetterCount - 1;
    }
    return true;
}
