#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/MessageReporter.h"
#include "midi/ChannelSounds.h"
#include "midi/MidiSystem.h"
#include "midi/NoteOutput.h"

// The program's one MIDI output: it opens and closes devices of the machine's MIDI system and
// sends short messages through the one open at a time. Every failure of the MIDI system is
// shown through the reporter, except that a send failure already shown on the open device is not
// boxed again until a send succeeds or a device is opened: it goes to the failure sign instead,
// so a timer on a dead device never buries the user in boxes.
class MidiOutput : public NoteOutput {
public:
    // Both must outlive the output.
    MidiOutput(MidiSystem& system, MessageReporter& reporter);

    // While one lives, every send failure is boxed, repeated or not (the start-up's own reports).
    class ReportEveryFailure {
    public:
        explicit ReportEveryFailure(MidiOutput& output);
        ~ReportEveryFailure();
        ReportEveryFailure(const ReportEveryFailure&) = delete;
        ReportEveryFailure& operator=(const ReportEveryFailure&) = delete;

    private:
        MidiOutput& m_output;
        bool m_outer;
    };

    // Handle of the open device; 0 while none is open.
    uint32_t handle() const { return m_handle; }
    MidiSystem& system() { return m_system; }
    // Closes any open device first.
    bool open(int16_t deviceId);
    void close();
    void showError(MidiResult code);
    void sendShort(int16_t status, int16_t data1, int16_t data2, Due due = std::nullopt);
    // The program last selected on a channel, whether or not the device took it.
    std::optional<int16_t> program(int16_t channel) const { return m_sounds.program(channel); }

    void noteOn(int16_t channel, int16_t note, int16_t velocity, Due due) override;
    void programChange(int16_t channel, int16_t bank, int16_t program) override;
    void allNotesOff() override;
    Clock::duration heardAfter() const override;
    void setReferencePitch(double a4) override;
    void setFailureSign(FailureSign sign) override { m_sign = std::move(sign); }
    void setSilencedSign(SilencedSign sign) override { m_silencedSign = std::move(sign); }

private:
    void showSign(const std::string& text);
    void forgetSendFailure();
    void reportSendFailure(MidiResult code);

    MidiSystem& m_system;
    MessageReporter& m_reporter;
    uint32_t m_handle = 0;
    FailureSign m_sign;
    SilencedSign m_silencedSign;
    bool m_reportEveryFailure = false;
    // The send failure shown in a box since the last open or successful send.
    std::optional<std::string> m_shownSendFailure;
    ChannelSounds m_sounds;
};
