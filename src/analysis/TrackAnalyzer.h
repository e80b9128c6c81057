#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "analysis/GridRecord.h"
#include "analysis/TrackAnalysis.h"

// Finds a track's beats, bars, tempo, tuning and key on a thread of its own at the lowest
// priority while the track plays, and keeps them per track (tracks/<trackKey>.grid) with the
// user's corrections, so that opening the track again gives them at once. Every member may be
// called from any thread.
class TrackAnalyzer {
public:
    explicit TrackAnalyzer(std::string keptDir);  // the tracks/ folder
    ~TrackAnalyzer();
    TrackAnalyzer(const TrackAnalyzer&) = delete;
    TrackAnalyzer& operator=(const TrackAnalyzer&) = delete;

    // In the background; a kept analysis at once; cancels the one before.
    void analyse(const std::string& path);
    double progress() const;  // 0..1
    // For the last path, once done; the grid is the user's corrected one when there is one.
    std::optional<TrackAnalysis> result() const;
    // The user's corrections, kept with the analysis (ignored before the analysis is done).
    void keepCorrected(const BeatGrid& grid);
    void cancel();
    // Why the last path has no result: empty while it is being analysed or once it has one.
    std::string error() const;

private:
    struct Job {
        std::string path;
        std::string recordPath;
        uint64_t generation = 0;
    };
    void work();
    void run(const Job& job);
    void finish(const Job& job, std::optional<TrackAnalysis> analysis);
    bool isCurrent(uint64_t generation) const { return m_generation.load() == generation; }
    void keep(const std::string& recordPath);
    void write(const std::string& recordPath, const KeptAnalysis& kept);

    const std::string m_keptDir;
    mutable std::mutex m_mutex;
    std::mutex m_writeMutex;
    std::condition_variable m_wake;
    std::optional<Job> m_pending;
    std::optional<KeptAnalysis> m_kept;
    std::string m_recordPath;  // of the last path; empty when it is not to be written
    std::string m_error;
    bool m_stopping = false;
    std::atomic<uint64_t> m_generation{0};
    std::atomic<double> m_progress{0};
    std::thread m_worker;
};
