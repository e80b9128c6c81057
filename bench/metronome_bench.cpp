// Measures how precisely the metronome keeps time: the time every click is stamped with as it
// reaches the MIDI system (the moment the synthesizer plays it, less its constant latency) is
// compared with its due time start + n x interval, and how far ahead of that time it was handed
// over. A plain periodic QTimer of the default (coarse) type is measured as the baseline.
//   metronome_bench [--beats N]     (default 1000 beats per run)
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "app/frmMain.h"
#include "metronome/Metronome.h"
#include "midi/MIDI_OUT.h"

namespace {

using Clock = std::chrono::steady_clock;

// Keeps each note-on's stamp and how long before it the note was sent.
class TimestampingMidi : public MidiSystem {
public:
    std::vector<Clock::time_point> noteOns;
    std::vector<double> leadsMs;
    int32_t deviceCount() override { return 0; }
    MidiResult deviceName(int32_t, std::string&) override { return MidiResultCode::BadDeviceId; }
    MidiResult open(int32_t, uint32_t& handle) override {
        handle = 1;
        return MidiResultCode::Ok;
    }
    MidiResult close(uint32_t) override { return MidiResultCode::Ok; }
    MidiResult sendShort(uint32_t, uint32_t message, Clock::time_point due) override {
        if ((message & 0xF0) == 0x90) {
            noteOns.push_back(due);
            leadsMs.push_back(
                std::chrono::duration<double, std::milli>(due - Clock::now()).count());
        }
        return MidiResultCode::Ok;
    }
    std::string errorText(MidiResult) override { return {}; }
};

class SilentReporter : public MessageReporter {
public:
    void show(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

struct Figures {
    double mean, p50, p99, max, drift;
};

Figures measure(const std::vector<Clock::time_point>& clicks, Clock::time_point start,
                double intervalMs) {
    std::vector<double> errors;
    double lastLateness = 0;
    for (size_t n = 0; n < clicks.size(); ++n) {
        const double due = intervalMs * static_cast<double>(n + 1);
        const double actual = std::chrono::duration<double, std::milli>(clicks[n] - start).count();
        lastLateness = actual - due;
        errors.push_back(std::abs(lastLateness));
    }
    std::vector<double> sorted = errors;
    std::sort(sorted.begin(), sorted.end());
    const auto at = [&](double q) { return sorted[static_cast<size_t>(q * (sorted.size() - 1))]; };
    double sum = 0;
    for (double e : errors) {
        sum += e;
    }
    return {sum / errors.size(), at(0.5), at(0.99), sorted.back(), lastLateness};
}

void print(const char* what, int bpm, const char* load, const Figures& f) {
    std::printf(
        "%-22s %4d BPM  %-5s  mean %7.3f  p50 %7.3f  p99 %7.3f  max %7.3f  drift %8.3f ms\n", what,
        bpm, load, f.mean, f.p50, f.p99, f.max, f.drift);
    std::fflush(stdout);
}

void runUntil(const std::function<bool()>& done) {
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// Keeps the user interface busy the way a player does: the information line scrolling every
// 200 ms and a stream of slider moves (each re-setting the same tempo) every 16 ms.
struct BusyInterface {
    BusyInterface(frmMain& window, Metronome& metronome) : line("RZ-77 MP3 Player ...", &window) {
        scroll.setInterval(200);
        QObject::connect(&scroll, &QTimer::timeout, &line, [this] {
            const QString text = line.text();
            line.setText(text.mid(1) + text.left(1));
        });
        scroll.start();
        moves.setInterval(16);
        QObject::connect(&moves, &QTimer::timeout, &metronome,
                         [&metronome] { metronome.imgBPMslider_MouseMove(1, 0, 0, 0); });
        moves.start();
    }
    QLabel line;
    QTimer scroll;
    QTimer moves;
};

Figures runMetronome(TimestampingMidi& midi, MidiOutput& output, float knobLeft, int beats,
                     bool busy, double& interval) {
    frmMain window(AppEnvironment{std::filesystem::temp_directory_path().string(), {}}, output);
    Metronome metronome(window, window.voice, output);
    metronome.imgBPMslider_MouseMove(1, 0, knobLeft - metronome.knobLeftTwips(), 0);
    interval = metronome.beatInterval();
    std::unique_ptr<BusyInterface> load;
    if (busy) {
        load = std::make_unique<BusyInterface>(window, metronome);
    }
    midi.noteOns.clear();
    midi.leadsMs.clear();
    const auto start = Clock::now();
    metronome.imgBPMPlay_Click();
    runUntil([&] { return static_cast<int>(midi.noteOns.size()) >= beats; });
    metronome.imgBPMStop_Click();
    std::printf("%-22s sent ahead of its time: min %.3f ms, max %.3f ms\n", "",
                *std::min_element(midi.leadsMs.begin(), midi.leadsMs.end()),
                *std::max_element(midi.leadsMs.begin(), midi.leadsMs.end()));
    return measure(midi.noteOns, start, interval);
}

Figures runCoarseTimer(int intervalMs, int beats) {
    std::vector<Clock::time_point> ticks;
    QTimer timer;
    timer.setInterval(intervalMs);
    QObject::connect(&timer, &QTimer::timeout, [&] { ticks.push_back(Clock::now()); });
    const auto start = Clock::now();
    timer.start();
    runUntil([&] { return static_cast<int>(ticks.size()) >= beats; });
    return measure(ticks, start, intervalMs);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int beats = 1000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--beats") == 0) {
            beats = std::max(2, std::atoi(argv[i + 1]));
        }
    }
    QApplication app(argc, argv);
    TimestampingMidi midi;
    SilentReporter reporter;
    MidiOutput output(midi, reporter);

    std::printf("%d beats per run; |actual - due| in ms, drift = lateness of the last beat\n",
                beats);
    const struct {
        int bpm;
        float knobLeft;
    } tempos[] = {{120, 1619}, {290, 2640}};
    for (const auto& tempo : tempos) {
        double interval = 0;
        const Figures idle = runMetronome(midi, output, tempo.knobLeft, beats, false, interval);
        print("metronome", tempo.bpm, "idle", idle);
        print("metronome", tempo.bpm, "busy",
              runMetronome(midi, output, tempo.knobLeft, beats, true, interval));
        const Figures coarse = runCoarseTimer(static_cast<int>(interval), beats);
        print("coarse QTimer", tempo.bpm, "idle", coarse);
        std::printf("%-22s %4d BPM  idle   p99 %.1fx  |drift| %.1fx better than the baseline\n",
                    "ratio", tempo.bpm, coarse.p99 / std::max(idle.p99, 1e-3),
                    std::abs(coarse.drift) / std::max(std::abs(idle.drift), 1e-3));
    }
    return 0;
}
