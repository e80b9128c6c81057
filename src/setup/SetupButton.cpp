#include "setup/SetupButton.h"

#include "app/HitArea.h"
#include "app/MainMenu.h"
#include "app/MainWindowHost.h"
#include "midi/ReferenceVoice.h"
#include "setup/SkinComboBox.h"
#include "setup/frmSetup.h"

SetupButton::SetupButton(MainWindowHost& window, MidiOutput& output, ReferenceVoice& voice,
                         MessageReporter& reporter)
    : QObject(&window.widget()),
      m_window(window),
      m_output(output),
      m_voice(voice),
      m_reporter(reporter) {
    auto* imgSetup = new HitArea(&window.widget(), "imgSetup", tr("Setup"),
                                 tr("Choose the MIDI device, channel and instrument"),
                                 window.environment().units.toPixels(2160, 2340, 645, 225));
    connect(imgSetup, &HitArea::clicked, this, &SetupButton::imgSetup_Click);
    window.contextMenu().setSetupHandler([this] { imgSetup_Click(); });
}

// Presetting the device and sound lists re-opens the first device and sends the start-up sound
// on channel 0 through the dialog's own handlers.
void SetupButton::imgSetup_Click() {
    auto* dialog = new frmSetup(m_window, m_output, m_voice, m_reporter);
    dialog->cboChannel->setCurrentIndex(m_voice.channel);
    dialog->cboDevice->setCurrentIndex(0);
    dialog->cboSounds->setCurrentIndex(m_window.startupSound());
    dialog->show();
}
