#include "analysis/TuningEstimate.h"

#include <cmath>

TuningEstimate::TuningEstimate()
    : m_peaks([this](double hz, double weight) { vote(hz, weight); }) {}

void TuningEstimate::vote(double hz, double weight) {
    const double semitones = 12 * std::log2(hz / 440.0);
    const double angle = 2 * M_PI * (semitones - std::round(semitones));
    m_sumCos += weight * std::cos(angle);
    m_sumSin += weight * std::sin(angle);
    m_sumWeight += weight;
}

std::optional<double> TuningEstimate::cents() const {
    // Votes scattered evenly round the circle (drums, noise) leave a short mean: no tuning.
    constexpr double kLeastAgreement = 0.25;
    constexpr double kLeastVotes = 20;
    if (m_sumWeight < kLeastVotes)
        return std::nullopt;
    if (std::hypot(m_sumCos, m_sumSin) < kLeastAgreement * m_sumWeight)
        return std::nullopt;
    return 100 * std::atan2(m_sumSin, m_sumCos) / (2 * M_PI);
}
