#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>

class HitArea;
class MainWindowHost;
class MessageReporter;
class MidiOutput;
class SkinComboBox;
class SkinnedWindow;
struct ReferenceVoice;

// The MIDI setup dialog: device, instrument sound and channel. A device or sound choice takes
// effect at once; OK re-applies them and stores all three for the next start; Cancel only
// closes. The channel and the instruments it selects go to the reference voice. Frameless, cut to a
// rounded outline, moved by its body and application-modal over the main window; built anew for
// every opening and destroyed when it closes.
class frmSetup : public QDialog {
    Q_OBJECT
public:
    // Loads the dialog; reports of settings that cannot be saved go to reporter.
    frmSetup(MainWindowHost& main, MidiOutput& output, ReferenceVoice& voice,
             MessageReporter& reporter);

    QRegion MakeRegion(float scaleX, float scaleY, int16_t offsetX, int16_t offsetY);

    void Form_Load();
    void Form_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void cboChannel_Change();
    void cboDevice_Click();
    void cboSounds_Click();
    void imgOK_Click();
    void imgCancel_Click();

    QRegion SetupRegion;
    SkinComboBox* cboDevice = nullptr;
    SkinComboBox* cboSounds = nullptr;
    SkinComboBox* cboChannel = nullptr;

public slots:
    void reject() override;  // Escape cancels

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void connectHandlers();
    void setUpMenu();
    void fillSounds();
    std::optional<int32_t> selectedDevice() const;
    bool applyAndStore();
    bool store(const char* section, long value);
    void selectInstrument(int16_t channel, int16_t program);
    void unload();

    MainWindowHost& m_main;
    MidiOutput& m_output;
    ReferenceVoice& m_voice;
    MessageReporter& m_reporter;
    SkinnedWindow* m_skin;
    bool m_okRunning = false;
};
