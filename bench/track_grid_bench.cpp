// Where the track page's count-in and the click on the song's beats land, on the rendered output
// in frame counts. The timeline is driven offline, as the player's worker drives it, over a
// silent MP3 (so that only the clicks sound) with a beat grid of its own: 120 BPM with a few
// milliseconds of jitter, two beats of upbeat, 4/4.
//
// count-in: the count-in's next one (its last click plus one of its beats, from its own clicks'
//   onsets) against the stream frame where the track reaches the downbeat it counts into; at the
//   track's start and at each of a loop's seams.
// lead: how far ahead of its place the stretcher plays a transient, against the speed, for both
//   engines at 44.1 and 48 kHz, over an MP3 of ticks, next to the lead the timeline places the
//   song's click by.
// click: every onset of the song's click, mapped to the track's frame it sounds at, against the
//   grid's beat less the stretcher's lead; and against the track's own ticks as the finer
//   stretcher plays them (where they reach half, and an eighth, of their peak), as placed and as
//   it was placed before (on the grid's beat), through 100 seams of a one-bar loop at 25, 50,
//   100 and 150 %.
//
// track_grid_bench [lead|countin|click], all when none is named.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "audio/BeatGrid.h"
#include "audio/Mp3Decoder.h"
#include "audio/SampleRing.h"
#include "audio/TrackRender.h"
#include "audio/TrackTimeline.h"

namespace {

constexpr int kRate = 48000;
constexpr double kTrackSeconds = 20;
constexpr int kBlock = 240;  // 5 ms, as the audio thread takes it

// A sharp tick on each of the grid's beats, so that the track's own beat is heard as it plays.
std::string tickTrack(const BeatGrid& grid) {
    constexpr int kFileRate = 44100;
    std::vector<int16_t> stereo(2 * static_cast<size_t>(kTrackSeconds * kFileRate));
    for (const double beat : grid.beats) {
        const auto first = static_cast<size_t>(std::ceil(beat * kFileRate));
        for (size_t i = first; i < first + kFileRate / 50 && 2 * i + 1 < stereo.size(); ++i) {
            const double u = static_cast<double>(i) / kFileRate - beat;
            const double value = 0.8 * std::exp(-u / 0.003) * std::sin(2 * M_PI * 2500 * u + 1);
            stereo[2 * i] = stereo[2 * i + 1] = static_cast<int16_t>(std::lround(32767 * value));
        }
    }
    return bench::encodeMp3("rz77-grid-bench-ticks", stereo);
}

std::string silentTrack() {
    return bench::encodeMp3("rz77-grid-bench-silence",
                            std::vector<int16_t>(2 * static_cast<size_t>(kTrackSeconds * 44100)));
}

BeatGrid jitteredGrid() {
    std::mt19937 random(77);
    std::uniform_real_distribution<double> jitter(-0.004, 0.004);
    BeatGrid grid{{}, 4, 2};
    for (double at = 0.25; at < kTrackSeconds; at += 0.5) {
        grid.beats.push_back(at + jitter(random));
    }
    return grid;
}

// The timeline as the player runs it, read back 5 ms at a time; for each frame heard, the frame
// of the track it plays.
class Run {
public:
    Run(const std::string& path, const BeatGrid& grid, double speed,
        StretchEngine engine = StretchEngine::Faster)
        : m_ring(2 * static_cast<size_t>(kRate) * 4),
          m_render(kRate, engine),
          m_timeline(kRate, m_ring,
                     [this](const TrackTuning&) -> TrackRender& { return m_render; }) {
        std::string error;
        m_decoder = Mp3Decoder::open(path, error);
        if (!m_decoder || !m_decoder->setOutputRate(kRate, error)) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
            std::exit(1);
        }
        m_render.setDecoder(m_decoder.get());
        m_timeline.setGrid(grid);
        m_timeline.setTuning({speed, 0, 0});
    }
    TrackTimeline& timeline() { return m_timeline; }
    // Frames of the stream by which the stretcher plays a beat ahead of its place.
    double lead() const { return m_render.transientLead(); }

    // Calls each(streamFrame, sample, trackFrame) for every frame of the next `frames`.
    template <typename Each>
    void play(int64_t frames, Each each) {
        std::vector<float> block(2 * kBlock);
        std::vector<int64_t> positions(kBlock);
        for (int64_t done = 0; done < frames; done += kBlock) {
            while (m_timeline.wantsChunk()) {
                m_timeline.renderChunk();
            }
            const auto at = static_cast<int64_t>(m_ring.readCount() / 2);
            for (int i = 0; i < kBlock; ++i) {
                positions[static_cast<size_t>(i)] = m_timeline.positionAt(at + i);
            }
            std::fill(block.begin(), block.end(), 0.0f);
            m_ring.readAdding(block.data(), block.size());
            for (int i = 0; i < kBlock; ++i) {
                each(at + i, block[2 * static_cast<size_t>(i)], positions[static_cast<size_t>(i)]);
            }
        }
    }

private:
    SampleRing m_ring;
    std::unique_ptr<Mp3Decoder> m_decoder;
    TrackRender m_render;
    TrackTimeline m_timeline;
};

// A click's onset: the first frame above a level after 20 ms below it. Over silence the least
// sound will do; the track's own ticks come through the MP3 coder with a pre-echo of some
// milliseconds far below their peak, so they are taken at a tenth of a click's level.
class Onsets {
public:
    explicit Onsets(float level = 1e-3f) : m_level(level) {}
    bool heard(int64_t frame, float sample) {
        const bool loud = std::abs(sample) > m_level;
        const bool onset = loud && frame - m_lastLoud > kRate / 50;
        if (loud) {
            m_lastLoud = frame;
        }
        return onset;
    }

private:
    float m_level;
    int64_t m_lastLoud = -kRate;
};

// The track's ticks as heard through the stretcher, each where it first reaches a fraction of its
// own loudest within 30 ms of where it rises from silence: the stretcher changes a tick's peak,
// and the MP3 coder's pre-echo, which it stretches too, reaches an eighth of it a few
// milliseconds before the tick.
class TickFinder {
public:
    explicit TickFinder(double fraction) : m_fraction(fraction) {}
    double fraction() const { return m_fraction; }
    void heard(int64_t frame, float sample) {
        const float level = std::abs(sample);
        if (m_window.empty() && level > 0.02f && frame - m_lastLoud > kRate / 50) {
            m_start = frame;
        }
        if (level > 0.02f) {
            m_lastLoud = frame;
        }
        if (m_start < 0) {
            return;
        }
        m_window.push_back(level);
        if (m_window.size() == static_cast<size_t>(kRate * 3 / 100)) {
            const float loudest = *std::max_element(m_window.begin(), m_window.end());
            const auto reached = std::find_if(m_window.begin(), m_window.end(),
                                              [&](float x) { return x >= m_fraction * loudest; });
            m_ticks.push_back(static_cast<double>(m_start + (reached - m_window.begin())));
            m_window.clear();
            m_start = -1;
        }
    }
    // A frame of the stream against the nearest tick, in milliseconds (+ is after it).
    double msFromNearest(double frame) const {
        const auto after = std::lower_bound(m_ticks.begin(), m_ticks.end(), frame);
        double nearest = after != m_ticks.end() ? *after : m_ticks.back();
        if (after != m_ticks.begin() && frame - *(after - 1) < std::abs(nearest - frame)) {
            nearest = *(after - 1);
        }
        return 1000.0 * (frame - nearest) / kRate;
    }

private:
    double m_fraction;
    std::vector<float> m_window;
    std::vector<double> m_ticks;
    int64_t m_start = -1;
    int64_t m_lastLoud = -kRate;
};

struct Spread {
    double worst = 0, sum = 0;
    int count = 0;
    void add(double ms) {
        worst = std::max(worst, std::abs(ms));
        sum += std::abs(ms);
        ++count;
    }
};

struct Mean {
    double sum = 0, squares = 0;
    int count = 0;
    void add(double x) {
        sum += x;
        squares += x * x;
        ++count;
    }
    double mean() const { return sum / count; }
    double sd() const { return std::sqrt(std::max(0.0, squares / count - mean() * mean())); }
};

// Ticks 0.30-0.45 s apart at random, so that they fall anywhere in the stretcher's hops, coded
// as MP3 as a song's file is; the render starts 0.3 s before the first, as a pass does. Each
// tick is found in the output where it first reaches half, and an eighth, of its loudest within
// 40 ms of its place.
void leadFigures() {
    constexpr int kFileRate = 44100;
    constexpr double kSeconds = 16, kStart = 0.2;
    std::vector<int16_t> stereo(2 * static_cast<size_t>(kSeconds * kFileRate));
    std::vector<double> ticks;  // seconds
    std::mt19937 random(5);
    std::uniform_real_distribution<double> apart(0.30, 0.45);
    for (double at = kStart + 0.3; at < kSeconds - 0.5; at += apart(random)) {
        const auto first = static_cast<size_t>(std::llround(at * kFileRate));
        ticks.push_back(static_cast<double>(first) / kFileRate);
        for (size_t i = 0; i < kFileRate / 50; ++i) {
            const double u = static_cast<double>(i) / kFileRate;
            const double value = 0.8 * std::exp(-u / 0.003) * std::sin(2 * M_PI * 2500 * u + 1);
            stereo[2 * (first + i)] = stereo[2 * (first + i) + 1] =
                static_cast<int16_t>(std::lround(32767 * value));
        }
    }
    const std::string path = bench::encodeMp3("rz77-grid-bench-lead", stereo);
    std::printf(
        "the stretcher's lead: a tick's onset against its place, in ms (+ is late), mean"
        " (sd) of %zu MP3 ticks, against the lead the click is placed by\n",
        ticks.size());
    for (const int rate : {44100, 48000}) {
        for (const StretchEngine engine : {StretchEngine::Finer, StretchEngine::Faster}) {
            for (int percent = 25; percent <= 150; percent += 5) {
                if (percent == 100) {
                    continue;  // the track goes through untouched
                }
                const double speed = percent / 100.0;
                std::string error;
                auto decoder = Mp3Decoder::open(path, error);
                if (!decoder || !decoder->setOutputRate(rate, error)) {
                    std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
                    std::exit(1);
                }
                TrackRender render(rate, engine);
                render.setDecoder(decoder.get());
                const double startFrame = std::round(kStart * rate);
                render.start(static_cast<int64_t>(startFrame), {speed, 0, 0});
                std::vector<float> out(2 * static_cast<size_t>((kSeconds - kStart) * rate / speed));
                int64_t made = 0;
                for (int got = 1; got > 0 && made < static_cast<int64_t>(out.size() / 2);
                     made += got) {
                    got = render.render(out.data() + 2 * made,
                                        static_cast<int>(std::min<int64_t>(
                                            1024, static_cast<int64_t>(out.size() / 2) - made)));
                }
                Mean half, eighth;
                for (const double tick : ticks) {
                    const double place = (tick * rate - startFrame) / speed;
                    const auto from = std::max<int64_t>(0, std::llround(place - 0.04 * rate));
                    const auto to = std::min<int64_t>(made, std::llround(place + 0.04 * rate));
                    float loudest = 0;
                    for (int64_t i = from; i < to; ++i) {
                        loudest = std::max(loudest, std::abs(out[2 * static_cast<size_t>(i)]));
                    }
                    const auto reaches = [&](float level) {
                        int64_t i = from;
                        while (i < to && std::abs(out[2 * static_cast<size_t>(i)]) < level) {
                            ++i;
                        }
                        return 1000.0 * (static_cast<double>(i) - place) / rate;
                    };
                    half.add(reaches(loudest / 2));
                    eighth.add(reaches(loudest / 8));
                }
                std::printf(
                    "  %d Hz %-6s %3d %%: at half %+7.2f (%.2f), at an eighth %+7.2f (%.2f);"
                    " placed by %+7.2f\n",
                    rate, engine == StretchEngine::Finer ? "finer" : "faster", percent, half.mean(),
                    half.sd(), eighth.mean(), eighth.sd(), -1000.0 * render.transientLead() / rate);
                std::fflush(stdout);
            }
        }
    }
}

void countInFigures(const std::string& track, const BeatGrid& grid) {
    const double speeds[] = {0.25, 0.5, 1.0, 1.5};
    const int loopFrom = 3, loopBars = 2;
    for (const double speed : speeds) {
        Run run(track, grid, speed);
        TrackTimeline& timeline = run.timeline();
        const double from = BeatGrids::barTime(grid, loopFrom);
        const double to = BeatGrids::barTime(grid, loopFrom + loopBars);
        timeline.setLoop(TrackTimeline::Loop{std::llround(from * kRate), std::llround(to * kRate)});
        timeline.setCountIn(120);  // the typed tempo, which the grid's own replaces
        timeline.rewind(true);

        // The downbeats counted into: the track's first, then the loop's at every pass.
        const double firstDownbeat = grid.beats[static_cast<size_t>(grid.firstDownbeat)] * kRate;
        Onsets onsets;
        std::vector<int64_t> clicks;
        Spread start, seams;
        int64_t lastPosition = 0;
        bool waiting = true;  // for the downbeat of this pass
        double downbeat = firstDownbeat;
        const auto passes = 6;
        const auto passFrames =
            static_cast<int64_t>((to - from) / speed * kRate + 4 * kRate / speed);
        run.play(passFrames * passes, [&](int64_t frame, float sample, int64_t position) {
            if (position < lastPosition) {  // a seam: the next pass counts into the loop's one
                waiting = true;
                downbeat = BeatGrids::countInFor(grid, from, to).downbeat * kRate;
                clicks.clear();
            }
            lastPosition = position;
            if (onsets.heard(frame, sample) && waiting) {
                clicks.push_back(frame);
            }
            // The count-in holds the track at the pass's start: the frame that plays the
            // downbeat is found from a tenth of a second on, where the track plays on steadily.
            const double past = 0.1 * speed * kRate;
            if (waiting && static_cast<double>(position) >= downbeat + past && clicks.size() >= 4) {
                waiting = false;
                const double played =
                    static_cast<double>(frame) - (static_cast<double>(position) - downbeat) / speed;
                const auto n = clicks.size();
                const double beat = static_cast<double>(clicks[n - 1] - clicks[n - 4]) / 3;
                // The onset is one frame after the click's start, which is a zero crossing.
                const double nextOne = static_cast<double>(clicks[n - 1] - 1) + beat;
                const double ms = 1000.0 * (played - nextOne) / kRate;
                (downbeat == firstDownbeat ? start : seams).add(ms);
                clicks.clear();
            }
        });
        std::printf(
            "count-in at %3.0f %%: track start %+.3f ms; %d seams: worst %.3f ms, mean %.3f ms"
            "   target <= 5 ms\n",
            100 * speed, start.count ? start.worst : NAN, seams.count, seams.worst,
            seams.count ? seams.sum / seams.count : NAN);
    }
}

// As heard: the track's tick on the loop's downbeat against the count-in's next one, through the
// finer stretcher (which the program chooses on this machine) and the fade-in after a count-in.
// The count-in's clicks sound over silence and are taken at their first frame, the last three of
// them (the first may follow the pass before with no pause); the track's tick where it reaches
// an eighth of its peak, as the stretcher and the MP3 coder smear some of it ahead of itself.
void heardCountInFigures(const std::string& ticks, const BeatGrid& grid) {
    for (const double speed : {0.25, 0.5, 1.0, 1.5}) {
        Run run(ticks, grid, speed, StretchEngine::Finer);
        const double from = BeatGrids::barTime(grid, 3), to = BeatGrids::barTime(grid, 5);
        const int64_t fromFrame = std::llround(from * kRate);
        run.timeline().setLoop(TrackTimeline::Loop{fromFrame, std::llround(to * kRate)});
        run.timeline().setCountIn(120);
        run.timeline().rewind(true);
        Onsets clickOnsets, tickOnsets(0.1f);
        std::vector<int64_t> clicks, tickHeard;  // since the last seam
        std::optional<int64_t> trackFrom;        // where the pass's track begins
        bool seamed = false;  // the track's start counts in over the upbeat's ticks: left out
        Spread error;
        double signedSum = 0;
        const auto measure = [&] {
            if (!seamed || !trackFrom || clicks.size() < 3) {
                return;
            }
            const auto counted = std::count_if(clicks.begin(), clicks.end(),
                                               [&](int64_t c) { return c < *trackFrom - 240; });
            const auto tick = std::find_if(tickHeard.begin(), tickHeard.end(),
                                           [&](int64_t t) { return t >= *trackFrom - 720; });
            if (counted < 3 || tick == tickHeard.end()) {
                return;
            }
            const auto last = static_cast<size_t>(counted) - 1;
            const double one = static_cast<double>(clicks[last]) +
                               static_cast<double>(clicks[last] - clicks[last - 2]) / 2;
            const double ms = 1000.0 * (static_cast<double>(*tick) - one) / kRate;
            error.add(ms);
            signedSum += ms;
        };
        int64_t lastPosition = 0;
        const auto passFrames = static_cast<int64_t>((to - from + 2) / speed * kRate);
        run.play(passFrames * 6, [&](int64_t frame, float sample, int64_t position) {
            if (position < lastPosition) {
                measure();
                seamed = true;
                clicks.clear();
                tickHeard.clear();
                trackFrom.reset();
            }
            if (!trackFrom && position > fromFrame && lastPosition == fromFrame) {
                trackFrom = frame - 4;  // a few frames play the pass's first track frame
            }
            lastPosition = position;
            if (clickOnsets.heard(frame, sample)) {
                clicks.push_back(frame - 1);  // a click starts with a zero
            }
            if (tickOnsets.heard(frame, sample)) {
                tickHeard.push_back(frame);
            }
        });
        std::printf(
            "heard count-in at %3.0f %%: %d seams, the track's tick %+.2f ms (mean) from"
            " the count-in's one, worst %.2f ms   target <= 5 ms\n",
            100 * speed, error.count, error.count ? signedSum / error.count : NAN, error.worst);
    }
}

// The song's click over the silent track, each onset against the grid's beat at the track's
// frame it sounds at, less the stretcher's lead where the click is placed by it (every beat but
// the one the pass starts on); and the same loop over the ticking track without the click, each
// click against the nearest tick heard there (the timeline places both runs' frames alike). The
// click as it was placed before, on the grid's beat, is the same onset moved back by what the
// first run found.
void clickFigures(const std::string& silence, const std::string& ticks, const BeatGrid& grid,
                  double speed) {
    const int seams = 100;
    const double from = BeatGrids::barTime(grid, 3), to = BeatGrids::barTime(grid, 4);
    const auto frames = static_cast<int64_t>(((seams + 0.5) * (to - from) + from) / speed * kRate);
    const auto loopOn = [&](Run& run) {
        run.timeline().setLoop(
            TrackTimeline::Loop{std::llround(from * kRate), std::llround(to * kRate)});
        run.timeline().rewind(true);
    };

    Run clicking(silence, grid, speed, StretchEngine::Finer);
    clicking.timeline().setSongClick(TrackTimeline::SongClick{{0.5f, 0.3f, 0.3f, 0.3f}});
    loopOn(clicking);
    const double lead = clicking.lead();
    const long passBeat = BeatGrids::nearestBeat(grid, from);
    Onsets onsets;
    Spread placed;
    std::vector<int64_t> clicks;
    std::vector<double> shifts;  // stream frames from the grid's beat
    int seen = 0, wrongPasses = 0, inPass = 0;
    int64_t lastPosition = 0;
    clicking.play(frames, [&](int64_t frame, float sample, int64_t position) {
        if (position < lastPosition) {
            wrongPasses += seen > 0 && inPass != grid.beatsPerBar ? 1 : 0;
            ++seen;
            inPass = 0;
        }
        lastPosition = position;
        if (onsets.heard(frame, sample)) {
            // The onset is a frame after the click's start.
            const double heardAt = static_cast<double>(position) - speed;
            const long beat = BeatGrids::nearestBeat(grid, heardAt / kRate);
            const double shift = (heardAt - BeatGrids::beatTime(grid, beat) * kRate) / speed;
            // The first pass starts from the track's start, the others from the loop's one.
            const double expected = beat == passBeat && seen > 0 ? 0.0 : -lead;
            placed.add(1000.0 * (shift - expected) / kRate);
            clicks.push_back(frame - 1);
            shifts.push_back(shift);
            ++inPass;
        }
    });

    Run ticking(ticks, grid, speed, StretchEngine::Finer);
    loopOn(ticking);
    TickFinder halves(0.5), eighths(0.125);
    ticking.play(frames, [&](int64_t frame, float sample, int64_t) {
        halves.heard(frame, sample);
        eighths.heard(frame, sample);
    });
    std::printf(
        "click at %3.0f %%, %d seams of a one-bar loop: %d clicks, %d passes without their"
        " %d; placed %.3f ms at worst from the grid's beat less the lead (%.2f ms)\n",
        100 * speed, seen, placed.count, wrongPasses, grid.beatsPerBar, placed.worst,
        1000.0 * lead / kRate);
    for (const TickFinder* finder : {&halves, &eighths}) {
        Spread heard, before;
        double heardSum = 0, beforeSum = 0;
        for (size_t i = 0; i < clicks.size(); ++i) {
            const double now = finder->msFromNearest(static_cast<double>(clicks[i]));
            const double was = finder->msFromNearest(static_cast<double>(clicks[i]) - shifts[i]);
            heard.add(now);
            before.add(was);
            heardSum += now;
            beforeSum += was;
        }
        std::printf(
            "  against the track's ticks at %s their peak: %+.2f ms (mean), worst %.2f ms;"
            " placed on the grid's beat %+.2f ms (mean), worst %.2f ms%s\n",
            finder->fraction() == 0.5 ? "half" : "an eighth of", heardSum / heard.count,
            heard.worst, beforeSum / before.count, before.worst,
            finder->fraction() == 0.5 ? "   target <= 2 ms" : "");
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    const auto wanted = [&](const char* part) { return only.empty() || only == part; };
    if (wanted("lead")) {
        leadFigures();
    }
    const std::string track = silentTrack();
    const BeatGrid grid = jitteredGrid();
    const std::string ticks = tickTrack(grid);
    std::printf("track_grid_bench: %d Hz, 120 BPM grid with +-4 ms jitter, two beats of upbeat\n",
                kRate);
    if (wanted("countin")) {
        countInFigures(track, grid);
        heardCountInFigures(ticks, grid);
    }
    if (wanted("click")) {
        for (const double speed : {0.25, 0.5, 1.0, 1.5}) {
            clickFigures(track, ticks, grid, speed);
        }
    }
}
