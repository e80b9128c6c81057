#include "tuner/NoteSelection.h"

namespace {
constexpr int16_t kA = 45;
constexpr int16_t kLowestNote = 0;
constexpr int16_t kHighestNote = 127;
}  // namespace

NoteSelection selectionOf(int16_t note) {
    return {note, static_cast<int16_t>(((note - kA) % kNoteLetterCount + kNoteLetterCount) %
                                       kNoteLetterCount)};
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
