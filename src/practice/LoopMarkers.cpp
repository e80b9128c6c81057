#include "practice/LoopMarkers.h"

#include <algorithm>
#include <cmath>

void LoopMarkers::setLength(double seconds) {
    m_length = std::max(seconds, 0.0);
    if (m_a && m_b && !place(onTrack(*m_a), onTrack(*m_b))) {
        clear();  // the track is shorter than the loop that was kept for it
    }
}

void LoopMarkers::clear() {
    m_a.reset();
    m_b.reset();
    m_on = false;
}

bool LoopMarkers::setA(double seconds) {
    return place(onTrack(seconds), m_b);
}

bool LoopMarkers::setB(double seconds) {
    if (!place(m_a, onTrack(seconds))) {
        return false;
    }
    m_on = m_on || m_a.has_value();
    return true;
}

bool LoopMarkers::setBoth(double one, double other) {
    if (!place(onTrack(one), onTrack(other))) {
        return false;
    }
    m_on = true;
    return true;
}

void LoopMarkers::toggle() {
    m_on = !m_on && m_a && m_b;
}

std::optional<std::pair<double, double>> LoopMarkers::loop() const {
    if (!m_on || !m_a || !m_b) {
        return std::nullopt;
    }
    return std::pair(*m_a, *m_b);
}

bool LoopMarkers::place(std::optional<double> a, std::optional<double> b) {
    if ((a && !std::isfinite(*a)) || (b && !std::isfinite(*b))) {
        return false;
    }
    if (a && b) {
        if (std::abs(*b - *a) < kShortestSeconds) {
            return false;
        }
        if (*b < *a) {
            std::swap(a, b);
        }
    }
    m_a = a;
    m_b = b;
    m_on = m_on && m_a && m_b;
    return true;
}

// A track of unknown length (still being scanned) takes any marker at or after its start.
double LoopMarkers::onTrack(double seconds) const {
    return m_length > 0 ? std::clamp(seconds, 0.0, m_length) : std::max(seconds, 0.0);
}
