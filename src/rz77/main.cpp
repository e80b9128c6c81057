#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "app/AppEnvironment.h"
#include "app/MainMenu.h"
#include "app/MessageBoxReporter.h"
#include "app/frmMain.h"
#include "app/frmSplash.h"
#include "audio/AudioEngine.h"
#include "audio/PulseAudioStream.h"
#include "common/LibraryLog.h"
#include "metronome/Metronome.h"
#include "midi/KeptSynthSounds.h"
#include "midi/MidiOutput.h"
#include "midi/SystemMidi.h"
#include "mp3/Mp3Panel.h"
#include "mp3/QtFileDialog.h"
#include "mp3/TrackPlaybackControl.h"
#include "practice/PracticePanel.h"
#include "practice/TrackPage.h"
#include "setup/SetupButton.h"
#include "synth/GmSynth.h"
#include "tuner/Tuner.h"

namespace {

// Reading the sound font and building the windows leave freed blocks among the ones kept, which
// glibc holds on to: about 0.7 MB handed back once the main window has painted.
void releaseStartupMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    // A JACK client must never start a server of its own behind the user's back.
    setenv("JACK_NO_START_SERVER", "1", 0);
    // On X11 each repaint of a small strip (the tag line five times a second, the displays) put
    // through shared memory also wakes two threads for the server's completion event: 23 wake-ups
    // a second at rest instead of 5, for a few kilobytes that cost less sent down the socket. A
    // user's own setting stands.
    setenv("QT_XCB_NO_MITSHM", "1", 0);
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
    KeptSynthSounds keptSounds(midi);
    MessageBoxReporter reporter;
    // Everything that sounds goes out here; each tool is handed it.
    MidiOutput output(keptSounds, reporter);

    frmSplash splash(AppEnvironment::ofApplication(), [&](const AppEnvironment& environment) {
        auto* window = new frmMain(environment, output);
        window->contextMenu().setAboutSources(GmSynth::soundFontPath,
                                              [&] { return midi.openDeviceName(output.handle()); });
        ReferenceVoice& voice = window->voice;
        auto* tuner = new Tuner(*window, voice, output);
        auto* metronome = new Metronome(*window, voice, output);
        new SetupButton(*window, output, voice, reporter);
        auto track = std::make_unique<TrackPlaybackControl>(engine, reporter);
        auto* practice = new PracticePanel(*window, *track, *metronome, *tuner, voice, output);
        auto* mp3 = new Mp3Panel(*window, std::make_unique<QtFileDialog>(window), std::move(track));
        // A track opened on the practice panel shows on the main window's information line.
        QObject::connect(&practice->trackPage(), &TrackPage::trackOpened, mp3,
                         &Mp3Panel::showTrack);
        return window;
    });
    QObject::connect(&splash, &frmSplash::mainWindowShown, &app, [&app](QWidget* mainWindow) {
        QObject::connect(mainWindow, &QObject::destroyed, &app, &QApplication::quit);
        QTimer::singleShot(0, mainWindow, releaseStartupMemory);
    });
    splash.Form_Load();
    splash.show();
    return app.exec();
}
