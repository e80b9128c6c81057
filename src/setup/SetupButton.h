#pragma once

#include <QObject>

class MessageReporter;
class frmMain;

// The SETUP key of the main window, which opens the MIDI setup dialog preset from the window's
// state.
class SetupButton : public QObject {
    Q_OBJECT
public:
    // reporter tells the user when the dialog cannot save the settings.
    SetupButton(frmMain& window, MessageReporter& reporter);

    void imgSetup_Click();

private:
    frmMain& m_window;
    MessageReporter& m_reporter;
};
