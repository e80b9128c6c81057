#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <string>

// What the metronome trainer plays: bars with marked beats, subdivisions of each beat (with
// swing for eighths), a tempo trainer that steps the tempo every few bars and a gap trainer that
// mutes bars. Each feature is off until it is set.
namespace MetronomeTrainer {

enum class Mark { Normal, Accent, Silent };

constexpr int kMaxBeats = 16;
constexpr int kMinTempo = 2;
constexpr int kMaxTempo = 291;
constexpr int kStraightSwing = 50;  // percent of the beat before the off-beat eighth
constexpr int kMaxSwing = 75;

struct Bar {
    int beats = 4;  // 1..16; bars are counted in these also when accents are off
    bool accents = false;
    std::array<Mark, kMaxBeats> marks{};  // of beats 0..beats-1
    int subdivision = 1;                  // clicks per beat: 1, 2, 3 or 4
    int swing = kStraightSwing;           // for a subdivision of 2
};

// From one tempo towards another by a step every few bars (down when the target is below the
// start); at the target it holds, or the metronome stops after the bars at the target.
struct TempoTrainer {
    int from = 80;
    int step = 5;  // magnitude, 1..20 BPM
    int everyBars = 2;
    int to = 120;
    bool stopAtTarget = false;

    // The tempo in a bar counted from the trainer's start.
    int tempoInBar(long bar) const;
    // True for the bar after the last one at the target, when the trainer stops there.
    bool endsBefore(long bar) const;
};

// Play some bars, mute some, over and over.
struct GapTrainer {
    int playBars = 2;
    int muteBars = 2;
    bool muted(long bar) const;
};

struct Settings {
    Bar bar;
    std::optional<TempoTrainer> tempo;
    std::optional<GapTrainer> gap;
    bool visualBeat = false;
    // False when the metronome is the plain one, a click on every beat and nothing else.
    bool any() const;
};

enum class Kind { Accent, Beat, Subdivision };

struct Click {
    using TimePoint = std::chrono::steady_clock::time_point;
    TimePoint due;
    Kind kind = Kind::Beat;
    bool sounds = true;  // false for a silent beat or a muted bar: only seen, not heard
    long bar = 0;        // from 0 at the start
    int beat = 0;        // in the bar, from 0
    int subdivision = 0;
    std::optional<int> newTempo;  // on a bar's first click where the trainer changes the tempo
    bool end = false;             // the trainer has stopped: no click, the metronome stops
};

// Lays the clicks out on a grid that never drifts: every beat is the last beat plus the beat's
// interval, and the clicks within a beat are fractions of it. A change of the settings takes
// effect on the next bar line, a change of tempo on the next beat, so no click is doubled or lost.
class ClickPlanner {
public:
    using Clock = std::chrono::steady_clock;
    using Duration = std::chrono::nanoseconds;

    // The first beat one interval after now, as the plain metronome's; firstBeat instead places
    // it (the plain metronome's next beat when the trainer takes over while running).
    void start(Clock::time_point now, std::chrono::milliseconds interval, const Settings& settings,
               std::optional<Clock::time_point> firstBeat = std::nullopt);
    void setSettings(const Settings& settings);
    void setInterval(std::chrono::milliseconds interval);

    const Click& peek() const { return m_next; }
    Click take();
    // The beat after the one of the next click: where a plain metronome would go on.
    Clock::time_point nextBeatAfter() const;
    // The shortest time between two clicks of a beat.
    Duration spacing() const;

private:
    void applyBarLine();
    void advance();
    Click plan() const;
    Duration subdivisionOffset(int index) const;

    Settings m_settings, m_pending;
    Duration m_interval{};
    std::optional<Duration> m_pendingInterval;
    Clock::time_point m_beatTime{};  // of the beat the next click belongs to
    Clock::time_point m_lastBeat{};  // the beat before it, or the start
    Clock::time_point m_lastTaken{};
    long m_bar = 0, m_trainerStart = 0, m_gapStart = 0;
    int m_beat = 0, m_subdivision = 0;
    std::optional<int> m_tempoChange;
    Click m_next;
};

// Marks as kept in a settings file, one letter a beat: A accent, N normal, S silent. Letters
// missing or unknown are normal beats.
std::string marksText(const std::array<Mark, kMaxBeats>& marks);
std::array<Mark, kMaxBeats> marksFromText(const std::string& text);
// The next mark a click on a beat's dot gives it.
Mark nextMark(Mark mark);

// The time between beats the metronome runs at for a tempo, in whole milliseconds as a typed
// tempo gives it.
std::chrono::milliseconds intervalFor(int bpm);

}  // namespace MetronomeTrainer
