// What the metronome trainer makes a user hear and see. The real metronome plays its bars,
// accents, subdivisions, swing, tempo trainer and gap trainer through the built-in synthesizer
// into the sound server while the null sink's monitor is recorded; every click is found in the
// recording, told apart by its pitch and loudness, and set against the click the bars ask for and
// the stamp it was sent with. The visual beat's repaint is timed against the click's sound, and
// tap tempo is measured offline on synthetic taps.
//   metronome_trainer_bench [--seconds N]   (per bar pattern and tempo; default 10)
// With RZ77_BENCH_RUNS=FOLDER each run's recording is left there (runN.f32, 48 kHz mono float).
// Needs a PulseAudio server with a null sink named nullsink (bench/metronome_trainer_bench.sh
// starts one).
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "BenchMetronome.h"
#include "BenchRecording.h"
#include "app/frmMain.h"
#include "common/TapTempo.h"
#include "metronome/ClickPlanner.h"
#include "metronome/Metronome.h"
#include "midi/MIDI_OUT.h"

namespace {

using bench::Clock;
using bench::kRecordRate;
using bench::MonitorRecorder;
using bench::msBetween;
using bench::SinkClock;
using bench::StampingMidi;
using MetronomeTrainer::Kind;
using MetronomeTrainer::Mark;
using MetronomeTrainer::Settings;
using Nanos = std::chrono::nanoseconds;

constexpr double kIoiTargetMs = 0.05;
constexpr double kVisualTargetMs = 10;
constexpr double kDecayMs = 30;  // a click's sound is over by then
constexpr int kTapTrials = 20000;

const char* kindName(Kind kind) {
    return kind == Kind::Accent ? "accent" : kind == Kind::Beat ? "beat" : "subdivision";
}

const char* verdict(bool met) {
    return met ? "met" : "NOT met";
}

void printLoad(const char* when) {
    std::ifstream in("/proc/loadavg");
    std::string load;
    std::getline(in, load);
    std::printf("machine load %s (/proc/loadavg): %s\n", when, load.c_str());
}

// --- What the bars ask for -------------------------------------------------------------------

// A click the settings ask for, heard or only seen.
struct Planned {
    Clock::time_point due;
    Kind kind;
    bool sounds;
    long bar;
    int beat;
    int subdivision;
    int bpm;
};

// The tempo of a bar, worked out here from the trainer's settings rather than asked of it.
int tempoOfBar(const Settings& settings, int bpm, long bar) {
    if (!settings.tempo) {
        return bpm;
    }
    const auto& trainer = *settings.tempo;
    const long change = long(trainer.step) * (bar / trainer.everyBars);
    return trainer.to >= trainer.from
               ? static_cast<int>(std::min<long>(trainer.from + change, trainer.to))
               : static_cast<int>(std::max<long>(trainer.from - change, trainer.to));
}

// Every click from the first beat (bar 0, beat 0, the first stamp) up to `last`. Each beat is
// the last plus its bar's interval; a swung off-beat lies the swing's share into its beat, other
// subdivisions divide the beat evenly. A silent beat is a rest, its subdivisions with it.
std::vector<Planned> planClicks(const Settings& settings, int bpm, Clock::time_point first,
                                Clock::time_point last) {
    const auto& bar = settings.bar;
    std::vector<Planned> planned;
    std::optional<long> atTarget;
    Clock::time_point beatTime = first;
    for (long barIndex = 0; beatTime <= last; ++barIndex) {
        const int tempo = tempoOfBar(settings, bpm, barIndex);
        if (settings.tempo && settings.tempo->stopAtTarget) {
            if (tempo == settings.tempo->to && !atTarget) {
                atTarget = barIndex;
            }
            if (atTarget && barIndex >= *atTarget + settings.tempo->everyBars) {
                break;
            }
        }
        const Nanos interval = MetronomeTrainer::intervalFor(tempo);
        const bool muted =
            settings.gap &&
            barIndex % (settings.gap->playBars + settings.gap->muteBars) >= settings.gap->playBars;
        for (int beat = 0; beat < bar.beats; ++beat) {
            const Mark mark = bar.accents ? bar.marks[beat] : Mark::Normal;
            for (int sub = 0; sub < bar.subdivision; ++sub) {
                const Nanos offset = bar.subdivision == 2 && sub == 1
                                         ? interval * bar.swing / 100
                                         : interval * sub / bar.subdivision;
                const Kind kind = sub > 0                ? Kind::Subdivision
                                  : mark == Mark::Accent ? Kind::Accent
                                                         : Kind::Beat;
                if (beatTime + offset > last) {
                    return planned;
                }
                planned.push_back({beatTime + offset, kind, mark != Mark::Silent && !muted,
                                   barIndex, beat, sub, tempo});
            }
            beatTime += interval;
        }
    }
    return planned;
}

// The kind a click was sent as: the accent's key, or the beat's key at the volume's velocity or
// softer.
Kind stampedKind(const StampingMidi::Stamp& stamp) {
    return stamp.note == kAccentNote ? Kind::Accent
           : stamp.velocity >= 127   ? Kind::Beat
                                     : Kind::Subdivision;
}

// --- What the recording holds ----------------------------------------------------------------

struct Onset {
    double at;  // the first sample of its sound in the run's recording
    float peak;
    Kind heardAs;
};

// The power at one frequency in count samples from `from`.
double powerAt(const std::vector<float>& s, size_t from, size_t count, double hz) {
    const double c = 2 * std::cos(2 * std::numbers::pi * hz / kRecordRate);
    double s1 = 0, s2 = 0;
    for (size_t i = from; i < std::min(s.size(), from + count); ++i) {
        const double s0 = s[i] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - c * s1 * s2;
}

// Clicks come as close as 62.5 ms (sixteenths at 240 BPM), each 25 ms long: 20 ms below the
// threshold parts two of them. An onset is the first sample of a click's sound, 20.8 us apart; the
// synthesizer starts its voices on its 1 ms blocks, 48 whole samples here, so clicks of one kind
// come out alike to the sample and no finer estimate is needed. The accent is told by its pitch
// (3000/4950 Hz against the beat's 2000/3300 Hz), a subdivision by being well below the loudest
// click.
std::vector<Onset> listen(const std::vector<float>& s) {
    constexpr float kThreshold = 0.01f;
    const size_t window = kRecordRate / 250;  // 4 ms: the tick's first, loudest part
    std::vector<Onset> onsets;
    for (size_t start : bench::findOnsets(s, kThreshold, kRecordRate / 50)) {
        Onset onset{double(start), 0, Kind::Beat};
        for (size_t i = start; i < std::min(s.size(), start + window); ++i) {
            onset.peak = std::max(onset.peak, std::abs(s[i]));
        }
        const double low = powerAt(s, start, window, 2000) + powerAt(s, start, window, 3300);
        const double high = powerAt(s, start, window, 3000) + powerAt(s, start, window, 4950);
        onset.heardAs = high > low ? Kind::Accent : Kind::Beat;
        onsets.push_back(onset);
    }
    float loudest = 0;
    for (const Onset& onset : onsets) {
        loudest = std::max(loudest, onset.peak);
    }
    for (Onset& onset : onsets) {
        if (onset.heardAs == Kind::Beat && onset.peak < 0.7f * loudest) {
            onset.heardAs = Kind::Subdivision;
        }
    }
    return onsets;
}

// --- The visual beat -------------------------------------------------------------------------

// Each beat as the metronome says it is heard, with the moment the beat's number was painted.
class BeatWatcher : public QObject {
public:
    struct Seen {
        long bar;
        int beat;
        bool sounds;
        Clock::time_point at;
        bool painted;  // else `at` is the signal's moment
    };
    std::vector<Seen> seen;

    BeatWatcher(Metronome& metronome, QWidget& beatNumber) {
        beatNumber.installEventFilter(this);
        connect(&metronome, &Metronome::beatHeard, this, [this](long bar, int beat, bool sounds) {
            const auto now = Clock::now();
            // The repaint comes just before the signal; a later paint is the flash's end.
            const bool painted = m_lastPaint && now - *m_lastPaint < std::chrono::milliseconds(5);
            seen.push_back({bar, beat, sounds, painted ? *m_lastPaint : now, painted});
            m_lastPaint.reset();
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            m_lastPaint = Clock::now();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::optional<Clock::time_point> m_lastPaint;
};

// --- One run of the real metronome -----------------------------------------------------------

struct Rig {
    MonitorRecorder& recorder;
    StampingMidi& midi;
    frmMain& window;
    Metronome& metronome;
    BeatWatcher& watcher;
    size_t settled;  // the first sample after the sink's start
};

struct Stats {
    size_t n = 0;
    double mean = 0, sd = 0, worst = 0, min = 0, med = 0, max = 0;
};

Stats statsOf(const std::vector<double>& values) {
    Stats st;
    st.n = values.size();
    if (values.empty()) {
        return st;
    }
    for (double v : values) {
        st.mean += v / double(values.size());
        st.worst = std::max(st.worst, std::abs(v));
    }
    for (double v : values) {
        st.sd += (v - st.mean) * (v - st.mean) / double(values.size());
    }
    st.sd = std::sqrt(st.sd);
    st.min = *std::min_element(values.begin(), values.end());
    st.max = *std::max_element(values.begin(), values.end());
    st.med = bench::median(values);
    return st;
}

// A run as recorded, with every planned click matched to its stamp and its onset.
struct Run {
    std::vector<Planned> planned;
    std::vector<StampingMidi::Stamp> stamps;
    std::vector<BeatWatcher::Seen> seen;
    std::vector<float> samples;
    std::vector<Onset> onsets;
    SinkClock sink;
    size_t from = 0;
    std::vector<int> stampOf, onsetOf;  // per planned click, -1 for none
    std::vector<size_t> extra;          // onsets that are no planned click's, before the stop
    size_t unplannedStamps = 0, atTheStop = 0;
    Clock::time_point countedUntil;  // the stop cuts short the clicks due after this
    double worstStampOffMs = 0;
    double latencyMs = 0;  // stamp to onset, the run's median

    Clock::time_point onsetTime(int onset) const { return sink.timeAt(double(from) + at(onset)); }
    double at(int onset) const { return onsets[size_t(onset)].at; }
    // Where a moment of our clock lies in the run's recording.
    double sampleAt(Clock::time_point time) const {
        return bench::secondsOf(time - sink.start) * sink.perSecond + double(sink.from) -
               double(from);
    }
    bool heard(size_t i) const { return onsetOf[i] >= 0; }
    bool counted(size_t i) const { return planned[i].due <= countedUntil; }
};

void typeTempo(Rig& rig, int bpm) {
    auto* entry = rig.window.findChild<QLineEdit*>("txtBPM");
    entry->setText(QString::number(bpm));
    rig.metronome.txtBPM_KeyPress(13);
}

void match(Run& run);

// Plays the settings from a typed tempo for some seconds, or until the trainer stops the
// metronome itself (seconds 0).
Run play(Rig& rig, const Settings& settings, int bpm, double seconds) {
    typeTempo(rig, bpm);
    rig.metronome.setTrainer(settings);
    rig.midi.clicks.clear();
    rig.watcher.seen.clear();
    Run run;
    run.from = rig.recorder.size();
    rig.metronome.imgBPMPlay_Click();
    if (seconds > 0) {
        bench::runFor(seconds);
    } else {
        for (int waited = 0; rig.metronome.isRunning() && waited < 600; ++waited) {
            bench::runFor(0.25);
        }
    }
    const auto stopped = Clock::now();
    rig.metronome.imgBPMStop_Click();
    bench::runFor(0.4);  // the last click's sound reaches the recording
    const size_t to = rig.recorder.size();
    run.samples = rig.recorder.samples(run.from, to);
    // Ten seconds give the fit of the sink's clock too few reads to stand a step in their
    // latency: it takes the last two minutes.
    const size_t window = 120 * size_t(kRecordRate);
    run.sink = rig.recorder.clockOf(std::max(rig.settled, to > window ? to - window : 0), to);
    // A click sent ahead of its time is silenced by a stop before it is due, and one due just
    // before the stop is cut short, as they should be: neither is counted.
    run.countedUntil = stopped - bench::toDuration(kDecayMs / 1000);
    run.stamps = rig.midi.clicks;
    for (const auto& stamp : run.stamps) {
        run.atTheStop += stamp.due > run.countedUntil;
    }
    run.seen = rig.watcher.seen;
    if (run.stamps.empty()) {
        return run;
    }
    run.planned =
        planClicks(settings, bpm, run.stamps.front().due, stopped + std::chrono::milliseconds(100));
    run.onsets = listen(run.samples);
    match(run);
    if (const char* dumpDir = std::getenv("RZ77_BENCH_RUNS")) {
        static int number = 0;
        const std::string path = std::string(dumpDir) + "/run" + std::to_string(++number) + ".f32";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(run.samples.data()),
                   static_cast<std::streamsize>(run.samples.size() * sizeof(float)));
    }
    return run;
}

// The planned click nearest a moment, within a tolerance.
std::optional<size_t> nearestPlanned(const std::vector<Planned>& planned, Clock::time_point time,
                                     Clock::duration tolerance) {
    const auto after =
        std::lower_bound(planned.begin(), planned.end(), time,
                         [](const Planned& p, Clock::time_point t) { return p.due < t; });
    std::optional<size_t> best;
    for (auto it : {after, after - (after != planned.begin() ? 1 : 0)}) {
        if (it == planned.end()) {
            continue;
        }
        const auto off = it->due > time ? it->due - time : time - it->due;
        if (off <= tolerance &&
            (!best || off < (planned[*best].due > time ? planned[*best].due - time
                                                       : time - planned[*best].due))) {
            best = size_t(it - planned.begin());
        }
    }
    return best;
}

void match(Run& run) {
    const size_t count = run.planned.size();
    run.stampOf.assign(count, -1);
    run.onsetOf.assign(count, -1);
    for (size_t s = 0; s < run.stamps.size(); ++s) {
        const auto found =
            nearestPlanned(run.planned, run.stamps[s].due, std::chrono::milliseconds(1));
        if (!found || !run.planned[*found].sounds || run.stampOf[*found] >= 0) {
            ++run.unplannedStamps;
            continue;
        }
        run.stampOf[*found] = int(s);
        run.worstStampOffMs = std::max(
            run.worstStampOffMs, std::abs(msBetween(run.planned[*found].due, run.stamps[s].due)));
    }
    // The constant latency of the path: each onset against the latest stamp before it.
    std::vector<Clock::time_point> dues;
    for (const auto& stamp : run.stamps) {
        dues.push_back(stamp.due);
    }
    std::sort(dues.begin(), dues.end());
    std::vector<double> latencies;
    for (int o = 0; o < int(run.onsets.size()); ++o) {
        const auto heard = run.onsetTime(o);
        const auto stamp = std::upper_bound(dues.begin(), dues.end(), heard);
        if (stamp != dues.begin()) {
            latencies.push_back(msBetween(*(stamp - 1), heard));
        }
    }
    run.latencyMs = latencies.empty() ? 0 : bench::median(latencies);
    // Half the closest two planned clicks' distance tells which click an onset is.
    Clock::duration closest = std::chrono::milliseconds(100);
    for (size_t i = 1; i < count; ++i) {
        closest = std::min(closest, run.planned[i].due - run.planned[i - 1].due);
    }
    const auto latency = bench::toDuration(run.latencyMs / 1000);
    for (int o = 0; o < int(run.onsets.size()); ++o) {
        const auto found = nearestPlanned(run.planned, run.onsetTime(o) - latency, closest / 2);
        if (found && !run.counted(*found)) {
            continue;  // a click at the stop
        }
        if (!found || !run.planned[*found].sounds || run.onsetOf[*found] >= 0) {
            run.extra.push_back(size_t(o));
            continue;
        }
        run.onsetOf[*found] = o;
    }
}

// --- What a run prints -----------------------------------------------------------------------

// Clicks asked for, sent and heard. True when every click asked for was heard and nothing else.
bool printCounts(const Run& run) {
    size_t sounding = 0, silent = 0, stamped = 0, heard = 0, missing = 0, wrongStamp = 0,
           wrongHeard = 0;
    for (size_t i = 0; i < run.planned.size() && run.counted(i); ++i) {
        const Planned& p = run.planned[i];
        if (!p.sounds) {
            ++silent;
            continue;
        }
        ++sounding;
        if (run.stampOf[i] >= 0) {
            ++stamped;
            wrongStamp += stampedKind(run.stamps[size_t(run.stampOf[i])]) != p.kind;
        }
        if (run.heard(i)) {
            ++heard;
            wrongHeard += run.onsets[size_t(run.onsetOf[i])].heardAs != p.kind;
        } else {
            ++missing;
        }
    }
    const bool met = missing == 0 && run.extra.empty() && sounding > 0;
    std::printf(
        "    clicks: the bars ask for %zu (and %zu silent), sent %zu (as another kind %zu, not "
        "asked for %zu; at the stop, not counted, %zu; worst off the bars' grid %.6f ms), "
        "heard %zu: missing %zu, extra %zu, heard as another kind %zu  [none missing, none "
        "extra: %s]\n",
        sounding, silent, stamped, wrongStamp, run.unplannedStamps, run.atTheStop,
        run.worstStampOffMs, heard, missing, run.extra.size(), wrongHeard, verdict(met));
    std::string where;
    for (size_t i = 0; i < run.planned.size() && run.counted(i) && where.size() < 200; ++i) {
        const Planned& p = run.planned[i];
        const bool wrong = run.heard(i) && run.onsets[size_t(run.onsetOf[i])].heardAs != p.kind;
        if (p.sounds && (!run.heard(i) || wrong)) {
            char text[96];
            const double due = run.sampleAt(p.due + bench::toDuration(run.latencyMs / 1000));
            std::snprintf(text, sizeof text, " %s bar %ld beat %d.%d (%s, at %.3f s)",
                          wrong ? "misheard" : "missing", p.bar, p.beat + 1, p.subdivision + 1,
                          kindName(p.kind), due / kRecordRate);
            where += text;
        }
    }
    for (size_t o : run.extra) {
        if (where.size() < 300) {
            char text[64];
            std::snprintf(text, sizeof text, " extra at %.3f s", run.at(int(o)) / kRecordRate);
            where += text;
        }
    }
    if (!where.empty()) {
        std::printf("     %s\n", where.c_str());
    }
    return met;
}

// Onset to onset against stamp to stamp, by the kind of the later click. Returns the largest
// spread.
double printIoi(const Run& run) {
    std::map<Kind, std::vector<double>> errors;
    std::optional<size_t> previous;
    for (size_t i = 0; i < run.planned.size(); ++i) {
        // Neighbours only: over a rest the fit of the sink's clock would begin to tell.
        const bool usable = run.planned[i].sounds && run.heard(i) && run.stampOf[i] >= 0;
        if (usable && previous) {
            const double heardMs = (run.at(run.onsetOf[i]) - run.at(run.onsetOf[*previous])) *
                                   1000 / run.sink.perSecond;
            const double stampedMs = msBetween(run.stamps[size_t(run.stampOf[*previous])].due,
                                               run.stamps[size_t(run.stampOf[i])].due);
            errors[run.planned[i].kind].push_back(heardMs - stampedMs);
        }
        previous = usable ? std::optional<size_t>(i) : std::nullopt;
    }
    double worstSd = 0;
    std::printf("    inter-onset error (onset to onset less stamp to stamp), ms:");
    const char* separator = "";
    for (const auto& [kind, values] : errors) {
        const Stats st = statsOf(values);
        worstSd = std::max(worstSd, st.sd);
        std::printf("%s %s n %zu mean %+.4f sd %.4f max|e| %.4f", separator, kindName(kind), st.n,
                    st.mean, st.sd, st.worst);
        separator = " |";
    }
    std::printf("  [sd <= %.2f ms: %s] (the sink's clock %+.1f ppm from ours)\n", kIoiTargetMs,
                verdict(!errors.empty() && worstSd <= kIoiTargetMs),
                (run.sink.perSecond / kRecordRate - 1) * 1e6);
    return worstSd;
}

// From the beat number's repaint to its click's onset, mapped onto our clock; positive when
// the picture comes after the sound.
std::vector<double> visualOffsets(const Run& run, size_t& unpainted) {
    std::map<std::pair<long, int>, size_t> beats;
    for (size_t i = 0; i < run.planned.size(); ++i) {
        if (run.planned[i].subdivision == 0) {
            beats[{run.planned[i].bar, run.planned[i].beat}] = i;
        }
    }
    std::vector<double> offsets;
    unpainted = 0;
    for (const auto& seen : run.seen) {
        unpainted += !seen.painted;
        const auto found = beats.find({seen.bar, seen.beat});
        if (seen.sounds && found != beats.end() && run.heard(found->second)) {
            offsets.push_back(msBetween(run.onsetTime(run.onsetOf[found->second]), seen.at));
        }
    }
    return offsets;
}

void printVisual(const std::vector<double>& offsets, size_t shown, size_t unpainted,
                 const char* indent) {
    if (offsets.empty()) {
        std::printf("%svisual beat: none matched to a heard click (%zu shown)\n", indent, shown);
        return;
    }
    const Stats st = statsOf(offsets);
    std::printf(
        "%svisual beat, repaint less onset: n %zu  min %+.2f  median %+.2f  max %+.2f ms"
        "%s  [|d| <= %.0f ms: %s]\n",
        indent, st.n, st.min, st.med, st.max,
        unpainted ? (" (" + std::to_string(unpainted) + " without a paint seen)").c_str() : "",
        kVisualTargetMs, verdict(st.worst <= kVisualTargetMs));
}

std::vector<double> printRun(const Run& run) {
    printCounts(run);
    printIoi(run);
    size_t unpainted = 0;
    auto offsets = visualOffsets(run, unpainted);
    printVisual(offsets, run.seen.size(), unpainted, "    ");
    return offsets;
}

Settings barsOf(int beats, const char* marks, int subdivision, int swing = 50) {
    Settings settings;
    settings.bar.beats = beats;
    settings.bar.accents = true;
    settings.bar.marks = MetronomeTrainer::marksFromText(marks);
    settings.bar.subdivision = subdivision;
    settings.bar.swing = swing;
    settings.visualBeat = true;
    return settings;
}

// --- The tempo trainer -----------------------------------------------------------------------

// Where the heard tempo changes: at the click after which the next gap is another length. Each
// should be a bar's first click, by counting the clicks and by hearing the accent on it.
void printTempoSteps(const Run& run, int beats) {
    std::vector<size_t> heard;
    size_t asked = 0;
    for (size_t i = 0; i < run.planned.size() && run.counted(i); ++i) {
        asked += run.planned[i].sounds;
        if (run.heard(i)) {
            heard.push_back(i);
        }
    }
    if (heard.size() != asked) {
        std::printf("    (%zu of %zu clicks heard: the steps below count heard clicks)\n",
                    heard.size(), asked);
    }
    std::vector<double> gaps;  // ms, from heard click k to k + 1
    for (size_t k = 1; k < heard.size(); ++k) {
        gaps.push_back((run.at(run.onsetOf[heard[k]]) - run.at(run.onsetOf[heard[k - 1]])) * 1000 /
                       run.sink.perSecond);
    }
    int plannedSteps = 0;
    for (size_t i = 1; i < run.planned.size(); ++i) {
        plannedSteps += run.planned[i].bpm != run.planned[i - 1].bpm;
    }
    std::vector<size_t> changes;  // heard click indices where the next gap differs
    for (size_t k = 1; k < gaps.size(); ++k) {
        if (std::abs(gaps[k] - gaps[k - 1]) > 2.0) {
            changes.push_back(k);
        }
    }
    int byCount = 0, byAccent = 0;
    std::string tempos;
    size_t blockStart = 0;
    for (size_t c = 0; c <= changes.size(); ++c) {
        const size_t blockEnd = c < changes.size() ? changes[c] : gaps.size();
        if (blockEnd > blockStart) {
            std::vector<double> block(gaps.begin() + long(blockStart),
                                      gaps.begin() + long(blockEnd));
            char text[16];
            std::snprintf(text, sizeof text, " %.2f", 60000 / bench::median(block));
            tempos += text;
        }
        if (c < changes.size()) {
            byCount += changes[c] % size_t(beats) == 0;
            byAccent += run.onsets[size_t(run.onsetOf[heard[changes[c]]])].heardAs == Kind::Accent;
        }
        blockStart = blockEnd;
    }
    std::printf(
        "    tempo changes heard: %zu (the trainer has %d); on a bar's first click by count %d, "
        "heard on an accent %d  [on the bar line: %s]\n",
        changes.size(), plannedSteps, byCount, byAccent,
        verdict(int(changes.size()) == plannedSteps && byCount == plannedSteps &&
                byAccent == plannedSteps));
    std::printf("    tempos heard, BPM:%s\n", tempos.c_str());
}

// Each onset against its stamp plus the run's latency: the grid the stamps imply.
void printGridDeviation(const Run& run) {
    std::vector<double> deviations, times;  // ms; s since the first stamp
    for (size_t i = 0; i < run.planned.size(); ++i) {
        if (run.heard(i) && run.stampOf[i] >= 0) {
            times.push_back(
                bench::secondsOf(run.stamps[size_t(run.stampOf[i])].due - run.stamps.front().due));
            deviations.push_back(
                msBetween(run.stamps[size_t(run.stampOf[i])].due, run.onsetTime(run.onsetOf[i])) -
                run.latencyMs);
        }
    }
    if (deviations.size() < 16) {
        return;
    }
    const Stats st = statsOf(deviations);
    // The least-squares slope of the deviations against the stamps' time.
    double meanT = 0, slope = 0, spread = 0;
    for (double t : times) {
        meanT += t / double(times.size());
    }
    for (size_t k = 0; k < times.size(); ++k) {
        slope += (times[k] - meanT) * (deviations[k] - st.mean);
        spread += (times[k] - meanT) * (times[k] - meanT);
    }
    slope /= spread;  // ms per s
    double head = 0, tail = 0;
    for (size_t k = 0; k < 8; ++k) {
        head += deviations[k] / 8;
        tail += deviations[deviations.size() - 1 - k] / 8;
    }
    std::printf(
        "    onsets against the stamps' grid (latency %.3f ms taken off): worst %.3f ms, sd %.3f "
        "ms; last 8 against first 8 clicks %+.3f ms over %.1f s, a drift of %+.1f ppm (the sink's "
        "clock %+.1f ppm from ours)\n",
        run.latencyMs, st.worst, st.sd, tail - head, times.back(), slope * 1000,
        (run.sink.perSecond / kRecordRate - 1) * 1e6);
}

// --- The gap trainer -------------------------------------------------------------------------

// Each stretch of muted bars, from the last click before it has died away to the first click
// after it: digital silence, and the click after it on the grid.
void printGaps(const Run& run) {
    std::optional<size_t> lastHeard;
    bool inGap = false;
    long firstMuted = 0;
    size_t seenInGaps = 0, beatsInGaps = 0;
    for (const auto& seen : run.seen) {
        seenInGaps += !seen.sounds;
    }
    for (size_t i = 0; i < run.planned.size() && run.counted(i); ++i) {
        const Planned& p = run.planned[i];
        const bool muted = !p.sounds;
        beatsInGaps += muted && p.subdivision == 0;
        if (muted) {
            if (!inGap) {
                firstMuted = p.bar;
            }
            inGap = true;
            continue;
        }
        if (inGap && lastHeard && run.heard(i) && run.heard(*lastHeard)) {
            const double before = run.at(run.onsetOf[*lastHeard]);
            const double after = run.at(run.onsetOf[i]);
            const double grid = run.sampleAt(p.due + bench::toDuration(run.latencyMs / 1000));
            const size_t from = size_t(before + kDecayMs * kRecordRate / 1000);
            const size_t to = size_t(std::min(after, grid) - kRecordRate / 1000.0);
            size_t nonZero = 0;
            float peak = 0;
            for (size_t k = from; k < to && k < run.samples.size(); ++k) {
                nonZero += run.samples[k] != 0.0f;
                peak = std::max(peak, std::abs(run.samples[k]));
            }
            size_t lastSound = size_t(before);
            for (size_t k = size_t(before); k < to && k < run.samples.size(); ++k) {
                if (run.samples[k] != 0.0f) {
                    lastSound = k;
                }
            }
            std::printf(
                "    muted bars %ld-%ld: %.1f ms checked, from %.0f ms after the last click "
                "(whose sound ends %.2f ms after its onset): %zu samples not zero, peak %s  "
                "[digital silence: %s]\n",
                firstMuted, p.bar - 1, double(to - from) * 1000 / kRecordRate, kDecayMs,
                (double(lastSound) - before) * 1000 / kRecordRate, nonZero,
                peak > 0 ? (std::to_string(20 * std::log10(peak)) + " dBFS").c_str() : "0",
                verdict(nonZero == 0 && to > from));
            std::printf(
                "      bar %ld's first click against the grid: onset %+.3f ms, stamp %+.6f ms  "
                "[on the grid: %s]\n",
                p.bar, (after - grid) * 1000 / kRecordRate,
                run.stampOf[i] >= 0 ? msBetween(p.due, run.stamps[size_t(run.stampOf[i])].due)
                                    : std::nan(""),
                verdict(std::abs(after - grid) * 1000 / kRecordRate <= 0.5));
        }
        inGap = false;
        if (run.heard(i)) {
            lastHeard = i;
        }
    }
    std::printf("    beats of muted bars shown but not heard: %zu of %zu\n", seenInGaps,
                beatsInGaps);
}

// --- Tap tempo, offline ----------------------------------------------------------------------

void tapTempoBench() {
    std::printf("2. Tap tempo (TapTempo on synthetic taps, %d trials each, seed 77)\n", kTapTrials);
    std::mt19937 random(77);
    std::uniform_real_distribution<double> jitter(-0.015, 0.015);
    std::vector<double> errors, roundedErrors;
    for (int trial = 0; trial < kTapTrials; ++trial) {
        TapTempo taps;
        std::optional<double> bpm;
        const double start = 100 + trial * 10.0;
        for (int k = 0; k < 8; ++k) {
            bpm = taps.tap(start + k * 0.5 + jitter(random));
        }
        errors.push_back(bpm ? *bpm - 120 : std::nan(""));
        roundedErrors.push_back(bpm ? double(std::lround(*bpm)) - 120 : std::nan(""));
    }
    const auto within = [](const std::vector<double>& values) {
        return 100.0 *
               double(std::count_if(values.begin(), values.end(),
                                    [](double e) { return std::abs(e) <= 1; })) /
               double(values.size());
    };
    const Stats st = statsOf(errors);
    std::printf(
        "  8 taps at 120 BPM, each +-15 ms: error after the 8th mean %+.3f  sd %.3f  worst |e| "
        "%.3f BPM; within +-1 BPM %.2f %% of trials (%.2f %% once rounded to a whole BPM, as the "
        "metronome takes it)  [within +-1 BPM: %s]\n",
        st.mean, st.sd, st.worst, within(errors), within(roundedErrors), verdict(st.worst <= 1));

    // The series goes on at the new tempo; the change is detected at the first tap from which
    // on the tempo is nearer the new tempo than the old one.
    constexpr int kAfter = 16;
    std::vector<double> detectedAfter;
    std::vector<double> tempoAfter3;
    int never = 0;
    for (int trial = 0; trial < kTapTrials; ++trial) {
        TapTempo taps;
        const double start = 100 + trial * 20.0;
        for (int k = 0; k < 8; ++k) {
            taps.tap(start + k * 0.5 + jitter(random));
        }
        std::optional<int> detected;
        for (int k = 1; k <= kAfter; ++k) {
            const auto bpm = taps.tap(start + 7 * 0.5 + k * 0.4 + jitter(random));
            const bool nearer = bpm && std::abs(*bpm - 150) < std::abs(*bpm - 120);
            if (nearer && !detected) {
                detected = k;
            } else if (!nearer) {
                detected.reset();
            }
            if (k == 3 && bpm) {
                tempoAfter3.push_back(*bpm);
            }
        }
        if (detected) {
            detectedAfter.push_back(*detected);
        } else {
            ++never;
        }
    }
    const size_t within3 = size_t(
        std::count_if(detectedAfter.begin(), detectedAfter.end(), [](double k) { return k <= 3; }));
    const Stats det = statsOf(detectedAfter);
    const Stats at3 = statsOf(tempoAfter3);
    std::printf(
        "  120 -> 150 BPM after 8 taps: taps at 150 until the tempo is nearer 150 than 120: "
        "median %.0f, worst %.0f (not within %d taps in %d trials); within 3 taps in %.2f %% of "
        "trials; tempo after the 3rd tap at 150: median %.1f BPM  [within 3 taps: %s]\n",
        det.n ? det.med : std::nan(""), det.n ? det.max : std::nan(""), kAfter, never,
        100.0 * double(within3) / kTapTrials, at3.n ? at3.med : std::nan(""),
        verdict(never == 0 && within3 == size_t(kTapTrials)));
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    double seconds = 10;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::max(4.0, std::atof(argv[++i]));
        }
    }
    printLoad("at the start");
    QApplication app(argc, argv);
    auto recorder = std::make_unique<MonitorRecorder>();
    StampingMidi midi;
    bench::PrintingReporter reporter;
    MidiOutput output(midi, reporter);
    bench::runFor(2.0);  // the idle null sink drops its first monitor data

    // A folder of its own: no settings file, so the built-in synthesizer and the defaults.
    char folder[] = "/tmp/rz77-trainer-bench.XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 1;
    }
    std::vector<double> allVisual;
    size_t allShown = 0, allUnpainted = 0;
    {
        frmMain window(AppEnvironment{folder, {}}, output);
        Metronome metronome(window, window.voice, output);
        window.show();
        auto* beatNumber = window.findChild<QLabel*>("lblBeat");
        if (beatNumber == nullptr) {
            std::fprintf(stderr, "no lblBeat on the main window\n");
            return 1;
        }
        BeatWatcher watcher(metronome, *beatNumber);
        bench::runFor(3.0);
        Rig rig{*recorder, midi, window, metronome, watcher, recorder->size()};
        std::printf(
            "the visual beat is shown %.0f ms after a click is due (NoteOutput::heardAfter)\n",
            std::chrono::duration<double, std::milli>(output.heardAfter()).count());
        const auto keep = [&](const Run& run, std::vector<double> offsets) {
            allVisual.insert(allVisual.end(), offsets.begin(), offsets.end());
            allShown += run.seen.size();
            for (const auto& seen : run.seen) {
                allUnpainted += !seen.painted;
            }
        };

        std::printf(
            "1. Bars, accents, subdivisions and swing (the real metronome, built-in synthesizer, "
            "the null sink's monitor recorded; %.0f s a run)\n",
            seconds);
        struct Pattern {
            const char* name;
            Settings settings;
        };
        const Pattern patterns[] = {
            {"7 beats ANANANN, triplets", barsOf(7, "ANANANN", 3)},
            {"4 beats ANNN, eighths swung 66 %", barsOf(4, "ANNN", 2, 66)},
            {"4 beats ANSN (beat 3 silent), sixteenths", barsOf(4, "ANSN", 4)},
        };
        for (const Pattern& pattern : patterns) {
            for (int bpm : {60, 120, 240}) {
                std::printf("  %s at %d BPM\n", pattern.name, bpm);
                const Run run = play(rig, pattern.settings, bpm, seconds);
                keep(run, printRun(run));
            }
        }

        tapTempoBench();

        std::printf(
            "3. Tempo trainer: 60 -> 120 BPM, +5 every 2 bars, 4/4 ANNN, stopping after 2 bars at "
            "120\n");
        Settings trainer = barsOf(4, "ANNN", 1);
        trainer.tempo = MetronomeTrainer::TempoTrainer{60, 5, 2, 120, true};
        {
            const Run run = play(rig, trainer, 60, 0);
            keep(run, printRun(run));
            printTempoSteps(run, 4);
            printGridDeviation(run);
        }

        std::printf("4. Gap trainer: play 2 bars, mute 2, 4/4 ANNN at 120 BPM\n");
        Settings gaps = barsOf(4, "ANNN", 1);
        gaps.gap = MetronomeTrainer::GapTrainer{2, 2};
        {
            const Run run = play(rig, gaps, 120, 18.5);
            keep(run, printRun(run));
            printGaps(run);
        }
        metronome.setTrainer(Settings{});

        std::printf(
            "5. Visual beat: every run above, the beat number's repaint against its click\n");
        printVisual(allVisual, allShown, allUnpainted, "  ");
        if (const char* path = std::getenv("RZ77_BENCH_RECORDING")) {
            recorder->dump(path);
        }
    }
    recorder.reset();
    std::filesystem::remove_all(folder);
    printLoad("at the end");
    return 0;
}
