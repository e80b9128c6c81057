#pragma once

#include <functional>
#include <string>

#include "common/MessageReporter.h"

// Shows reports one box at a time. A report that arrives while a box is open (a timer firing
// inside the box's own event loop) is counted instead of stacking a second box; when the box
// closes, one more box says how many came and what the last one said. Reports that arrive while
// that summary is open are dropped, so a loop or metronome on a dead device always hands control
// back to the user.
class ReportGate : public MessageReporter {
public:
    using ShowBox = std::function<void(const std::string& text)>;
    explicit ReportGate(ShowBox showBox) : m_showBox(std::move(showBox)) {}

    void show(const std::string& text) override;

private:
    enum class State { Idle, Showing, Summarising };

    ShowBox m_showBox;
    State m_state = State::Idle;
    int m_heldBack = 0;
    std::string m_lastHeldBack;
};
