#pragma once

#include <QObject>

class MainWindowHost;
class MessageReporter;
class MidiOutput;
struct ReferenceVoice;

// The SETUP key of the main window, which opens the MIDI setup dialog preset from the reference
// voice and the start-up instrument.
class SetupButton : public QObject {
    Q_OBJECT
public:
    // reporter tells the user when the dialog cannot save the settings.
    SetupButton(MainWindowHost& window, MidiOutput& output, ReferenceVoice& voice,
                MessageReporter& reporter);

    void imgSetup_Click();

private:
    MainWindowHost& m_window;
    MidiOutput& m_output;
    ReferenceVoice& m_voice;
    MessageReporter& m_reporter;
};
