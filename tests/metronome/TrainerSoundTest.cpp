// The metronome trainer on the built-in synthesizer, heard through the sound server: accents
// sound higher than the other beats, on the grid, and the visual beat is shown as each beat is
// heard rather than as it is sent.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <numbers>

#include "RecordingMidi.h"
#include "Servers.h"
#include "SinkRecorder.h"
#include "TempDir.h"
#include "app/frmMain.h"
#include "metronome/Metronome.h"
#include "midi/MIDI_CMD.h"
#include "midi/MIDI_OUT.h"
#include "midi/SystemMidi.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

// Onsets: the first sample above the threshold after 100 ms below it.
std::vector<size_t> onsets(const std::vector<float>& s, int rate) {
    std::vector<size_t> found;
    size_t quiet = rate;
    for (size_t i = 0; i < s.size(); ++i) {
        if (std::abs(s[i]) >= 0.02f) {
            if (quiet >= static_cast<size_t>(rate / 10)) {
                found.push_back(i);
            }
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return found;
}

// The strength of one frequency over a few milliseconds from the onset (Goertzel).
double strengthAt(const std::vector<float>& s, size_t from, double hz, int rate) {
    const size_t length = static_cast<size_t>(rate * 0.006);
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * hz / rate);
    double previous = 0, beforeThat = 0;
    for (size_t i = from; i < std::min(s.size(), from + length); ++i) {
        const double now = s[i] + coefficient * previous - beforeThat;
        beforeThat = previous;
        previous = now;
    }
    return std::sqrt(previous * previous + beforeThat * beforeThat -
                     coefficient * previous * beforeThat);
}

void runFor(std::chrono::milliseconds time) {
    QEventLoop loop;
    QTimer::singleShot(time, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

TEST(TrainerSound, AccentsSoundHigherAndTheBeatIsShownAsItIsHeard) {
    RZ77_REQUIRE_SERVER(commandSucceeds("pactl info"), "PulseAudio");
    SystemMidi system;
    RecordingReporter reporter;
    MidiOutput output(system, reporter);
    TempDir dir;
    frmMain window(AppEnvironment{dir.str(), {}}, output);
    auto* metronome = new Metronome(window, window.voice, output);
    window.show();
    ASSERT_TRUE(MIDI_OUT::OpenMidiOut(output, MidiMapperId))
        << testing::PrintToString(reporter.shown);
    MIDI_CMD::ControlChange(output, kClickChannel, 0, 0);
    MIDI_CMD::ProgramChange(output, kClickChannel, 0, kClickProgram);

    std::vector<Clock::duration> flashes;  // after the click was due
    Clock::time_point started;
    QObject::connect(metronome, &Metronome::beatHeard, [&](long bar, int beat, bool) {
        flashes.push_back(Clock::now() - (started + (bar * 3 + beat + 1) * 500ms));
    });
    MetronomeTrainer::Settings settings;
    settings.bar.beats = 3;
    settings.bar.accents = true;
    settings.bar.marks = MetronomeTrainer::marksFromText("ANN");
    settings.visualBeat = true;
    metronome->setTrainer(settings);

    SinkRecorder recorder(8);
    runFor(1800ms);
    window.findChild<QLineEdit*>("txtBPM")->setText("120");
    metronome->txtBPM_KeyPress(13);
    started = Clock::now();
    metronome->imgBPMPlay_Click();
    runFor(4800ms);  // nine beats
    metronome->imgBPMStop_Click();
    recorder.wait();
    const double latency = Milliseconds(output.heardAfter()).count();
    MIDI_OUT::CloseMidiOut(output);

    // An idle null sink's monitor may wake only with the first click, and lose its start: the
    // last two bars are the ones heard whole.
    auto found = onsets(recorder.samples, SinkRecorder::kRate);
    ASSERT_GE(found.size(), 6u);
    ASSERT_LE(found.size(), 9u);
    found.erase(found.begin(), found.end() - 6);
    std::string heard;
    for (size_t i = 0; i < found.size(); ++i) {
        const double high = strengthAt(recorder.samples, found[i], 3000, SinkRecorder::kRate);
        const double low = strengthAt(recorder.samples, found[i], 2000, SinkRecorder::kRate);
        heard += high > low ? 'A' : 'N';
        if (i > 0) {
            EXPECT_NEAR((found[i] - found[i - 1]) * 1000.0 / SinkRecorder::kRate, 500, 1.0);
        }
    }
    EXPECT_EQ(heard, "ANNANN");
    ASSERT_EQ(flashes.size(), 9u);
    EXPECT_GT(latency, 0) << "the built-in synthesizer's latency is known";
    for (const auto flash : flashes) {
        const double shownAfter = Milliseconds(flash).count();
        EXPECT_NEAR(shownAfter, latency, 8.0);
    }
}

}  // namespace
