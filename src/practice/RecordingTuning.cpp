#include "practice/RecordingTuning.h"

#include <cmath>

RecordingTuning recordingTuning(double cents) {
    const auto semitones = static_cast<int>(std::lround(cents / 100));
    const double left = cents - 100.0 * semitones;
    const auto roundCents = static_cast<int>(std::lround(std::abs(left)));
    RecordingTuning tuning{{},
                           -semitones,
                           -static_cast<int>(std::lround(left)),
                           440.0 * std::exp2(left / 1200),
                           std::nullopt};
    if (semitones == -1 || semitones == -2) {
        tuning.tuning = semitones == -1 ? "EB STANDARD" : "D STANDARD";
        tuning.words = "ABOUT " + *tuning.tuning;
    } else if (semitones == 0 && roundCents == 0) {
        tuning.words = "RECORDED AT A440";
    } else {
        const long all = std::lround(std::abs(cents));
        tuning.words = "RECORDED " + std::to_string(all) + (all == 1 ? " CENT " : " CENTS ") +
                       (cents < 0 ? "FLAT" : "SHARP") + " OF A440";
    }
    return tuning;
}
