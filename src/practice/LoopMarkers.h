#pragma once

#include <optional>
#include <utility>

// The A and B markers of a loop on a track, and whether the loop is on. Markers stay on the
// track, A stays before B (a B set before A swaps them), and a loop shorter than the shortest
// one, or a marker that is no time at all (not a number, infinite), is refused: the markers stay
// as they were.
class LoopMarkers {
public:
    static constexpr double kShortestSeconds = 0.05;

    void setLength(double seconds);
    void clear();
    // False when the loop would be too short.
    bool setA(double seconds);
    // Setting the end of a loop is asking for it: the loop goes on once A is set too.
    bool setB(double seconds);
    // Both at once, in either order (a drag across the track); the loop goes on.
    bool setBoth(double one, double other);
    void toggle();

    const std::optional<double>& a() const { return m_a; }
    const std::optional<double>& b() const { return m_b; }
    bool on() const { return m_on; }
    // From and to, while the loop is on.
    std::optional<std::pair<double, double>> loop() const;

private:
    bool place(std::optional<double> a, std::optional<double> b);
    double onTrack(double seconds) const;

    double m_length = 0;
    std::optional<double> m_a, m_b;
    bool m_on = false;
};
