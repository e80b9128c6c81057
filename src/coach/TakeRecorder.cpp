#include "coach/TakeRecorder.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>

namespace Coach {

namespace {
// The writer wakes this often; the ring holds far more than comes in meanwhile.
constexpr auto kWriterWake = std::chrono::milliseconds(100);
constexpr size_t kRingSeconds = 4;
}  // namespace

TakeRecorder::TakeRecorder(int sampleRate, int64_t longestFrames)
    : m_rate(sampleRate), m_longest(longestFrames) {}

TakeRecorder::~TakeRecorder() {
    finish();
}

bool TakeRecorder::start(const std::string& path, std::string& error) {
    finish();
    if (!m_ring) {
        m_ring = std::make_unique<SampleRing>(kRingSeconds * static_cast<size_t>(m_rate));
        m_chunk.resize(kChunk);
    }
    m_ring->clear();
    while (m_marks.take()) {
    }
    SF_INFO info{};
    info.samplerate = m_rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    m_file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (m_file == nullptr) {
        error = sf_strerror(nullptr);
        return false;
    }
    m_take = {};
    m_take.path = path;
    m_take.rate = m_rate;
    m_accepted = 0;
    m_full = m_overrun = m_finishing = false;
    m_writer = std::thread([this] {
        while (!m_finishing.load(std::memory_order_acquire)) {
            drain();
            std::this_thread::sleep_for(kWriterWake);
        }
        drain();
    });
    return true;
}

// A block that finds the ring full ends the recording there rather than leave a hole, which
// would put everything after it out of step with the grid.
void TakeRecorder::write(const float* samples, size_t count) {
    if (m_full.load(std::memory_order_relaxed) || m_overrun.load(std::memory_order_relaxed)) {
        return;
    }
    const size_t room = static_cast<size_t>(m_longest - m_accepted);
    const size_t taken = std::min(count, room);
    if (m_ring->space() < taken) {
        m_overrun.store(true, std::memory_order_relaxed);
        return;
    }
    m_ring->write(samples, taken);
    m_accepted += static_cast<int64_t>(taken);
    if (taken < count) {
        m_full.store(true, std::memory_order_relaxed);
    }
}

void TakeRecorder::mark(const GridPoint& point, bool beginsTake) {
    m_marks.post({point, beginsTake});  // 256 deep against a writer that takes them every 0.1 s
}

// The writer thread.
void TakeRecorder::drain() {
    for (;;) {
        std::fill(m_chunk.begin(), m_chunk.end(), 0.0f);
        const size_t count = m_ring->readAdding(m_chunk.data(), m_chunk.size());
        if (count == 0) {
            break;
        }
        if (m_take.ending == RecordedTake::Ending::WriteFailed) {
            continue;  // the rest is let go
        }
        const sf_count_t written = sf_writef_float(m_file, m_chunk.data(), sf_count_t(count));
        m_take.frames += written;
        if (written != sf_count_t(count)) {
            m_take.ending = RecordedTake::Ending::WriteFailed;
            m_take.error = sf_strerror(m_file);
        }
    }
    drainMarks();
}

void TakeRecorder::drainMarks() {
    while (const auto mark = m_marks.take()) {
        if (mark->beginsTake) {
            m_take.grid.clear();
        }
        m_take.grid.push_back(mark->point);
    }
}

RecordedTake TakeRecorder::finish() {
    if (!recording()) {
        return {};
    }
    m_finishing.store(true, std::memory_order_release);
    m_writer.join();
    sf_close(m_file);
    m_file = nullptr;
    if (m_take.ending != RecordedTake::Ending::WriteFailed) {
        m_take.ending = m_overrun ? RecordedTake::Ending::Overrun
                        : m_full  ? RecordedTake::Ending::Full
                                  : RecordedTake::Ending::Stopped;
    }
    // The grid goes on past the end of a full recording; what is past it has nothing to mix.
    const double end = double(m_take.frames) / m_rate;
    std::erase_if(m_take.grid, [end](const GridPoint& point) { return point.at >= end; });
    return std::move(m_take);
}

}  // namespace Coach
