#pragma once

// Songs written as MIDI files and rendered with FluidSynth and lame, whose beats, bars, tempo,
// tuning and key are known exactly because we wrote them: drums, bass, chords and a melody over a
// tempo map, in any meter, with swing, a tempo ramp or change, a detuning and an intro without
// drums; or a rubato melody or silence, which have no beat.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

inline const char* const kSongFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";

struct SongRecipe {
    std::string name;
    double bpm = 120;
    double rampToBpm = 0;  // a steady change of tempo over the whole song
    double laterBpm = 0;   // a sudden change a third of the way through
    int beatsPerBar = 4;
    bool compound = false;   // 6/8: the beat is the eighth, two groups of three to the bar
    double swing = 0;        // how late the off-beat eighths come, in beats (1/6: a triplet feel)
    double detuneCents = 0;  // every instrument but the drums bent by this much
    int tonic = 0;           // 0 = C
    bool minor = false;
    int bars = 24;
    int barsWithoutDrums = 0;  // an intro of chords and bass only
    bool rubato = false;       // one guitar at free timing, no beat
    bool silent = false;
    unsigned seed = 1;
};

struct SongTruth {
    std::vector<double> beats;  // seconds
    std::vector<double> downbeats;
    double bpm = 0;  // from the median beat interval
};

namespace song_detail {

constexpr int kTicksPerBeat = 480;
constexpr int kDrums = 9;
constexpr int kBass = 1;
constexpr int kChords = 2;
constexpr int kMelody = 3;

struct Event {
    long tick;
    int order;  // note-offs before note-ons at the same tick
    std::vector<uint8_t> bytes;
};

struct Song {
    std::vector<std::pair<double, double>> tempi;  // (beat, bpm), rising beats
    std::vector<Event> events;

    void note(int channel, int key, double beat, double beats, int velocity) {
        const long on = std::lround(beat * kTicksPerBeat);
        const long off = std::max(on + 1, std::lround((beat + beats) * kTicksPerBeat));
        events.push_back({on, 1, {uint8_t(0x90 | channel), uint8_t(key), uint8_t(velocity)}});
        events.push_back({off, 0, {uint8_t(0x80 | channel), uint8_t(key), 0}});
    }
    double secondsAt(double beat) const {
        double seconds = 0;
        for (size_t i = 0; i < tempi.size(); ++i) {
            const double end = i + 1 < tempi.size() ? tempi[i + 1].first : INFINITY;
            const double from = tempi[i].first;
            if (beat <= from)
                break;
            seconds += (std::min(beat, end) - from) * 60 / tempi[i].second;
        }
        return seconds;
    }
};

inline void writeVariable(std::vector<uint8_t>& out, unsigned long value) {
    uint8_t bytes[5];
    int count = 0;
    do {
        bytes[count++] = value & 0x7F;
        value >>= 7;
    } while (value);
    while (count--) out.push_back(bytes[count] | (count ? 0x80 : 0));
}

inline std::vector<uint8_t> midiFile(Song song) {
    for (const auto& [beat, bpm] : song.tempi) {
        const auto micros = static_cast<uint32_t>(std::lround(60e6 / bpm));
        song.events.push_back(
            {std::lround(beat * kTicksPerBeat),
             -1,
             {0xFF, 0x51, 3, uint8_t(micros >> 16), uint8_t(micros >> 8), uint8_t(micros)}});
    }
    std::stable_sort(song.events.begin(), song.events.end(), [](const Event& a, const Event& b) {
        return std::tie(a.tick, a.order) < std::tie(b.tick, b.order);
    });
    std::vector<uint8_t> track;
    long last = 0;
    for (const Event& event : song.events) {
        writeVariable(track, static_cast<unsigned long>(event.tick - last));
        track.insert(track.end(), event.bytes.begin(), event.bytes.end());
        last = event.tick;
    }
    track.insert(track.end(), {0, 0xFF, 0x2F, 0});
    std::vector<uint8_t> file = {
        'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, kTicksPerBeat >> 8, kTicksPerBeat & 0xFF,
        'M', 'T', 'r', 'k'};
    for (int shift = 24; shift >= 0; shift -= 8) file.push_back(uint8_t(track.size() >> shift));
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

inline void setUp(Song& song, const SongRecipe& recipe) {
    const std::pair<int, int> programs[] = {{kBass, 33}, {kChords, 25}, {kMelody, 65}};
    const int bend = std::clamp(8192 + int(std::lround(recipe.detuneCents / 200 * 8192)), 0, 16383);
    for (const auto& [channel, program] : programs) {
        song.events.push_back({0, -1, {uint8_t(0xC0 | channel), uint8_t(program)}});
        song.events.push_back(
            {0, -1, {uint8_t(0xE0 | channel), uint8_t(bend & 0x7F), uint8_t(bend >> 7)}});
    }
}

inline void setTempi(Song& song, const SongRecipe& recipe, double beats) {
    if (recipe.rampToBpm > 0) {
        for (int beat = 0; beat < beats; ++beat)
            song.tempi.push_back(
                {beat, recipe.bpm + (recipe.rampToBpm - recipe.bpm) * beat / beats});
    } else {
        song.tempi.push_back({0, recipe.bpm});
        if (recipe.laterBpm > 0)
            song.tempi.push_back(
                {std::floor(recipe.bars / 3.0) * recipe.beatsPerBar, recipe.laterBpm});
    }
}

// The chord of each bar, as semitones above the tonic of the root and whether it is minor.
inline std::pair<int, bool> chordOfBar(const SongRecipe& recipe, int bar) {
    static const std::pair<int, bool> kMajor[] = {{0, false}, {7, false}, {9, true}, {5, false}};
    static const std::pair<int, bool> kMinor[] = {{0, true}, {8, false}, {3, false}, {10, false},
                                                  {0, true}, {5, true},  {7, false}, {7, false}};
    return recipe.minor ? kMinor[bar % 8] : kMajor[bar % 4];
}

inline void addDrums(Song& song, const SongRecipe& recipe, int bar, double start) {
    const int n = recipe.beatsPerBar;
    for (int beat = 0; beat < n; ++beat) {
        const double at = start + beat;
        const bool kick = n == 3 ? beat == 0 : beat % 2 == 0;
        const bool snare = n == 3 ? beat > 0 : beat % 2 == 1;
        if (kick)
            song.note(kDrums, 36, at, 0.25, 110);
        if (snare)
            song.note(kDrums, n == 3 ? 42 : 38, at, 0.25, n == 3 ? 80 : 100);
        song.note(kDrums, 42, at, 0.2, 70);
        if (recipe.compound) {
            song.note(kDrums, 42, at + 1.0 / 3, 0.2, 50);
            song.note(kDrums, 42, at + 2.0 / 3, 0.2, 55);
        } else if (n != 3) {
            song.note(kDrums, 42, at + 0.5 + recipe.swing, 0.2, 50);
        }
    }
    if (bar % 4 == 0)
        song.note(kDrums, 49, start, 1, 90);
}

inline void addBassAndChords(Song& song, const SongRecipe& recipe, int bar, double start) {
    const auto [root, minorChord] = chordOfBar(recipe, bar);
    const int bassKey = 36 + (recipe.tonic + root) % 12;
    const int third = minorChord ? 3 : 4;
    const int n = recipe.beatsPerBar;
    const int fifthAt = n == 3 ? n : n / 2;
    song.note(kBass, bassKey, start, fifthAt, 100);
    if (fifthAt < n)
        song.note(kBass, bassKey + 7, start + fifthAt, n - fifthAt, 90);
    const int chordRoot = 52 + (recipe.tonic + root) % 12;
    for (int beat = 0; beat < n; ++beat) {
        for (const int step : {0, third, 7, 12})
            song.note(kChords, chordRoot + step, start + beat + step * 0.004, 0.9,
                      beat == 0 ? 90 : 65);
    }
}

inline void addMelody(Song& song, const SongRecipe& recipe, std::mt19937& random, double start,
                      int& degree) {
    static const int kMajorScale[] = {0, 2, 4, 5, 7, 9, 11};
    static const int kMinorScale[] = {0, 2, 3, 5, 7, 8, 10};
    const int* scale = recipe.minor ? kMinorScale : kMajorScale;
    const double division = recipe.compound ? 1.0 / 3 : 0.5;
    for (double at = 0; at < recipe.beatsPerBar - 1e-6;) {
        const double length = random() % 3 == 0 ? division : 2 * division;
        degree = std::clamp(degree + int(random() % 5) - 2, -3, 9);
        const int octave = degree < 0 ? -1 : degree / 7;
        const int key = 72 + recipe.tonic + 12 * octave + scale[((degree % 7) + 7) % 7];
        const double swung = std::fmod(at, 1.0) > 1e-6 ? recipe.swing : 0;
        if (random() % 6 != 0)
            song.note(kMelody, key, start + at + swung, length * 0.9, 70 + random() % 30);
        at += length;
    }
}

inline void addRubato(Song& song, const SongRecipe& recipe, std::mt19937& random) {
    // Beats of a fixed 60 per minute stand for seconds; the gaps between notes wander freely.
    double at = 0.5;
    while (at < recipe.bars * recipe.beatsPerBar * 60 / recipe.bpm) {
        const int key = 52 + recipe.tonic + int(random() % 17);
        song.note(kChords, key, at, 0.6 + (random() % 100) / 100.0, 60 + random() % 40);
        at += 0.23 + (random() % 1000) / 1000.0 * 1.3;
    }
}

inline Song compose(const SongRecipe& recipe) {
    Song song;
    setUp(song, recipe);
    const double beats = double(recipe.bars) * recipe.beatsPerBar;
    if (recipe.rubato) {
        song.tempi.push_back({0, 60});
    } else {
        setTempi(song, recipe, beats);
    }
    std::mt19937 random(recipe.seed);
    int degree = 0;
    if (recipe.rubato) {
        addRubato(song, recipe, random);
    } else if (!recipe.silent) {
        for (int bar = 0; bar < recipe.bars; ++bar) {
            const double start = double(bar) * recipe.beatsPerBar;
            if (bar >= recipe.barsWithoutDrums)
                addDrums(song, recipe, bar, start);
            addBassAndChords(song, recipe, bar, start);
            if (bar >= recipe.barsWithoutDrums / 2)
                addMelody(song, recipe, random, start, degree);
        }
    }
    // A bar's rest at the end, so the last notes ring out.
    song.events.push_back(
        {std::lround((beats + recipe.beatsPerBar) * kTicksPerBeat), 0, {0xB0, 123, 0}});
    return song;
}

}  // namespace song_detail

inline SongTruth songTruth(const SongRecipe& recipe) {
    SongTruth truth;
    if (recipe.rubato || recipe.silent)
        return truth;
    const song_detail::Song song = song_detail::compose(recipe);
    // The last chord rings through a bar's rest, which a listener counts too.
    for (int beat = 0; beat < (recipe.bars + 1) * recipe.beatsPerBar; ++beat) {
        truth.beats.push_back(song.secondsAt(beat));
        if (beat % recipe.beatsPerBar == 0)
            truth.downbeats.push_back(truth.beats.back());
    }
    std::vector<double> intervals;
    for (size_t i = 1; i < truth.beats.size(); ++i)
        intervals.push_back(truth.beats[i] - truth.beats[i - 1]);
    std::nth_element(intervals.begin(), intervals.begin() + long(intervals.size() / 2),
                     intervals.end());
    truth.bpm = 60 / intervals[intervals.size() / 2];
    return truth;
}

// The song as an MP3 at path (44.1 kHz stereo); false when FluidSynth or lame fail.
inline bool renderSong(const SongRecipe& recipe, const std::string& path) {
    const std::string midi = path + ".mid";
    const std::string wav = path + ".wav";
    const std::vector<uint8_t> bytes = song_detail::midiFile(song_detail::compose(recipe));
    std::ofstream(midi, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const std::string render = "fluidsynth -ni -q -g 0.6 -r 44100 -F '" + wav + "' " + kSongFont +
                               " '" + midi + "' >/dev/null 2>&1";
    const std::string encode = "lame --quiet --noreplaygain -b 192 '" + wav + "' '" + path + "'";
    const bool made = std::system(render.c_str()) == 0 && std::system(encode.c_str()) == 0;
    std::filesystem::remove(midi);
    std::filesystem::remove(wav);
    return made;
}

// The F-measure of beats found against the true ones, each true beat matched to at most one found
// within the tolerance (seconds); both lists rising.
inline double beatFMeasure(const std::vector<double>& found, const std::vector<double>& truth,
                           double tolerance) {
    if (found.empty() || truth.empty())
        return found.empty() && truth.empty() ? 1 : 0;
    size_t matched = 0;
    size_t f = 0;
    for (const double t : truth) {
        while (f < found.size() && found[f] < t - tolerance) ++f;
        if (f < found.size() && std::fabs(found[f] - t) <= tolerance) {
            ++matched;
            ++f;
        }
    }
    const double precision = double(matched) / double(found.size());
    const double recall = double(matched) / double(truth.size());
    return matched ? 2 * precision * recall / (precision + recall) : 0;
}

inline bool songFontPresent() {
    return std::filesystem::exists(kSongFont);
}
