#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "audio/CaptureStream.h"
#include "coach/HandOver.h"
#include "coach/TakeAnalyser.h"

// The coach's ears: the sound input on its capture thread, through the analyser. The grid comes
// in from the user interface thread and the placed notes go back to it through fixed rings, so
// the capture thread never waits for it, locks or allocates.
class TimingListener {
public:
    using TimePoint = Coach::TakeAnalyser::TimePoint;

    TimingListener();
    ~TimingListener();
    TimingListener(const TimingListener&) = delete;
    TimingListener& operator=(const TimingListener&) = delete;

    // Listens to the default input from a fresh take. False when the onset library cannot be
    // opened (see missingLibrary).
    bool listen(const Coach::TakeAnalyser::Options& options);
    void stop();
    bool listening() const { return m_capture.running(); }

    // A position of the grid and when it is heard; dropped while nothing listens.
    void addGridPoint(TimePoint heardAt, const Coach::GridPoint& point);
    // The next note placed since the last call, oldest first.
    std::optional<Coach::NoteTiming> takeNote();

    CaptureStream::State state() const { return m_capture.state(); }
    std::string error() const { return m_capture.error(); }
    std::string sourceName() const { return m_capture.sourceName(); }
    const std::string& missingLibrary() const { return m_missingLibrary; }
    // How long the server said the input took to hand its last block over, ms.
    double inputLatencyMs() const { return m_inputLatencyMs; }

private:
    struct TimedPoint {
        TimePoint heardAt;
        Coach::GridPoint point;
    };
    void hear(const float* samples, size_t count, TimePoint captured);

    std::unique_ptr<Coach::TakeAnalyser> m_analyser;  // made when first listening
    std::string m_missingLibrary;
    HandOver<TimedPoint, 256> m_grid;
    HandOver<Coach::NoteTiming, 256> m_notes;
    std::atomic<double> m_inputLatencyMs{0};
    CaptureStream m_capture;
};
