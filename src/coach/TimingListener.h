#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "audio/CaptureStream.h"
#include "coach/HandOver.h"
#include "coach/TakeAnalyser.h"
#include "coach/TakeRecorder.h"

// The coach's ears: the sound input on its capture thread, through the analyser, and into the
// take's file when one is asked for. The grid comes in from the user interface thread and the
// placed notes go back to it through fixed rings, so the capture thread never waits for it, locks
// or allocates.
class TimingListener {
public:
    using TimePoint = Coach::TakeAnalyser::TimePoint;

    TimingListener();
    ~TimingListener();
    TimingListener(const TimingListener&) = delete;
    TimingListener& operator=(const TimingListener&) = delete;

    // The longest a take's file grows: an hour. The listening goes on past it.
    static constexpr int64_t kLongestTakeFrames = int64_t{3600} * CaptureStream::kSampleRate;

    // Listens to the default input from a fresh take, recorded at `takePath` unless it is
    // empty. False when the onset library cannot be opened (see missingLibrary); a take that
    // cannot be recorded is only told (see takeError).
    bool listen(const Coach::TakeAnalyser::Options& options, const std::string& takePath = {});
    // The take's file closed, and what it holds.
    Coach::RecordedTake stop();
    bool listening() const { return m_capture.running(); }

    // A position of the grid and when it is heard; dropped while nothing listens. The first
    // position of a fresh run of the grid begins the take anew in its file.
    void addGridPoint(TimePoint heardAt, const Coach::GridPoint& point, bool beginsTake = false);
    // The output fell silent when this is heard: the clicks sounding then were cut off.
    void outputSilenced(TimePoint heardAt);
    // The next note placed since the last call, oldest first.
    std::optional<Coach::NoteTiming> takeNote();

    CaptureStream::State state() const { return m_capture.state(); }
    std::string error() const { return m_capture.error(); }
    std::string sourceName() const { return m_capture.sourceName(); }
    const std::string& missingLibrary() const { return m_missingLibrary; }
    const std::string& takeError() const { return m_takeError; }
    // How long the server said the input took to hand its last block over, ms.
    double inputLatencyMs() const { return m_inputLatencyMs; }

private:
    struct TimedPoint {
        TimePoint heardAt;
        Coach::GridPoint point;
        bool beginsTake;
        bool silences = false;  // no position: the moment the output fell silent
    };
    void hear(const float* samples, size_t count, TimePoint captured);

    std::unique_ptr<Coach::TakeAnalyser> m_analyser;  // made when first listening
    std::string m_missingLibrary, m_takeError;
    Coach::TakeRecorder m_recorder{CaptureStream::kSampleRate, kLongestTakeFrames};
    HandOver<TimedPoint, 256> m_grid;
    HandOver<Coach::NoteTiming, 256> m_notes;
    std::atomic<double> m_inputLatencyMs{0};
    CaptureStream m_capture;
};
