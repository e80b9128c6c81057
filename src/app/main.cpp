#include <QApplication>
#include <QIcon>
#include <cstdlib>

#include "AppEnvironment.h"
#include "AudioEngine.h"
#include "GmSynth.h"
#include "LibraryLog.h"
#include "MIDI_OUT.h"
#include "MainMenu.h"
#include "MessageBoxReporter.h"
#include "Metronome.h"
#include "Mp3Panel.h"
#include "PulseAudioStream.h"
#include "SetupButton.h"
#include "SystemMidi.h"
#include "Tuner.h"
#include "frmMain.h"
#include "frmSplash.h"

int main(int argc, char** argv) {
    // A JACK client must never start a server of its own behind the user's back.
    setenv("JACK_NO_START_SERVER", "1", 0);
    QApplication app(argc, argv);
    app.setApplicationName("RZ77");
    if (app.arguments().contains("--verbose")) {
        setLibraryLogVerbose(true);
    }
    app.setWindowIcon(QIcon(":/assets/icon.svg"));
    // Message boxes may close while no other window is up; only the main window ends the program.
    app.setQuitOnLastWindowClosed(false);

    // The one stream to the sound server, shared by the synthesizer and the MP3 player.
    AudioEngine engine(PulseAudioStream::opener());
    SystemMidi midi(engine);
    MessageBoxReporter reporter;
    MIDI_OUT::SetPlatform(&midi, &reporter);

    frmSplash splash(AppEnvironment::ofApplication(), [&](const AppEnvironment& environment) {
        auto* window = new frmMain(environment);
        window->contextMenu().setAboutSources(
            GmSynth::soundFontPath, [&midi] { return midi.openDeviceName(MIDI_OUT::hMidiOut); });
        new Tuner(*window);
        new Metronome(*window);
        new SetupButton(*window, reporter);
        new Mp3Panel(*window, reporter, engine);
        return window;
    });
    QObject::connect(&splash, &frmSplash::mainWindowShown, &app, [&app](QWidget* mainWindow) {
        QObject::connect(mainWindow, &QObject::destroyed, &app, &QApplication::quit);
    });
    splash.Form_Load();
    splash.show();
    const int status = app.exec();
    MIDI_OUT::SetPlatform(nullptr, nullptr);
    return status;
}
