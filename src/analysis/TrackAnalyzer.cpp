#include "analysis/TrackAnalyzer.h"

#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "analysis/AnalysisLibrary.h"
#include "analysis/TrackDecoding.h"
#include "common/TrackKey.h"
#include "settings/FileReplace.h"

namespace {

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The analysis takes what the playing track, the sound server and the desktop leave.
void lowerThisThreadsPriority() {
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
}

}  // namespace

TrackAnalyzer::TrackAnalyzer(std::string keptDir)
    : m_keptDir(std::move(keptDir)), m_worker([this] { work(); }) {}

TrackAnalyzer::~TrackAnalyzer() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        ++m_generation;
    }
    m_wake.notify_all();
    m_worker.join();
}

void TrackAnalyzer::analyse(const std::string& path) {
    const auto key = trackKey(path);
    const std::string recordPath =
        key ? (std::filesystem::path(m_keptDir) / (*key + ".grid")).string() : "";
    const auto record = key ? readWholeFile(recordPath) : std::nullopt;
    const ReadGridRecord read = record ? parseGridRecord(*record) : ReadGridRecord{};

    std::lock_guard lock(m_mutex);
    const uint64_t generation = ++m_generation;
    m_pending.reset();
    m_kept = read.kept;
    m_error.clear();
    // A record of a later version keeps the user's corrections made there; it is not replaced.
    m_recordPath = read.newerVersion ? "" : recordPath;
    m_progress = m_kept ? 1.0 : 0.0;
    if (!key) {
        m_error = "The track could not be read.";
    } else if (!m_kept) {
        m_pending = Job{path, m_recordPath, generation};
        m_wake.notify_all();
    }
}

double TrackAnalyzer::progress() const {
    return m_progress.load();
}

std::optional<TrackAnalysis> TrackAnalyzer::result() const {
    std::lock_guard lock(m_mutex);
    if (!m_kept)
        return std::nullopt;
    TrackAnalysis analysis = m_kept->analysis;
    if (m_kept->corrected)
        analysis.grid = *m_kept->corrected;
    return analysis;
}

void TrackAnalyzer::keepCorrected(const BeatGrid& grid) {
    std::unique_lock lock(m_mutex);
    if (!m_kept)
        return;
    m_kept->corrected = grid;
    const std::string recordPath = m_recordPath;
    lock.unlock();
    keep(recordPath);
}

void TrackAnalyzer::cancel() {
    std::lock_guard lock(m_mutex);
    ++m_generation;
    m_pending.reset();
}

std::string TrackAnalyzer::error() const {
    std::lock_guard lock(m_mutex);
    return m_error;
}

void TrackAnalyzer::work() {
    lowerThisThreadsPriority();
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || m_pending; });
        if (m_stopping)
            return;
        const Job job = *m_pending;
        m_pending.reset();
        lock.unlock();
        run(job);
        lock.lock();
    }
}

void TrackAnalyzer::run(const Job& job) {
    std::string error;
    const AnalyseTrackFunction analyseTrack = openAnalysisLibrary(error);
    if (!analyseTrack) {
        std::lock_guard lock(m_mutex);
        if (isCurrent(job.generation))
            m_error = error;
        return;
    }
    const SourceOpener open = [&job] { return openTrackForAnalysis(job.path); };
    const AnalysisControl control{[this, &job] { return !isCurrent(job.generation); },
                                  [this, &job](double done) {
                                      // Under the lock, so a cancelled job never overwrites the
                                      // progress of the one after it.
                                      std::lock_guard lock(m_mutex);
                                      if (isCurrent(job.generation))
                                          m_progress = done;
                                  }};
    TrackAnalysis analysis;
    const bool done = analyseTrack(&open, &control, &analysis);
    finish(job, done ? std::optional(std::move(analysis)) : std::nullopt);
}

void TrackAnalyzer::finish(const Job& job, std::optional<TrackAnalysis> analysis) {
    if (!analysis) {
        std::lock_guard lock(m_mutex);
        if (isCurrent(job.generation))
            m_error = "The track could not be read.";
        return;
    }
    const KeptAnalysis kept{std::move(*analysis), std::nullopt};
    // On disk before it is shown, so that whoever sees the result finds it kept; no correction
    // can come before it is shown.
    {
        std::lock_guard writing(m_writeMutex);
        if (isCurrent(job.generation))
            write(job.recordPath, kept);
    }
    std::lock_guard lock(m_mutex);
    if (!isCurrent(job.generation))
        return;
    m_kept = kept;
    m_progress = 1.0;
}

void TrackAnalyzer::keep(const std::string& recordPath) {
    // One writer at a time, each writing what is latest, so an older record never lands last.
    std::lock_guard writing(m_writeMutex);
    std::unique_lock lock(m_mutex);
    if (recordPath != m_recordPath || !m_kept)
        return;
    const KeptAnalysis kept = *m_kept;
    lock.unlock();
    write(recordPath, kept);
}

void TrackAnalyzer::write(const std::string& recordPath, const KeptAnalysis& kept) {
    if (recordPath.empty())
        return;
    try {
        std::filesystem::create_directories(m_keptDir);
        replaceFileContents(recordPath, gridRecordText(kept));
    } catch (const std::exception&) {
        // Not kept: the track is analysed again when it is next opened.
    }
}
