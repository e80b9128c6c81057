#include "setup/SetupButton.h"

#include "app/HitArea.h"
#include "app/MainMenu.h"
#include "app/frmMain.h"
#include "setup/SkinComboBox.h"
#include "setup/frmSetup.h"

SetupButton::SetupButton(frmMain& window, MessageReporter& reporter)
    : QObject(&window), m_window(window), m_reporter(reporter) {
    auto* imgSetup = new HitArea(&window, "imgSetup", tr("Setup"),
                                 tr("Choose the MIDI device, channel and instrument"),
                                 window.environment().units.toPixels(2160, 2340, 645, 225));
    connect(imgSetup, &HitArea::clicked, this, &SetupButton::imgSetup_Click);
    window.contextMenu().setSetupHandler([this] { imgSetup_Click(); });
}

// Presetting the device and sound lists re-opens the first device and sends the start-up sound
// on channel 0 through the dialog's own handlers.
void SetupButton::imgSetup_Click() {
    auto* dialog = new frmSetup(m_window, m_reporter);
    dialog->cboChannel->setCurrentIndex(m_window.state.channel);
    dialog->cboDevice->setCurrentIndex(0);
    dialog->cboSounds->setCurrentIndex(m_window.state.Sound);
    dialog->show();
}
