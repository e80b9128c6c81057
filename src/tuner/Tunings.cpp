#include "tuner/Tunings.h"

#include <cctype>
#include <cmath>
#include <sstream>

namespace Tunings {

namespace {
constexpr int kA4 = 69;
constexpr const char* kLetters[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                    "F#", "G",  "G#", "A",  "A#", "B"};

// A letter's semitone above C, or -1.
int semitoneOf(char letter) {
    switch (letter) {
        case 'C':
            return 0;
        case 'D':
            return 2;
        case 'E':
            return 4;
        case 'F':
            return 5;
        case 'G':
            return 7;
        case 'A':
            return 9;
        case 'B':
            return 11;
        default:
            return -1;
    }
}

std::optional<int> parseNote(const std::string& word) {
    if (word.size() < 2 || semitoneOf(static_cast<char>(std::toupper(word[0]))) < 0) {
        return std::nullopt;
    }
    int semitone = semitoneOf(static_cast<char>(std::toupper(word[0])));
    size_t at = 1;
    if (word[at] == '#' || word[at] == 'b') {
        semitone += word[at] == '#' ? 1 : -1;
        ++at;
    }
    const std::string octave = word.substr(at);
    const bool negative = !octave.empty() && octave[0] == '-';
    if (octave.size() != (negative ? 2u : 1u) || !std::isdigit(octave.back())) {
        return std::nullopt;
    }
    const int note = (std::stoi(octave) + 1) * 12 + semitone;
    return note >= 0 && note <= 127 ? std::optional(note) : std::nullopt;
}
}  // namespace

const std::vector<Tuning>& known() {
    static const std::vector<Tuning> tunings = {
        {"STANDARD", {40, 45, 50, 55, 59, 64}},   {"EB STANDARD", {39, 44, 49, 54, 58, 63}},
        {"D STANDARD", {38, 43, 48, 53, 57, 62}}, {"DROP D", {38, 45, 50, 55, 59, 64}},
        {"DROP C", {36, 43, 48, 53, 57, 62}},     {"DADGAD", {38, 45, 50, 55, 57, 62}},
        {"OPEN G", {38, 43, 50, 55, 59, 62}},     {"OPEN D", {38, 45, 50, 54, 57, 62}},
        {"OPEN E", {40, 47, 52, 56, 59, 64}},
    };
    return tunings;
}

std::optional<Strings> parse(const std::string& text) {
    std::istringstream words(text);
    Strings notes{};
    std::string word;
    size_t count = 0;
    while (words >> word) {
        const auto note = parseNote(word);
        if (!note || count == notes.size()) {
            return std::nullopt;
        }
        notes[count++] = *note;
    }
    return count == notes.size() ? std::optional(notes) : std::nullopt;
}

std::string noteName(int note) {
    return std::string(kLetters[note % 12]) + std::to_string(note / 12 - 1);
}

std::string text(const Strings& notes) {
    std::string joined;
    for (int note : notes) {
        if (!joined.empty()) {
            joined += ' ';
        }
        joined += noteName(note);
    }
    return joined;
}

double frequencyOf(int note, double referenceA4) {
    return referenceA4 * std::pow(2.0, (note - kA4) / 12.0);
}

double centsFrom(double hz, int note, double referenceA4) {
    return 1200 * std::log2(hz / frequencyOf(note, referenceA4));
}

Heard nearest(double hz, double referenceA4) {
    const int note = static_cast<int>(std::lround(kA4 + 12 * std::log2(hz / referenceA4)));
    return {note, centsFrom(hz, note, referenceA4)};
}

std::optional<double> reference(double hz) {
    const double tenths = std::round(hz * 10) / 10;
    return tenths >= kLowestA4 && tenths <= kHighestA4 ? std::optional(tenths) : std::nullopt;
}

}  // namespace Tunings
