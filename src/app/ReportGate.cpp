#include "app/ReportGate.h"

void ReportGate::show(const std::string& text) {
    if (m_state == State::Summarising) {
        return;
    }
    if (m_state == State::Showing) {
        ++m_heldBack;
        m_lastHeldBack = text;
        return;
    }
    m_state = State::Showing;
    m_showBox(text);
    if (m_heldBack > 0) {
        m_state = State::Summarising;
        const std::string times = m_heldBack == 1 ? "once" : std::to_string(m_heldBack) + " times";
        m_showBox("While the previous message was open, something went wrong " + times +
                  " more. The last error was:\n\n" + m_lastHeldBack);
        m_heldBack = 0;
    }
    m_state = State::Idle;
}
