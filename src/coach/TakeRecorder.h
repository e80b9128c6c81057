#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/SampleRing.h"
#include "coach/HandOver.h"
#include "coach/TimingGrid.h"

typedef struct sf_private_tag SNDFILE;

// The take as the coach heard it, kept in a WAV file (mono, 32-bit float: what the server gave,
// nothing clipped). The capture thread hands each block over through a ring allocated before the
// first take (none while the coach is off), and a writer thread of the recorder's own drains it
// into the file with libsndfile, so the capture thread never allocates, locks or waits. The
// grid's positions come the same way, each at its place on the stream's timeline, which is the
// file's: sample n of the file is sample n the analyser was fed. Bounded: past its longest the
// file ends and the listening goes on.
namespace Coach {

struct RecordedTake {
    enum class Ending { Stopped, Full, Overrun, WriteFailed };
    std::string path;  // empty when nothing was recorded
    int rate = 0;
    int64_t frames = 0;
    // The positions of the last run of the grid (since the last one that began a take), on the
    // file's timeline.
    std::vector<GridPoint> grid;
    Ending ending = Ending::Stopped;
    std::string error;
};

class TakeRecorder {
public:
    TakeRecorder(int sampleRate, int64_t longestFrames);
    ~TakeRecorder();
    TakeRecorder(const TakeRecorder&) = delete;
    TakeRecorder& operator=(const TakeRecorder&) = delete;

    // While nothing feeds it: a fresh file at `path`, replacing what was there. False, with
    // `error` set, when it cannot be made.
    bool start(const std::string& path, std::string& error);
    bool recording() const { return m_writer.joinable(); }

    // The feeding thread.
    void write(const float* samples, size_t count);
    // A position of the grid on the stream's timeline; the first of a fresh run of the grid
    // begins a new take within the file.
    void mark(const GridPoint& point, bool beginsTake);

    // Once the feeding has stopped: the rest written, the file closed.
    RecordedTake finish();

private:
    struct Mark {
        GridPoint point;
        bool beginsTake;
    };
    void drain();
    void drainMarks();

    static constexpr size_t kChunk = 4096;
    int m_rate;
    int64_t m_longest;
    std::unique_ptr<SampleRing> m_ring;
    HandOver<Mark, 256> m_marks;
    std::thread m_writer;
    std::atomic<bool> m_finishing{false};
    // The feeding thread's: how much was taken into the ring.
    int64_t m_accepted = 0;
    std::atomic<bool> m_full{false}, m_overrun{false};
    // The writer thread's, handed over when it is joined.
    SNDFILE* m_file = nullptr;
    std::vector<float> m_chunk;
    RecordedTake m_take;
};

}  // namespace Coach
