#pragma once

#include <cstdint>

// The selected reference note and the index of its letter picture (pitch class counted from A:
// 0 is A, 7 is E, 11 is G#). Both always change together.
struct NoteSelection {
    int16_t note;
    int16_t picture;
};

constexpr int kStringCount = 6;
constexpr int kNoteLetterCount = 12;

// A note with its letter.
NoteSelection selectionOf(int16_t note);

// One semitone up or down. At the ends of the MIDI range (0 and 127) the selection stays put,
// so the letter always names a note that can be sounded; returns false then.
bool stepUp(NoteSelection& selection);
bool stepDown(NoteSelection& selection);
