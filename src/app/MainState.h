#pragma once

#include <QRegion>
#include <cstdint>

// What the main window's tools share, alive exactly as long as the window.
struct MainState {
    // The metronome clicks on this channel (the user's channel 11).
    static constexpr int16_t kClickChannel = 10;

    int16_t channel = 0;  // 0..15; the user counts from 1
    int16_t Device = 0;
    int16_t Sound = 0;
    QRegion MainRegion;
    int16_t CurrentNote = 0;
    int16_t LoopInterval = 0;
    int16_t NoteVelocity = 0;
    int16_t NotePicture = 0;
    int16_t BeatInterval = 0;
    int16_t Bpm = 0;
};
