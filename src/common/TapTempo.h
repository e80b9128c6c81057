#pragma once

#include <optional>
#include <vector>

// A tempo from taps along with the music: the mean interval of the taps in the current series.
// A pause of two seconds ends a series; a tap more than 30 % off the running interval starts a
// new one from the tap before it, and two in a row more than 12 % off it the same way carry the
// series over to the new tempo.
class TapTempo {
public:
    static constexpr double kSeriesEndsSeconds = 2.0;
    static constexpr double kMostOff = 0.3;
    static constexpr double kChange = 0.12;
    static constexpr double kFastestBpm = 300;
    static constexpr double kSlowestBpm = 20;

    // A tap at a time in seconds: the tempo in beats per minute once the series has two taps,
    // none for a tap too soon after the last to be a beat.
    std::optional<double> tap(double seconds);

    // What the last tap was, for a word to the user when it gave no tempo.
    enum class Kind { Beat, First, TooFast, TooSlow };
    Kind lastKind() const { return m_kind; }

private:
    bool changedTempo(double interval) const;

    Kind m_kind = Kind::First;
    std::vector<double> m_intervals;
    std::optional<double> m_last;
};
