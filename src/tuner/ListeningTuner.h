#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "audio/CaptureStream.h"
#include "tuner/PitchDetector.h"

// The sound input measured as it comes in: the capture thread feeds the detector and keeps its
// latest reading, which any other thread may take at any time.
class ListeningTuner {
public:
    ListeningTuner();
    ~ListeningTuner();
    ListeningTuner(const ListeningTuner&) = delete;
    ListeningTuner& operator=(const ListeningTuner&) = delete;

    // Listens to the default input from a fresh start, or goes on listening; a capture that
    // failed is opened again. False when the pitch library cannot be opened (see missingLibrary).
    bool listen();
    void stop();

    struct Reading {
        double hz;
        bool stable;
    };
    // What the input sounds now; none while nothing clear sounds or the capture is not listening.
    std::optional<Reading> latest() const;
    CaptureStream::State state() const { return m_capture.state(); }
    std::string error() const { return m_capture.error(); }
    // Why the pitch library could not be opened; empty while it could, or was never needed.
    const std::string& missingLibrary() const { return m_missingLibrary; }

private:
    void hear(const float* samples, size_t count);

    // Made when listening first starts, so that a session that never listens never loads the
    // pitch library. The capture thread owns it while it runs, and writes the reading.
    std::unique_ptr<PitchDetector> m_detector;
    std::string m_missingLibrary;
    std::atomic<bool> m_heard{false}, m_stable{false};
    std::atomic<double> m_heardHz{0};
    CaptureStream m_capture;
};
