// The coach's calibration by clicks heard back, run again and again as a user would press B:
// the built-in synthesizer plays the calibration's clicks into the default sink and the coach
// listens to the default source. Prints each run's correction (what the sound server's own
// latency figures leave out of the round trip), then their median and spread.
// Usage: coach_calibration_bench [RUNS]; see coach_calibration_bench.sh for the sinks it runs on.
#include <QApplication>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchMetronome.h"
#include "BenchRecording.h"
#include "app/frmMain.h"
#include "audio/AudioEngine.h"
#include "common/ClickProgram.h"
#include "metronome/Metronome.h"
#include "midi/MIDI_CMD.h"
#include "midi/MIDI_OUT.h"
#include "midi/SystemMidi.h"
#include "mp3/TrackPlaybackControl.h"
#include "practice/CoachPart.h"

namespace {

// The calibration plays 16 clicks and listens 600 ms past the last.
constexpr double kCalibrationSeconds = 10;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SystemMidi system;
    bench::PrintingReporter reporter;
    MidiOutput output(system, reporter);
    frmMain window(AppEnvironment{dir.path().toStdString(), {}}, output);
    Metronome metronome(window, window.voice, output);
    if (!MIDI_OUT::OpenMidiOut(output, MidiMapperId)) {
        std::fprintf(stderr, "no built-in synthesizer\n");
        return 1;
    }
    MIDI_CMD::ControlChange(output, kClickChannel, 0, 0);
    MIDI_CMD::ProgramChange(output, kClickChannel, 0, kClickProgram);
    QWidget page;
    page.resize(300, 310);
    QSettings settings(dir.filePath("practice.conf"), QSettings::IniFormat);
    PanelControls::PageKeys keys;
    AudioEngine engine{[](const AudioSink::FormatChooser&, std::string& error) {
        error = "no track in this bench";
        return std::unique_ptr<AudioSink>();
    }};
    TrackPlaybackControl track(engine, reporter);
    CoachPart coach(page, metronome, track, output, settings, window.environment().units, keys);
    auto* status = page.findChild<QLabel*>("coachStatus");

    std::vector<double> corrections;
    for (int run = 1; run <= runs; ++run) {
        settings.clear();
        coach.calibrate(false);
        bench::runFor(kCalibrationSeconds);
        const QString input = settings.value("coach/lastInput").toString();
        if (input.isEmpty()) {
            std::printf("run %2d: %s\n", run, status->text().toUtf8().constData());
            continue;
        }
        QString device = input;
        const QString group = "coach/input/" + device.replace('/', '_') + "/";
        const double correction = settings.value(group + "correctionMs").toDouble();
        corrections.push_back(correction);
        std::printf("run %2d: correction %+7.2f ms, spread %.2f ms, round trip %.1f ms (%s)\n", run,
                    correction, settings.value(group + "spreadMs").toDouble(),
                    settings.value(group + "roundTripMs").toDouble(), input.toUtf8().constData());
    }
    if (corrections.empty()) {
        std::printf("no calibration heard anything\n");
        return 1;
    }
    const double middle = median(corrections);
    const auto [low, high] = std::minmax_element(corrections.begin(), corrections.end());
    std::printf("%zu of %d runs: median correction %+.2f ms, runs within %+.2f..%+.2f ms of it\n",
                corrections.size(), runs, middle, *low - middle, *high - middle);
    return 0;
}
