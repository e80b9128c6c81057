#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "audio/BeatGrid.h"
#include "audio/SampleRing.h"
#include "audio/SpeedTrainer.h"
#include "audio/TrackRender.h"

// What the stream plays of a backing track, frame by frame: the sound written into the ring,
// with the loop's seams, the count-in's clicks and the crossfades of changes, and the timeline
// that maps each frame of the stream to a frame of the track. It keeps no thread and no clock:
// its owner decides when to write and where a change begins, and the frame counts decide the
// rest, so it writes the same in virtual time as on the player's worker.
class TrackTimeline {
public:
    // The render for a new stretch of the track at a tuning: the owner may choose its engine.
    using RenderFor = std::function<TrackRender&(const TrackTuning& tuning)>;
    struct Loop {
        int64_t from, to;  // frames of the track
        bool operator==(const Loop&) const = default;
    };
    // Passes of the loop heard from its start to its seam at one speed, none changed on the way.
    struct PassesHeard {
        int count = 0;
        double fastest = 0;  // speed
    };
    // A click on the track's beats as it plays: the level of each beat of the bar (the one first;
    // 0 is silent), and clicks per beat, those between the beats at their own level.
    struct SongClick {
        std::vector<float> beatGains;
        int subdivision = 1;
        float subdivisionGain = 0.15f;
        bool operator==(const SongClick&) const = default;
    };
    // A beat of the track as the stream plays it, or a subdivision the song's click divides it
    // into, whether or not the click sounds on it: the stream frame it is heard on (the
    // stretcher's lead taken in, as the click's is) and its place in the bars.
    struct BeatPlayed {
        int64_t streamFrame;
        int bar;
        int beatInBar;
        int subdivision;     // within the beat, from 0
        double beatSeconds;  // the track's tempo at the speed it plays, in the stream's time
        bool clicked;        // the song's click sounds on it
    };
    // How far ahead of the stream a change is heard: time to render the new sound.
    static constexpr double kChangeLeadSeconds = 0.05;

    TrackTimeline(int streamRate, SampleRing& ring, RenderFor renderFor);

    // A loop too short for its seam is no loop. A new loop, or a trainer changed, starts the
    // trainer's passes anew. True when the loop changed.
    bool setLoop(std::optional<Loop> loop);
    // True when the tuning or the trainer changed: what is in the ring was written without it.
    bool setTuning(const TrackTuning& tuning);
    bool setTrainer(std::optional<SpeedTrainer> trainer);
    // Only a positive tempo counts in: from the next start on, and before each pass of a loop.
    void setCountIn(std::optional<double> beatsPerMinute);
    // With a grid the count-in is a bar at the grid's tempo whose next one is the pass's first
    // downbeat, and the song's click has beats to sound on. True when what is in the ring was
    // written without the change.
    bool setGrid(std::optional<BeatGrid> grid);
    bool setSongClick(std::optional<SongClick> click);

    // From the track's first frame, with the ring emptied: only while nobody reads the ring.
    void rewind(bool hasTrack);
    // Whether the next chunk has room in the ring and something to render.
    bool wantsChunk() const;
    void renderChunk();
    // All that is left of the track is in the ring.
    bool renderedAll() const { return m_renderedAll; }
    // The ring's samples from the fence (or the end of what was written) on are rendered anew,
    // from the frame asked for or from where the stream would have been there; an audible change
    // crossfades from the old sound.
    void rewrite(size_t fence, bool audible, std::optional<int64_t> frame);

    // The frame of the track that a frame of the stream plays, and the speed it plays at.
    int64_t positionAt(int64_t streamFrame) const;
    double speedAt(int64_t streamFrame) const;
    // The whole passes whose seam the stream has reached by the frame, each told once.
    PassesHeard takePassesHeard(int64_t streamFrame);
    // The beats written that the stream plays before the frame, each told once, oldest first.
    std::vector<BeatPlayed> takeBeatsPlayed(int64_t beforeStreamFrame);

private:
    // From a frame of the stream on, the track plays from a frame of its own at a rate of track
    // frames per stream frame (0 in a count-in).
    struct Jump {
        int64_t streamFrame;
        int64_t trackFrame;
        double rate;
        double speed;
    };

    TrackTuning tuningNow() const;
    const Jump* jumpAt(int64_t streamFrame) const;
    void startRender(int64_t frame);
    void startCountIn(double speed, int64_t from);
    void scheduleClick(double streamFrame, float gain);
    void scheduleSongClicks(int64_t from, int64_t to, double speed);
    void tellBeat(double streamFrame, long beat, int subdivision, double speed, bool clicked);
    void put(float* interleaved, int frames);
    void writeSeam();
    void writeCrossfade();
    void writeCountIn();
    void write(float* interleaved, int frames);
    void dropHeardJumps();
    void startPass(int64_t trackFrame);

    const int m_streamRate;
    const int m_seamFrames;
    SampleRing& m_ring;
    RenderFor m_renderFor;
    TrackRender* m_render = nullptr;
    std::vector<float> m_chunk, m_fadeOut, m_fadeIn, m_click;
    std::optional<Loop> m_loop;
    TrackTuning m_tuning;
    std::optional<SpeedTrainer> m_trainer;
    int m_pass = 0;
    std::optional<double> m_countInBpm;
    std::optional<BeatGrid> m_grid;
    double m_gridBeatSeconds = 0;  // at the track's own speed, over the whole grid
    std::optional<SongClick> m_songClick;
    // Clicks placed in the stream and not yet written to its end: allocated once.
    struct Click {
        int64_t at;  // the stream's frame
        float gain;
    };
    std::array<Click, 64> m_clicks{};
    size_t m_clickCount = 0;
    int64_t m_songClicksFrom = 0;  // the stream's frame from which the song's beats click
    int64_t m_countInLeft = 0;     // frames of the count-in still to write
    int m_fadeInAt = -1;           // frames of a fade-in written, while one is under way
    bool m_renderedAll = true;
    std::deque<Jump> m_jumps;
    // A pass ends at its seam: the stream frame where the seam begins, and the pass's speed.
    struct PassEnd {
        int64_t streamFrame;
        double speed;
    };
    bool m_wholePass = false;        // the pass being written began at or before the loop's start
    std::deque<PassEnd> m_passEnds;  // written, not yet told
    std::deque<BeatPlayed> m_beatsPlayed;  // written, not yet told
};
