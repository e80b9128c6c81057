#pragma once

#include <cstdint>

// The reference notes' voice, one for the program: the channel they sound on, the instrument now
// selected there, the note and velocity they are struck with, and the pitch of A4 they are
// measured and sounded against. The main window owns it, main.cpp hands it to each tool that
// plays or selects on it, and whatever selects an instrument tells it.
struct ReferenceVoice {
    int16_t channel = 0;  // 0..15; the user counts from 1
    int16_t program = 0;
    int16_t CurrentNote = 0;
    int16_t NoteVelocity = 0;
    double referencePitch = 440.0;

    // Takes note of a program selected on a channel: this voice's own when it is on that channel.
    // A program outside 0..127 is never sent, so it selects nothing.
    void selected(int16_t onChannel, int16_t newProgram) {
        if (onChannel == channel && newProgram >= 0 && newProgram <= 127) {
            program = newProgram;
        }
    }
};
