// Where the track page's count-in and the click on the song's beats land, on the rendered output
// in frame counts. The timeline is driven offline, as the player's worker drives it, over a
// silent MP3 (so that only the clicks sound) with a beat grid of its own: 120 BPM with a few
// milliseconds of jitter, two beats of upbeat, 4/4.
//
// count-in: the count-in's next one (its last click plus one of its beats, from its own clicks'
//   onsets) against the stream frame where the track reaches the downbeat it counts into; at the
//   track's start and at each of a loop's seams.
// click: every onset of the song's click, mapped to the track's frame it sounds at, against the
//   nearest beat of the grid, through 100 seams of a one-bar loop at 50 %.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
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
    Run(const std::string& path, const BeatGrid& grid, double speed)
        : m_ring(2 * static_cast<size_t>(kRate) * 4),
          m_render(kRate, StretchEngine::Faster),
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

// A click's onset: the first frame heard after 20 ms of silence.
class Onsets {
public:
    bool heard(int64_t frame, float sample) {
        const bool loud = std::abs(sample) > 1e-3f;
        const bool onset = loud && frame - m_lastLoud > kRate / 50;
        if (loud) {
            m_lastLoud = frame;
        }
        return onset;
    }

private:
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

void clickFigures(const std::string& track, const BeatGrid& grid) {
    const double speed = 0.5;
    const int seams = 100;
    Run run(track, grid, speed);
    TrackTimeline& timeline = run.timeline();
    const double from = BeatGrids::barTime(grid, 3), to = BeatGrids::barTime(grid, 4);
    timeline.setLoop(TrackTimeline::Loop{std::llround(from * kRate), std::llround(to * kRate)});
    timeline.setSongClick(TrackTimeline::SongClick{{0.5f, 0.3f, 0.3f, 0.3f}});
    timeline.rewind(true);
    Onsets onsets;
    Spread error;
    int seen = 0, missing = 0;
    int64_t lastPosition = 0, lastOnsetPosition = -1;
    const auto frames = static_cast<int64_t>(((seams + 0.5) * (to - from) + from) / speed * kRate);
    run.play(frames, [&](int64_t frame, float sample, int64_t position) {
        if (position < lastPosition) {
            ++seen;
        }
        lastPosition = position;
        if (onsets.heard(frame, sample)) {
            // The onset is a frame after the click's start.
            const double heardAt = static_cast<double>(position) - speed;
            const long beat = BeatGrids::nearestBeat(grid, heardAt / kRate);
            const double beatFrame = BeatGrids::beatTime(grid, beat) * kRate;
            error.add(1000.0 * (heardAt - beatFrame) / speed / kRate);
            if (lastOnsetPosition >= 0 && beatFrame - lastOnsetPosition > 0.75 * kRate) {
                ++missing;  // a beat with no click (beats are 0.5 s apart in the track)
            }
            lastOnsetPosition = static_cast<int64_t>(beatFrame);
        }
    });
    std::printf(
        "click at 50 %%, %d seams of a one-bar loop: %d clicks, worst %.3f ms, mean %.3f ms "
        "from the grid's beat, %d beats missed   target <= 2 ms\n",
        seen, error.count, error.worst, error.sum / error.count, missing);
}

}  // namespace

int main() {
    const std::string track = silentTrack();
    const BeatGrid grid = jitteredGrid();
    std::printf("track_grid_bench: %d Hz, 120 BPM grid with +-4 ms jitter, two beats of upbeat\n",
                kRate);
    countInFigures(track, grid);
    clickFigures(track, grid);
}
