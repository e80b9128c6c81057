#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "tuner/NoteSelection.h"

// The six strings' notes in the tunings guitarists use, low string first, and what a heard
// frequency is against a reference pitch.
namespace Tunings {

using Strings = std::array<int, kStringCount>;  // MIDI notes

struct Tuning {
    const char* name;
    Strings notes;
};

constexpr double kStandardA4 = 440.0;
constexpr double kLowestA4 = 415.0;
constexpr double kHighestA4 = 466.0;

// Standard first; the custom tuning is not among them.
const std::vector<Tuning>& known();

// "E2 A2 D3 G3 B3 E4" (sharps as #, flats as b), six notes within the MIDI range; nothing when
// the text is not that.
std::optional<Strings> parse(const std::string& text);
std::string noteName(int note);  // "A2", "F#3"
std::string text(const Strings& notes);

// The nearest note to a frequency and how far it is from it, in cents, with A4 at reference.
struct Heard {
    int note;
    double cents;
};
Heard nearest(double hz, double referenceA4);
double frequencyOf(int note, double referenceA4);
double centsFrom(double hz, int note, double referenceA4);

// A typed reference: 415-466 Hz, to a tenth of a hertz; nothing outside.
std::optional<double> reference(double hz);

}  // namespace Tunings
