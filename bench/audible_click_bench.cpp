// What a user hears from the built-in synthesizer: the real program's MIDI path (MIDI_OUT on
// device -1, clicks from the metronome's own timer) plays into the sound server while its
// monitor is recorded; every click's onset is found to the sample and compared with the grid.
//   audible_click_bench [--seconds N] [--quiet S] [--stall] [--track]
// --quiet waits S seconds with nothing sounding before each run (5 by default), so that the first
// click comes after the stream has been let go quiet.
// --stall blocks the user-interface thread for a random 0-25 ms before some ticks; --track plays
// a 320 kbit/s backing track (a low tone, filtered out before the clicks are found) under them.
// Needs a PulseAudio server with a null sink named nullsink (bench/audible_click_bench.sh starts
// one).
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <numbers>
#include <optional>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "BenchMetronome.h"
#include "BenchRecording.h"
#include "BenchSupport.h"
#include "app/frmMain.h"
#include "audio/AudioEngine.h"
#include "audio/PulseAudioStream.h"
#include "midi/MIDI_CMD.h"
#include "midi/MIDI_OUT.h"
#include "midi/SystemMidi.h"
#include "mp3/TrackPlaybackControl.h"

namespace {

using bench::Clock;
using bench::findOnsets;
using bench::kRecordRate;
using bench::MonitorRecorder;
using bench::msBetween;
using bench::percentile;
using bench::PrintingReporter;
using bench::secondsOf;
using bench::SinkClock;
using bench::StampingMidi;

// What the sound server says of the synthesizer's stream: its format and its latency.
void printServerView() {
    FILE* pipe = popen("pactl list sink-inputs", "r");
    char line[512];
    while (fgets(line, sizeof line, pipe) != nullptr) {
        const std::string text(line);
        for (const char* key :
             {"Sample Specif", "Buffer Latency", "Sink Latency", "Resample method"}) {
            if (text.find(key) != std::string::npos) {
                std::printf("  server: %s", text.substr(text.find_first_not_of(" \t")).c_str());
            }
        }
    }
    pclose(pipe);
}

// RZ77's and the sound server's processor time, leaving out the bench's recorder (if any).
struct CpuMeter {
    MonitorRecorder* recorder;
    std::vector<std::string> servers = bench::soundServerPids();
    double ownStart = bench::processCpuSeconds("self");
    double recorderStart = recorder ? recorder->cpuSeconds() : 0;
    double serverStart = bench::soundServerCpuSeconds(servers);
    Clock::time_point wallStart = Clock::now();
    explicit CpuMeter(MonitorRecorder* recorder) : recorder(recorder) {}
    void print() const {
        const double wall = secondsOf(Clock::now() - wallStart);
        const double recorderShare = recorder ? recorder->cpuSeconds() - recorderStart : 0;
        const double own =
            100 * (bench::processCpuSeconds("self") - ownStart - recorderShare) / wall;
        const double server = 100 * (bench::soundServerCpuSeconds(servers) - serverStart) / wall;
        if (recorder) {
            std::printf(
                "  CPU: RZ77 %.1f %%, the bench's recorder %.1f %%, sound server %.1f %%"
                " of one core\n",
                own, 100 * recorderShare / wall, server);
        } else {
            std::printf("  CPU: RZ77 %.1f %%, sound server %.1f %% of one core\n", own, server);
        }
    }
};

// Two Butterworth high-pass sections at 1 kHz: they take the backing track's 110 Hz tone down
// by about 77 dB and keep the click, whose partials lie at 2 and 3.3 kHz.
std::vector<float> withoutTheTrack(std::vector<float> s) {
    const double w = std::tan(std::numbers::pi * 1000 / kRecordRate);
    const double norm = 1 / (1 + std::sqrt(2.0) * w + w * w);
    const double b0 = norm, b1 = -2 * norm, a1 = 2 * (w * w - 1) * norm,
                 a2 = (1 - std::sqrt(2.0) * w + w * w) * norm;
    for (int section = 0; section < 2; ++section) {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (float& sample : s) {
            const double y = b0 * sample + b1 * x1 + b0 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = sample;
            y2 = y1;
            y1 = y;
            sample = static_cast<float>(y);
        }
    }
    return s;
}

std::string makeBackingTrack(double seconds) {
    std::vector<int16_t> tone(static_cast<size_t>(44100 * seconds) * 2);
    for (size_t i = 0; i < tone.size(); ++i) {
        tone[i] = static_cast<int16_t>(
            9000 * std::sin(2 * std::numbers::pi * 110 * static_cast<double>(i / 2) / 44100));
    }
    return bench::encodeMp3("rz77-bench-tone", tone);
}

void reportClicks(MonitorRecorder& recorder, size_t from, size_t to,
                  const std::vector<Clock::time_point>& stamps, double intervalMs,
                  bool underATrack) {
    auto samples = recorder.samples(from, to);
    const auto onsets = findOnsets(underATrack ? withoutTheTrack(samples) : samples, 0.02f);
    const SinkClock sink = recorder.clockOf(from, to);
    const double rate = sink.perSecond;
    std::printf("  clicks heard / sent: %zu / %zu (the sink's clock: %+.0f ppm from ours)\n",
                onsets.size(), stamps.size(), (rate / kRecordRate - 1) * 1e6);
    if (onsets.size() < 3) {
        return;
    }
    std::vector<double> errors, absErrors;
    for (size_t i = 1; i < onsets.size(); ++i) {
        errors.push_back((double(onsets[i]) - double(onsets[i - 1])) * 1000.0 / rate - intervalMs);
        absErrors.push_back(std::abs(errors.back()));
    }
    double mean = 0, variance = 0;
    for (double e : errors) {
        mean += e / errors.size();
    }
    for (double e : errors) {
        variance += (e - mean) * (e - mean) / errors.size();
    }
    const double drift = (double(onsets.back()) - double(onsets.front())) * 1000.0 / rate -
                         intervalMs * double(onsets.size() - 1);
    std::printf(
        "  inter-onset error vs %.0f ms: mean %+.3f  sd %.3f  p99 |e| %.3f  max |e| %.3f  "
        "drift %+.3f ms\n",
        intervalMs, mean, std::sqrt(variance), percentile(absErrors, 0.99),
        *std::max_element(absErrors.begin(), absErrors.end()), drift);
    // Each heard click against the stamp nearest before it.
    std::vector<double> latencies;
    for (size_t onset : onsets) {
        const auto heard = sink.timeOf(from + onset);
        const auto stamp = std::upper_bound(stamps.begin(), stamps.end(), heard);
        if (stamp != stamps.begin()) {
            latencies.push_back(msBetween(*(stamp - 1), heard));
        }
    }
    if (!latencies.empty()) {
        std::printf(
            "  latency stamp -> onset: min %.3f  max %.3f  spread %.3f ms; first click %.3f\n",
            percentile(latencies, 0), percentile(latencies, 1),
            percentile(latencies, 1) - percentile(latencies, 0), latencies.front());
    }
}

using Span = std::pair<Clock::time_point, Clock::time_point>;

// Finds the times the whole machine stood still: one real-time thread per processor wakes every
// millisecond, and a stretch in which none of them could run is one in which the host took every
// processor away. No buffer inside the machine that is shorter than the stretch can cover it.
class StallWatcher {
public:
    StallWatcher() : m_late(std::max(1u, std::thread::hardware_concurrency())) {
        for (unsigned core = 0; core < m_late.size(); ++core) {
            m_threads.emplace_back([this, core] { watch(core); });
        }
    }
    ~StallWatcher() {
        m_stop = true;
        for (auto& thread : m_threads) {
            thread.join();
        }
    }
    std::vector<Span> machineStalls() {
        std::lock_guard lock(m_mutex);
        std::vector<Span> common = m_late.front();
        for (size_t core = 1; core < m_late.size(); ++core) {
            std::vector<Span> both;
            for (const auto& [from, to] : common) {
                for (const auto& [lateFrom, lateTo] : m_late[core]) {
                    if (std::max(from, lateFrom) < std::min(to, lateTo)) {
                        both.emplace_back(std::max(from, lateFrom), std::min(to, lateTo));
                    }
                }
            }
            common = std::move(both);
        }
        std::erase_if(common,
                      [](const Span& span) { return span.second - span.first < kShortest; });
        return common;
    }

    static constexpr auto kShortest = std::chrono::milliseconds(3);

private:
    static constexpr auto kTick = std::chrono::milliseconds(1);
    std::vector<std::vector<Span>> m_late;  // per processor: when its watcher could not run
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::atomic<bool> m_stop = false;

    void watch(unsigned core) {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(core, &set);
        pthread_setaffinity_np(pthread_self(), sizeof set, &set);
        sched_param param{};
        param.sched_priority = 50;  // above the synthesizer's writer; ordinary without the right
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
        auto last = Clock::now();
        while (!m_stop) {
            std::this_thread::sleep_for(kTick);
            const auto now = Clock::now();
            if (now - last > kTick + kShortest) {
                std::lock_guard lock(m_mutex);
                m_late[core].emplace_back(last + kTick, now);
            }
            last = now;
        }
    }
};

double msOf(const Span& span) {
    return msBetween(span.first, span.second);
}

// Digital silence of at least 1 ms inside a sustained note is a dropout. Each one is set beside
// the machine's own stalls: the sink fills a stretch the machine stood still as soon as it runs
// again, so a gap caused by one lies within the stall or up to a buffer's length after it.
void reportGaps(MonitorRecorder& recorder, size_t from, size_t to,
                const std::vector<Span>& stalls) {
    const auto s = recorder.samples(from, to);
    const SinkClock sink = recorder.clockOf(from, to);
    std::vector<Span> gaps;
    size_t run = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (std::abs(s[i]) < 1e-6f) {
            ++run;
            continue;
        }
        if (run >= kRecordRate / 1000) {
            gaps.emplace_back(sink.timeOf(from + i - run), sink.timeOf(from + i));
        }
        run = 0;
    }
    double total = 0, longest = 0;
    int afterStall = 0;
    for (const auto& gap : gaps) {
        total += msOf(gap);
        longest = std::max(longest, msOf(gap));
        afterStall += std::any_of(stalls.begin(), stalls.end(), [&gap](const Span& stall) {
            return stall.first < gap.second &&
                   gap.first < stall.second + std::chrono::milliseconds(30);
        });
    }
    double longestStall = 0;
    for (const auto& stall : stalls) {
        longestStall = std::max(longestStall, msOf(stall));
    }
    std::printf("  gaps of silence in a sustained note: %zu (total %.1f ms, longest %.1f ms)\n",
                gaps.size(), total, longest);
    std::printf(
        "  the whole machine stood still (no processor could run a real-time thread) for over "
        "%d ms: %zu times, longest %.1f ms; gaps within 30 ms after such a stall: %d of %zu\n",
        static_cast<int>(StallWatcher::kShortest.count()), stalls.size(), longestStall, afterStall,
        gaps.size());
}

// Stalls the user-interface thread for 0-25 ms at random moments, as a busy desktop does.
class Staller : public QObject {
public:
    Staller() {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const auto until = Clock::now() + std::chrono::microseconds(m_stall(m_random));
            while (Clock::now() < until) {
            }
            m_timer.start(m_gap(m_random));
        });
        m_timer.start(10);
    }

private:
    QTimer m_timer;
    std::mt19937 m_random{77};
    std::uniform_int_distribution<int> m_stall{0, 25000};
    std::uniform_int_distribution<int> m_gap{20, 300};
};

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    double seconds = 60;
    double quiet = 5;
    bool stall = false;
    bool track = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::max(3.0, std::atof(argv[++i]));
        } else if (std::strcmp(argv[i], "--quiet") == 0 && i + 1 < argc) {
            quiet = std::max(0.0, std::atof(argv[++i]));
        } else if (std::strcmp(argv[i], "--stall") == 0) {
            stall = true;
        } else if (std::strcmp(argv[i], "--track") == 0) {
            track = true;
        }
    }
    QApplication app(argc, argv);
    auto recorder = std::make_unique<MonitorRecorder>();
    StampingMidi midi;
    PrintingReporter reporter;
    MidiOutput output(midi, reporter);
    bench::runFor(2.0);  // the idle null sink drops its first monitor data

    {
        frmMain window(AppEnvironment{std::filesystem::temp_directory_path().string(), {}}, output);
        Metronome metronome(window, window.voice, output);
        // A user sets the tempo and presses START some seconds after the start.
        bench::runFor(quiet);
        std::unique_ptr<Staller> staller = stall ? std::make_unique<Staller>() : nullptr;
        std::printf("%.0f s per run%s%s\n", seconds,
                    stall ? ", user-interface thread stalled 0-25 ms at random" : "",
                    track ? ", a 320 kbit/s backing track playing" : "");
        TrackPlaybackControl player(midi.engine(), reporter);
        if (track) {
            player.setFile(makeBackingTrack(seconds + 5));
        }
        for (const bench::Tempo& tempo : bench::kTempos) {
            if (&tempo != &bench::kTempos[0]) {
                bench::runFor(quiet);
            }
            bench::setTempo(metronome, tempo);
            std::printf("metronome at %d BPM (%d ms)\n", tempo.bpm, metronome.beatInterval());
            midi.clicks.clear();
            const CpuMeter cpu(recorder.get());
            const size_t from = recorder->size();
            if (track) {
                player.play();
            }
            metronome.imgBPMPlay_Click();
            bench::runFor(seconds / 2);
            printServerView();
            bench::runFor(seconds / 2);
            metronome.imgBPMStop_Click();
            player.stop();
            bench::runFor(0.3);
            cpu.print();
            reportClicks(*recorder, from, recorder->size(), midi.dues(), metronome.beatInterval(),
                         track);
        }

        std::printf("sustained note (church organ, A3)\n");
        MIDI_CMD::ProgramChange(output, 0, 0, 19);
        MIDI_CMD::NoteOn(output, 0, 57, 100);
        bench::runFor(0.5);
        const size_t from = recorder->size();
        std::vector<Span> stalls;
        {
            StallWatcher watcher;
            bench::runFor(seconds);
            stalls = watcher.machineStalls();
        }
        reportGaps(*recorder, from, recorder->size(), stalls);
        MIDI_CMD::AllNotesOff(output);

        std::printf("nothing sounding\n");
        bench::runFor(5);
        const CpuMeter idle(recorder.get());
        bench::runFor(std::min(seconds, 20.0));
        idle.print();

        // The recorder's stream costs the sound server too; this is what clicking alone costs.
        if (const char* path = std::getenv("RZ77_BENCH_RECORDING")) {
            recorder->dump(path);
        }
        recorder.reset();
        std::printf("metronome at %d BPM, nothing recording\n", bench::kTempos[0].bpm);
        bench::setTempo(metronome, bench::kTempos[0]);
        const CpuMeter alone(nullptr);
        metronome.imgBPMPlay_Click();
        bench::runFor(std::min(seconds, 20.0));
        metronome.imgBPMStop_Click();
        alone.print();
    }
    return 0;
}
