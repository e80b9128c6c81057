#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Everything the program sounds goes out through one of these: notes, the instrument of a
// channel, silencing, and what the device makes of time and pitch. Requests with a channel
// outside 0..15 or a data byte outside 0..127 are dropped whole.
class NoteOutput {
public:
    using Clock = std::chrono::steady_clock;
    // When a note is due to sound; none means as soon as it is sent.
    using Due = std::optional<Clock::time_point>;
    // Told the text of a failure that is not boxed again, and "" once sending works.
    using FailureSign = std::function<void(const std::string& text)>;
    // Told when the silencing of every channel is heard, whoever asked for it.
    using SilencedSign = std::function<void(Clock::time_point heard)>;

    virtual ~NoteOutput() = default;

    virtual void noteOn(int16_t channel, int16_t note, int16_t velocity, Due due) = 0;
    // Bank select first, then the program change.
    virtual void programChange(int16_t channel, int16_t bank, int16_t program) = 0;
    // All sound off and all notes off on every channel.
    virtual void allNotesOff() = 0;
    // From a note's due time to when it is heard (0 where the device does not tell).
    virtual Clock::duration heardAfter() const = 0;
    // A4 for the built-in synthesizer, now and whenever it is opened; ports are not told.
    virtual void setReferencePitch(double a4) = 0;
    virtual void setFailureSign(FailureSign sign) = 0;
    virtual void setSilencedSign(SilencedSign sign) = 0;
};
