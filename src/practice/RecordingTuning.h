#pragma once

#include <optional>
#include <string>

// What a recording's tuning offset from A440 means to a guitarist: what the track page says of
// it, the transpose and fine tune that make the track play at A440, and the tuner's reference
// and tuning that match the recording (a recording a semitone or two down is taken for Eb or D
// standard, and keeps only what is left over as its reference's offset).
struct RecordingTuning {
    std::string words;                  // "RECORDED 28 CENTS FLAT OF A440", "ABOUT EB STANDARD"
    int semitones = 0;                  // to play at A440
    int cents = 0;                      // -50 .. 50
    double referenceA4;                 // the tuner's, to match the recording
    std::optional<std::string> tuning;  // the tuner's tuning, when the recording implies one
};

RecordingTuning recordingTuning(double cents);
