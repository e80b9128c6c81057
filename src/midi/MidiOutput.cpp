#include "midi/MidiOutput.h"

#include "midi/MIDI_CMD.h"
#include "midi/MIDI_OUT.h"

MidiOutput::MidiOutput(MidiSystem& system, MessageReporter& reporter)
    : m_system(system), m_reporter(reporter) {}

MidiOutput::ReportEveryFailure::ReportEveryFailure(MidiOutput& output)
    : m_output(output), m_outer(output.m_reportEveryFailure) {
    m_output.m_reportEveryFailure = true;
}

MidiOutput::ReportEveryFailure::~ReportEveryFailure() {
    m_output.m_reportEveryFailure = m_outer;
}

bool MidiOutput::open(int16_t deviceId) {
    close();
    forgetSendFailure();
    const MidiResult result = m_system.open(deviceId, m_handle);
    if (result != MidiResultCode::Ok) {
        showError(result);
    }
    return m_handle != 0;
}

void MidiOutput::close() {
    if (m_handle == 0) {
        return;
    }
    const MidiResult result = m_system.close(m_handle);
    if (result != MidiResultCode::Ok) {
        showError(result);
    }
    m_handle = 0;
}

void MidiOutput::showError(MidiResult code) {
    m_reporter.show(m_system.errorText(code));
}

void MidiOutput::sendShort(int16_t status, int16_t data1, int16_t data2, Due due) {
    if (!MIDI_OUT::IsSendable(status, data1, data2)) {
        return;
    }
    const uint32_t message = MIDI_OUT::PackMidiShort(status, data1, data2);
    m_sounds.note(message);
    const MidiResult result = m_system.sendShort(m_handle, message, due.value_or(Clock::now()));
    if (result == MidiResultCode::Ok) {
        forgetSendFailure();
    } else {
        reportSendFailure(result);
    }
}

void MidiOutput::noteOn(int16_t channel, int16_t note, int16_t velocity, Due due) {
    MIDI_CMD::NoteOn(*this, channel, note, velocity, due);
}

void MidiOutput::programChange(int16_t channel, int16_t bank, int16_t program) {
    MIDI_CMD::ProgramChange(*this, channel, bank, program);
}

void MidiOutput::allNotesOff() {
    MIDI_CMD::AllNotesOff(*this);
    if (m_silencedSign) {
        m_silencedSign(Clock::now() + heardAfter());
    }
}

NoteOutput::Clock::duration MidiOutput::heardAfter() const {
    return m_handle != 0 ? m_system.heardAfter(m_handle) : Clock::duration{};
}

void MidiOutput::setReferencePitch(double a4) {
    m_system.setReferencePitch(a4);
}

void MidiOutput::showSign(const std::string& text) {
    if (m_sign) {
        m_sign(text);
    }
}

// A successful send or a new open ends the damping, and with it the sign.
void MidiOutput::forgetSendFailure() {
    if (m_shownSendFailure) {
        m_shownSendFailure.reset();
        showSign({});
    }
}

void MidiOutput::reportSendFailure(MidiResult code) {
    const std::string text = m_system.errorText(code);
    if (m_shownSendFailure == text && !m_reportEveryFailure) {
        showSign(text);
        return;
    }
    m_shownSendFailure = text;
    m_reporter.show(text);
}
