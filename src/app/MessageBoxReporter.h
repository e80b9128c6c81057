#pragma once

#include "app/ReportGate.h"

// MIDI and MP3 player errors in a message box captioned "RZ77" with an OK button, one box at a
// time.
class MessageBoxReporter : public ReportGate {
public:
    MessageBoxReporter();
};
