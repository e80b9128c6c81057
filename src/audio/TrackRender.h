#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/TrackTuning.h"

class TrackDecoder;
namespace RubberBand {
class RubberBandStretcher;
}

// The backing track's sound from a frame of the track at a tuning, on the thread that decodes:
// the decoded frames as they are at plain speed and pitch, or through Rubber Band's real-time
// stretcher, started so that its output lines up with the frame it starts from.
class TrackRender {
public:
    TrackRender(int rate, StretchEngine engine);
    ~TrackRender();
    TrackRender(const TrackRender&) = delete;
    TrackRender& operator=(const TrackRender&) = delete;

    // Which engine keeps up here: the finer one if it takes at most a quarter of a core at half
    // speed, so that a machine that is busy otherwise still has room for it.
    static StretchEngine measureEngine(int rate);
    // The CPU seconds the engine takes per second of sound it makes at half speed.
    static double measureCost(int rate, StretchEngine engine);

    // The decoder is the caller's; nullptr renders nothing.
    void setDecoder(TrackDecoder* decoder);
    void start(int64_t frame, const TrackTuning& tuning);
    // Up to frames frames of interleaved stereo; fewer once the track is over.
    int render(float* interleaved, int frames);
    // The frame of the track the next frame rendered plays, and the one it started from.
    int64_t position() const;
    int64_t startFrame() const { return m_startFrame; }
    // Frames of the output by which a transient after the start frame is heard ahead of its
    // place at this tuning (behind it when negative).
    double transientLead() const;
    const TrackTuning& tuning() const { return m_tuning; }

private:
    int renderStretched(float* interleaved, int frames);
    void feedStretcher(int frames);
    int retrieve(float* interleaved, int frames);

    const int m_rate;
    const StretchEngine m_engine;
    TrackDecoder* m_decoder = nullptr;
    std::unique_ptr<RubberBand::RubberBandStretcher> m_stretcher;
    TrackTuning m_tuning;
    int64_t m_startFrame = 0;
    int64_t m_rendered = 0;    // frames rendered since the start
    int64_t m_endFrame = -1;   // the track's last frame plus one, once the decoder has met it
    int64_t m_inputFrame = 0;  // the frame of the track the stretcher is fed next
    int64_t m_skipOutput = 0;  // the stretcher's start delay still to be dropped
    std::vector<float> m_interleaved, m_left, m_right, m_skipLeft, m_skipRight;
};
