#pragma once

#include <optional>

// Keeps the audio queued at the sound server steady although the server's clock (a sound card's
// crystal, or a sink that rounds its timing) runs a little faster or slower than ours. Told the
// mean latency once a second, it answers how many frames per frame to leave out of the stream:
// positive queues less, negative more.
class DriftFollower {
public:
    // The latency the stream settled at is the one it keeps; a sudden step (the server changing
    // its own latency) becomes the new one to keep.
    double update(double meanLatencySeconds);
    // The latency to keep from now on, once the stream has been brought to it.
    void settleAt(double latencySeconds) { m_settled = m_last = latencySeconds; }
    double rate() const { return m_rate; }

private:
    std::optional<double> m_settled;
    std::optional<double> m_last;
    double m_rate = 0;
};
